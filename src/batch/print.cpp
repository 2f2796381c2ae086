#include "print.h"

#include "messages.h"

#include "printqueue.h"

#include <QDir>
#include <QFontMetricsF>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStorageInfo>
#include <QTextDocument>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>

namespace kanaroll {

IchiranPrintItems IchiranPrintLine(const IchiranRow &row)
{
    return {row.name1 + u'-' + row.name2, row.percent + u'%'};
}

namespace {

// Tab stops every 14 half-width characters, like the columns of a line printer.
constexpr int kTabColumns = 14;

} // namespace

qint64 ichiranLinesPerPage(qreal pageHeight, qreal lineHeight)
{
    if (!(lineHeight > 0) || !(pageHeight >= lineHeight))
        return 1;
    return std::max<qint64>(1, qint64(std::floor(pageHeight / lineHeight)));
}

IchiranPrintLimits &ichiranPrintLimits()
{
    static IchiranPrintLimits limits;
    return limits;
}

namespace {

// deviceOk tells whether the device still takes what is drawn; a device
// that fails ends the job as Failed. drop, if given, is called before the
// painter ends a job that is not to come out.
IchiranPrintStatus printRows(int count, const std::function<IchiranRow(int)> &rowAt, QPagedPaintDevice &device,
                             const IchiranPrintProgress &progress, const std::function<bool()> &deviceOk,
                             const std::function<void()> &drop = {})
{
    if (count <= 0)
        return IchiranPrintStatus::Empty;
    QPainter painter;
    const auto abandon = [&](IchiranPrintStatus status) {
        if (drop)
            drop();
        if (painter.isActive())
            painter.end();
        return status;
    };
    if (!painter.begin(&device))
        return abandon(IchiranPrintStatus::Failed);
    // The printer's own default font: the program sets none.
    const QFont font = painter.font();
    const QFontMetricsF fm(font, &device);
    const qreal lineHeight = fm.lineSpacing();
    const qreal tab = fm.horizontalAdvance(u'0') * kTabColumns;
    const qint64 perPage = ichiranLinesPerPage(device.height(), lineHeight);

    for (int r = 0; r < count; ++r) {
        const qint64 onPage = r % perPage;
        if (r > 0 && onPage == 0 && (!device.newPage() || !deviceOk()))
            return abandon(IchiranPrintStatus::Failed);
        const qreal y = qreal(onPage) * lineHeight;
        const IchiranPrintItems items = IchiranPrintLine(rowAt(r));
        const qreal firstWidth = fm.horizontalAdvance(items.first);
        const qreal secondX = (std::floor(firstWidth / tab) + 1) * tab;
        painter.drawText(QPointF(0, y + fm.ascent()), items.first);
        painter.drawText(QPointF(secondX, y + fm.ascent()), items.second);
        if (progress && !progress(double(r + 1) / count))
            return abandon(IchiranPrintStatus::Cancelled);
    }
    if (!deviceOk())
        return abandon(IchiranPrintStatus::Failed);
    if (!painter.end() || !deviceOk())
        return IchiranPrintStatus::Failed;
    return IchiranPrintStatus::Printed;
}

std::optional<PrinterPage> defaultPrinterPage()
{
    const QPrinterInfo info = QPrinterInfo::defaultPrinter();
    if (info.isNull())
        return std::nullopt;
    QPrinter printer(info, QPrinter::HighResolution);
    if (!printer.isValid())
        return std::nullopt;
    return PrinterPage{info.printerName(), printer.pageLayout(), printer.resolution()};
}

// Bytes of spool a page of n lines takes at most, as a compressed PDF of
// short lines measures, with room to spare; the fonts come once on top.
constexpr qint64 kSpoolBytesPerLine = 48;
constexpr qint64 kSpoolBytesPerPage = 1024;
constexpr qint64 kSpoolBytesFonts = qint64(4) << 20;

// Draws a job for the printer's queue and hands it over whole; a job
// that is stopped or fails on the way is dropped.
IchiranPrintStatus spoolAndSend(const PrinterPage &page, const QString &docName, qint64 reserve,
                                const std::function<IchiranPrintStatus(PrintQueueJob &)> &draw,
                                const IchiranPrintProgress &progress)
{
    const std::unique_ptr<PrintQueueJob> job = printQueueOpen(page, docName, reserve);
    if (!job)
        return IchiranPrintStatus::Failed;
    const IchiranPrintStatus status = draw(*job);
    // A spool that failed stops the drawing too: that is a failure, not a stop.
    const bool broke = !job->healthy();
    if (status == IchiranPrintStatus::Cancelled && !broke)
        return status;
    if (broke || status != IchiranPrintStatus::Printed)
        return job->outOfRoom() ? IchiranPrintStatus::NoSpace : IchiranPrintStatus::Failed;
    switch (job->send([&](double sent) { return !progress || progress(0.9 + 0.1 * sent); })) {
    case PrintQueueResult::Sent: return IchiranPrintStatus::Printed;
    case PrintQueueResult::Cancelled: return IchiranPrintStatus::Cancelled;
    case PrintQueueResult::Failed: break;
    }
    return job->outOfRoom() ? IchiranPrintStatus::NoSpace : IchiranPrintStatus::Failed;
}

} // namespace

IchiranPrintJob::IchiranPrintJob(const IchiranModel &grid, const QString &docName) : m_grid(grid), m_docName(docName)
{
    if (grid.isEmpty())
        return;
    const std::optional<PrinterPage> page = defaultPrinterPage();
    if (!page) {
        m_ready = IchiranPrintStatus::NoPrinter;
        return;
    }
    // Measured as the drawing will measure: the device's own default font.
    const std::unique_ptr<QPagedPaintDevice> device = printQueueMeasure(*page);
    const QFontMetricsF fm(QFont(), device.get());
    m_linesPerPage = ichiranLinesPerPage(device->height(), fm.lineSpacing());
    m_pages = (qint64(grid.size()) + m_linesPerPage - 1) / m_linesPerPage;
    m_queue = page->queue;
    m_ready = IchiranPrintStatus::Printed;
}

qint64 IchiranPrintJob::spoolEstimate() const
{
    return m_pages * (m_linesPerPage * kSpoolBytesPerLine + kSpoolBytesPerPage) + kSpoolBytesFonts;
}

QString IchiranPrintJob::spoolFolder() const
{
    return printQueueSpoolFolder();
}

bool IchiranPrintJob::hasRoom() const
{
    const QStorageInfo disk(QDir::fromNativeSeparators(printQueueSpoolFolder()));
    if (!disk.isValid() || disk.bytesAvailable() < 0)
        return true; // the spool itself still watches every piece
    return spoolEstimate() <= disk.bytesAvailable() - ichiranPrintLimits().spoolReserve;
}

IchiranPrintStatus IchiranPrintJob::print(const IchiranPrintProgress &progress)
{
    if (m_ready != IchiranPrintStatus::Printed)
        return m_ready;
    if (!hasRoom())
        return IchiranPrintStatus::NoSpace;
    const std::optional<PrinterPage> page = defaultPrinterPage();
    if (!page)
        return IchiranPrintStatus::NoPrinter;
    return spoolAndSend(
        *page, m_docName, ichiranPrintLimits().spoolReserve,
        [&](PrintQueueJob &spool) {
            IchiranModel::Cursor cursor(m_grid);
            const int count = m_grid.size();
            return printRows(
                count,
                [&](int) {
                    const QString *a = nullptr;
                    const QString *b = nullptr;
                    int p = 0;
                    cursor.next(a, b, p);
                    return IchiranRow{*a, *b, QString::number(p)};
                },
                spool.device(),
                [&](double share) {
                    // After each page the spool's pace so far says what the
                    // whole will take; a job that will not fit stops now.
                    const qint64 done = qint64(std::llround(share * count));
                    if (done % m_linesPerPage == 0 && done > 0)
                        spool.expect(qint64(double(spool.spooled()) * double(count) / double(done)));
                    return spool.healthy() && (!progress || progress(0.9 * share));
                },
                [&] { return spool.healthy(); }, [&] { spool.drop(); });
        },
        progress);
}

IchiranPrintStatus IchiranPrint(const IchiranModel &grid, QPrinter &printer, const IchiranPrintProgress &progress)
{
    // Rows are asked for in order, so a cursor reads each in constant time.
    IchiranModel::Cursor cursor(grid);
    return printRows(
        grid.size(),
        [&](int) {
            const QString *a = nullptr;
            const QString *b = nullptr;
            int p = 0;
            cursor.next(a, b, p);
            return IchiranRow{*a, *b, QString::number(p)};
        },
        printer, progress, [&] { return printer.printerState() != QPrinter::Error; });
}

IchiranPrintStatus IchiranPrint(const std::vector<IchiranRow> &rows, QPrinter &printer)
{
    return printRows(int(rows.size()), [&](int r) { return rows[std::size_t(r)]; }, printer, {},
                     [&] { return printer.printerState() != QPrinter::Error; });
}

bool ichiranHasDefaultPrinter()
{
    return !QPrinterInfo::defaultPrinter().isNull();
}

IchiranPrintStatus IchiranPrintDefault(const IchiranModel &grid, const IchiranPrintProgress &progress)
{
    IchiranPrintJob job(grid);
    return job.print(progress);
}

IchiranPrintStatus printDocumentDefault(const QTextDocument &document, const QString &docName)
{
    if (document.isEmpty())
        return IchiranPrintStatus::Empty;
    const std::optional<PrinterPage> page = defaultPrinterPage();
    if (!page)
        return IchiranPrintStatus::NoPrinter;
    return spoolAndSend(
        *page, docName, ichiranPrintLimits().spoolReserve,
        [&](PrintQueueJob &spool) {
            document.print(&spool.device());
            return spool.healthy() ? IchiranPrintStatus::Printed : IchiranPrintStatus::Failed;
        },
        {});
}

QString ichiranPrintMessage(IchiranPrintStatus status, const QString &spoolFolder, qint64 spoolBytes)
{
    switch (status) {
    case IchiranPrintStatus::NoSpace:
        return batchmsg::kPrintNoSpaceBody.arg(std::max<qint64>(1, (spoolBytes + (1 << 20) - 1) >> 20)).arg(spoolFolder);
    case IchiranPrintStatus::NoPrinter: return batchmsg::kNoPrinterBody;
    case IchiranPrintStatus::Failed: return batchmsg::kPrintFailedBody;
    case IchiranPrintStatus::Printed:
    case IchiranPrintStatus::Cancelled:
    case IchiranPrintStatus::Empty: break;
    }
    return {};
}

} // namespace kanaroll
