#include "mainwindow.h"

namespace kanaroll {

MainWindow::MainWindow(QWidget *parent) : QWidget(parent)
{
    setWindowTitle(QStringLiteral("Kanaroll"));
}

} // namespace kanaroll
