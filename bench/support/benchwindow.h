#pragma once

#include "ui/fonts.h"

#include <QApplication>
#include <QByteArray>
#include <QDir>
#include <QTemporaryDir>

// The program's set-up for a benchmark that drives the real window
// offscreen, in a fresh working directory.
struct BenchWindowApp {
    static int &prepare(int &argc)
    {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        qputenv("QT_NO_GLIB", "1"); // as the program runs
        return argc;
    }

    BenchWindowApp(int &argc, char **argv) : app(prepare(argc), argv)
    {
        kanaroll::installFontSubstitutions();
        QDir::setCurrent(dir.path());
    }

    QApplication app;
    QTemporaryDir dir;
};
