#pragma once

#include "ichiran.h"

#include <QFont>
#include <QString>

#include <functional>
#include <vector>

class QPrinter;
class QTextDocument;

namespace kanaroll {

// The two items of a printed line: "c0-c1" and "c2%".
struct IchiranPrintItems {
    QString first;
    QString second;

    friend bool operator==(const IchiranPrintItems &, const IchiranPrintItems &) = default;
};
IchiranPrintItems IchiranPrintLine(const IchiranRow &row);

enum class IchiranPrintStatus {
    Printed,
    Empty,     // no rows: no job was started, so no page comes out
    NoPrinter, // no default printer
    Failed,    // the printer refused the job
    Cancelled, // stopped on the way; the job was aborted
};

// Told the share of lines printed after each line; false stops the job.
using IchiranPrintProgress = std::function<bool(double done)>;


// One line per row from the top of the page, a new page when one is full;
// the second item at the next tab stop after the first. No heading.
// Lines are made as they are printed, so no more than a page is held.
IchiranPrintStatus IchiranPrint(const IchiranModel &grid, QPrinter &printer, const IchiranPrintProgress &progress = {});
IchiranPrintStatus IchiranPrint(const std::vector<IchiranRow> &rows, QPrinter &printer);

// Whether the system has a default printer.
bool ichiranHasDefaultPrinter();
// Prints on the system's default printer, without a dialog.
IchiranPrintStatus IchiranPrintDefault(const IchiranModel &grid, const IchiranPrintProgress &progress = {});

// Prints a document (a help page) the same way: the default printer, no dialog.
IchiranPrintStatus printDocumentDefault(const QTextDocument &document, const QString &docName);

// Body of the warning box for NoPrinter or Failed (title batchmsg::kPrinterTitle);
// empty for the others, which show nothing.
QString ichiranPrintMessage(IchiranPrintStatus status);

} // namespace kanaroll
