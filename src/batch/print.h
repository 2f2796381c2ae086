#pragma once

#include "ichiran.h"

#include <QFont>
#include <QString>

#include <functional>
#include <vector>

class QPagedPaintDevice;
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
    Cancelled, // stopped on the way; nothing reached the printer
    NoSpace,   // the spool folder has not room for the job; nothing reached the printer
};

// Told the share of lines printed after each line; false stops the job.
using IchiranPrintProgress = std::function<bool(double done)>;


// One line per row from the top of the page, a new page when one is full;
// the second item at the next tab stop after the first. No heading.
// Lines are made as they are printed, so no more than a page is held.
IchiranPrintStatus IchiranPrint(const IchiranModel &grid, QPrinter &printer, const IchiranPrintProgress &progress = {});
IchiranPrintStatus IchiranPrint(const std::vector<IchiranRow> &rows, QPrinter &printer);

// How big a job may grow before the user is asked, and what the spool
// folder keeps free. Tests scale them down.
struct IchiranPrintLimits {
    qint64 askPages = 1000;
    qint64 spoolReserve = qint64(64) << 20;
};
IchiranPrintLimits &ichiranPrintLimits();

// Lines that fit on a page of the given height; at least one.
qint64 ichiranLinesPerPage(qreal pageHeight, qreal lineHeight);

// A print of the grid on the default printer. The pages are counted before
// anything is drawn; the job is spooled whole to a private file in the
// temporary folder and only then sent to the queue, so a stop, a signal or
// a failure on the way leaves nothing for the printer.
class IchiranPrintJob
{
public:
    explicit IchiranPrintJob(const IchiranModel &grid, const QString &docName = QStringLiteral("一括判断"));

    // Empty, NoPrinter, or Printed for a job that can start.
    IchiranPrintStatus ready() const { return m_ready; }
    qint64 pages() const { return m_pages; }
    // More pages than the limit: the user is told how many first.
    bool isGiant() const { return m_pages > ichiranPrintLimits().askPages; }
    // A generous guess at the spool file's size, and the folder it goes to.
    qint64 spoolEstimate() const;
    QString spoolFolder() const;
    // Whether the spool folder has room for the guess and the reserve.
    bool hasRoom() const;

    // Spools (nine tenths of the share told) and sends; progress false stops.
    IchiranPrintStatus print(const IchiranPrintProgress &progress = {});

private:
    const IchiranModel &m_grid;
    QString m_docName;
    QString m_queue;
    IchiranPrintStatus m_ready = IchiranPrintStatus::Empty;
    qint64 m_pages = 0;
    qint64 m_linesPerPage = 1;
};

// Whether the system has a default printer.
bool ichiranHasDefaultPrinter();
// Prints on the system's default printer, without a dialog (a job as above).
IchiranPrintStatus IchiranPrintDefault(const IchiranModel &grid, const IchiranPrintProgress &progress = {});

// Prints a document (a help page) the same way: the default printer, no dialog.
IchiranPrintStatus printDocumentDefault(const QTextDocument &document, const QString &docName);

// Body of the warning box for NoPrinter, Failed or NoSpace (title batchmsg::kPrinterTitle);
// empty for the others, which show nothing.
// NoSpace names the spool folder and the size of the job.
QString ichiranPrintMessage(IchiranPrintStatus status, const QString &spoolFolder = {}, qint64 spoolBytes = 0);

} // namespace kanaroll
