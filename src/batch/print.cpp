#include "print.h"

#include "messages.h"

#include "printqueue.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStorageInfo>
#include <QTemporaryDir>
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
// that fails ends the job as Failed.
IchiranPrintStatus printRows(int count, const std::function<IchiranRow(int)> &rowAt, QPagedPaintDevice &device,
                             const IchiranPrintProgress &progress, const std::function<bool()> &deviceOk)
{
    if (count <= 0)
        return IchiranPrintStatus::Empty;
    QPainter painter;
    if (!painter.begin(&device))
        return IchiranPrintStatus::Failed;
    // The printer's own default font: the program sets none.
    const QFont font = painter.font();
    const QFontMetricsF fm(font, &device);
    const qreal lineHeight = fm.lineSpacing();
    const qreal tab = fm.horizontalAdvance(u'0') * kTabColumns;
    const qint64 perPage = ichiranLinesPerPage(device.height(), lineHeight);

    for (int r = 0; r < count; ++r) {
        const qint64 onPage = r % perPage;
        if (r > 0 && onPage == 0 && (!device.newPage() || !deviceOk())) {
            painter.end();
            return IchiranPrintStatus::Failed;
        }
        const qreal y = qreal(onPage) * lineHeight;
        const IchiranPrintItems items = IchiranPrintLine(rowAt(r));
        const qreal firstWidth = fm.horizontalAdvance(items.first);
        const qreal secondX = (std::floor(firstWidth / tab) + 1) * tab;
        painter.drawText(QPointF(0, y + fm.ascent()), items.first);
        painter.drawText(QPointF(secondX, y + fm.ascent()), items.second);
        if (progress && !progress(double(r + 1) / count)) {
            painter.end();
            return IchiranPrintStatus::Cancelled;
        }
    }
    if (!painter.end() || !deviceOk())
        return IchiranPrintStatus::Failed;
    return IchiranPrintStatus::Printed;
}

// The private spool file. Writes are gathered and put to the disk in large
// pieces; a short write, or a piece that would eat into the reserve, fails
// the file for good, so that a full disk ends the job and never a cut one
// goes on.
class SpoolFile : public QIODevice
{
public:
    SpoolFile(const QString &path, qint64 reserve) : m_file(path), m_reserve(reserve), m_folder(QFileInfo(path).absolutePath()) {}
    ~SpoolFile() override { m_file.remove(); }

    bool start()
    {
        return m_file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered)
               && open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    }
    // Puts what is gathered on the disk; false once anything failed.
    bool finish()
    {
        put();
        if (!m_failed && !m_file.flush())
            m_failed = true;
        m_file.close();
        return !m_failed;
    }
    bool failed() const { return m_failed; }
    bool outOfRoom() const { return m_noRoom; }
    qint64 written() const { return m_written + m_gathered.size(); }
    QString path() const { return m_file.fileName(); }
    // A guess at the whole file; once more than the folder can take with its
    // reserve, the file fails before the disk fills.
    void expect(qint64 bytes)
    {
        if (!m_failed && bytes > m_written && bytes - m_written > available()) {
            m_noRoom = m_failed = true;
        }
    }

protected:
    qint64 readData(char *, qint64) override { return -1; }
    qint64 writeData(const char *data, qint64 size) override
    {
        if (m_failed)
            return -1;
        m_gathered.append(data, size);
        if (m_gathered.size() >= kPiece)
            put();
        return m_failed ? -1 : size;
    }

private:
    static constexpr qsizetype kPiece = qsizetype(1) << 20;

    qint64 available() const
    {
        const QStorageInfo disk(m_folder);
        if (!disk.isValid() || disk.bytesAvailable() < 0)
            return std::numeric_limits<qint64>::max();
        return disk.bytesAvailable() - m_reserve;
    }
    void put()
    {
        if (m_failed || m_gathered.isEmpty())
            return;
        if (m_gathered.size() > available()) {
            m_noRoom = m_failed = true;
            return;
        }
        if (m_file.write(m_gathered) != m_gathered.size()) {
            m_failed = true;
            return;
        }
        m_written += m_gathered.size();
        m_gathered.clear();
    }

    QFile m_file;
    qint64 m_reserve;
    QString m_folder;
    QByteArray m_gathered;
    qint64 m_written = 0;
    bool m_failed = false;
    bool m_noRoom = false;
};

