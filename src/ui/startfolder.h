#pragma once

#include <QString>
#include <QStringList>

namespace kanaroll {

// The folder the program works in: its list, result and help files are bare
// names. Without a flag it is the current directory; `--dir DIR` names one,
// `--documents` (passed by the menu entry) picks Kanaroll in the user's
// documents folder. A missing folder is created.
struct StartFolder {
    enum Outcome { Run, Exit };
    Outcome outcome = Run;
    int exitCode = 0;
    QString message; // for standard error (or output, with --help)
};

// Reads the options in args (args[0] is the program) and, unless it says to
// exit, makes the chosen folder the current directory.
StartFolder enterStartFolder(const QStringList &args);

// Kanaroll in the user's documents folder (on Windows the known folder
// Documents); empty when the user has no home
// folder (HOME unset or empty, and none in the password database). An unset
// HOME is set to the one found there.
QString documentsFolder();

} // namespace kanaroll
