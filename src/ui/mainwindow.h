#pragma once

#include <QWidget>

namespace kanaroll {

class MainWindow : public QWidget
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget *parent = nullptr);
};

} // namespace kanaroll