// The default printer's page, at the printer's resolution.
struct PrinterPage {
    QString queue;
    QPageLayout layout;
    int resolution = 0;
};

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

void setUp(QPdfWriter &writer, const PrinterPage &page, const QString &docName)
{
    writer.setResolution(page.resolution);
    writer.setPageLayout(page.layout);
    writer.setTitle(docName);
    writer.setCreator(QStringLiteral("kanaroll"));
}

// Bytes of spool a page of n lines takes at most, as a compressed PDF of
// short lines measures, with room to spare; the fonts come once on top.
constexpr qint64 kSpoolBytesPerLine = 48;
constexpr qint64 kSpoolBytesPerPage = 1024;
constexpr qint64 kSpoolBytesFonts = qint64(4) << 20;

// Spools what draw draws to a private file and hands it whole to the queue;
// the spool goes in every case.
IchiranPrintStatus spoolAndSend(const PrinterPage &page, const QString &docName, qint64 reserve,
                                const std::function<IchiranPrintStatus(QPdfWriter &, SpoolFile &)> &draw,
                                const IchiranPrintProgress &progress)
{
    QTemporaryDir folder(QDir::tempPath() + QStringLiteral("/kanaroll-print-XXXXXX"));
    if (!folder.isValid())
        return IchiranPrintStatus::Failed;
    SpoolFile spool(folder.filePath(QStringLiteral("job.pdf")), reserve);
    if (!spool.start())
        return IchiranPrintStatus::Failed;
    IchiranPrintStatus status = IchiranPrintStatus::Failed;
    {
        QPdfWriter writer(&spool);
        setUp(writer, page, docName);
        status = draw(writer, spool);
    }
    // A spool that failed stops the drawing too: that is a failure, not a stop.
    const bool broke = spool.failed();
    if (status == IchiranPrintStatus::Cancelled && !broke)
        return status;
    if (broke || status != IchiranPrintStatus::Printed || !spool.finish())
        return spool.outOfRoom() ? IchiranPrintStatus::NoSpace : IchiranPrintStatus::Failed;
    switch (printQueueSend(page.queue, spool.path(), docName, [&](double sent) {
        return !progress || progress(0.9 + 0.1 * sent);
    })) {
    case PrintQueueResult::Sent: return IchiranPrintStatus::Printed;
    case PrintQueueResult::Cancelled: return IchiranPrintStatus::Cancelled;
    case PrintQueueResult::Failed: break;
    }
    return IchiranPrintStatus::Failed;
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
    QBuffer none;
    QPdfWriter writer(&none);
    setUp(writer, *page, docName);
    const QFontMetricsF fm(QFont(), &writer);
    m_linesPerPage = ichiranLinesPerPage(writer.height(), fm.lineSpacing());
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
    return QDir::toNativeSeparators(QDir::tempPath());
}

bool IchiranPrintJob::hasRoom() const
{
    const QStorageInfo disk(QDir::tempPath());
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
        [&](QPdfWriter &writer, SpoolFile &spool) {
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
                writer,
                [&](double share) {
                    // After each page the spool's pace so far says what the
                    // whole will take; a job that will not fit stops now.
                    const qint64 done = qint64(std::llround(share * count));
                    if (done % m_linesPerPage == 0 && done > 0)
                        spool.expect(qint64(double(spool.written()) * double(count) / double(done)));
                    return !spool.failed() && (!progress || progress(0.9 * share));
                },
                [&] { return !spool.failed(); });
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
        [&](QPdfWriter &writer, SpoolFile &spool) {
            document.print(&writer);
            return spool.failed() ? IchiranPrintStatus::Failed : IchiranPrintStatus::Printed;
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
