#include "batch/printqueue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStorageInfo>
#include <QTemporaryDir>

// The toolkit's print engine keeps the printer's device context to itself;
// a dropped document is closed through it.
#include <QtPrintSupport/private/qprintengine_win_p.h>

#include <windows.h>
#include <winspool.h>

#include <limits>
#include <string>
#include <vector>

namespace kanaroll {

namespace {

qint64 freeBytes(const QString &folder)
{
    QStorageInfo disk(folder);
    disk.refresh();
    if (!disk.isValid() || disk.bytesAvailable() < 0)
        return std::numeric_limits<qint64>::max();
    return disk.bytesAvailable();
}

struct PrinterHandle {
    HANDLE handle = nullptr;
    ~PrinterHandle()
    {
        if (handle)
            ClosePrinter(handle);
    }
};

// Whether the job is still in the queue and held.
bool stillHeld(HANDLE printer, DWORD job)
{
    DWORD needed = 0;
    GetJobW(printer, job, 1, nullptr, 0, &needed);
    if (needed == 0)
        return false;
    std::vector<BYTE> buffer(needed);
    if (!GetJobW(printer, job, 1, buffer.data(), needed, &needed))
        return false;
    return (reinterpret_cast<const JOB_INFO_1W *>(buffer.data())->Status & JOB_STATUS_PAUSED) != 0;
}

// Sends the printer's own data in file to the queue as one job. The job is
// held while it is sent, so that no page starts before the last byte is
// there; a stop or a failure deletes it.
PrintQueueResult sendRaw(const QString &queue, QFile &file, const QString &docName,
                         const std::function<bool(double)> &going)
{
    std::wstring name = queue.toStdWString();
    std::wstring doc = docName.toStdWString();
    wchar_t raw[] = L"RAW";
    PrinterHandle printer;
    PRINTER_DEFAULTSW access{nullptr, nullptr, PRINTER_ACCESS_USE};
    if (!OpenPrinterW(name.data(), &printer.handle, &access) || !printer.handle)
        return PrintQueueResult::Failed;
    DOC_INFO_1W info{doc.data(), nullptr, raw};
    const DWORD job = StartDocPrinterW(printer.handle, 1, reinterpret_cast<BYTE *>(&info));
    if (job == 0)
        return PrintQueueResult::Failed;
    const bool held = SetJobW(printer.handle, job, 0, nullptr, JOB_CONTROL_PAUSE);
    const auto withdraw = [&](PrintQueueResult result) {
        SetJobW(printer.handle, job, 0, nullptr, JOB_CONTROL_DELETE);
        AbortPrinter(printer.handle);
        return result;
    };
    const double size = double(std::max<qint64>(file.size(), 1));
    std::vector<char> buffer(std::size_t(256) << 10);
    qint64 sent = 0;
    for (;;) {
        const qint64 n = file.read(buffer.data(), qint64(buffer.size()));
        if (n < 0)
            return withdraw(PrintQueueResult::Failed);
        if (n == 0)
            break;
        DWORD written = 0;
        if (!WritePrinter(printer.handle, buffer.data(), DWORD(n), &written) || qint64(written) != n)
            return withdraw(PrintQueueResult::Failed);
        sent += n;
        if (going && !going(double(sent) / size))
            return withdraw(PrintQueueResult::Cancelled);
    }
    if (!EndDocPrinter(printer.handle))
        return withdraw(PrintQueueResult::Failed);
    // A job left held would never come out: it goes, and the print failed.
    if (held && !SetJobW(printer.handle, job, 0, nullptr, JOB_CONTROL_RESUME) && stillHeld(printer.handle, job)) {
        SetJobW(printer.handle, job, 0, nullptr, JOB_CONTROL_DELETE);
        return PrintQueueResult::Failed;
    }
    return PrintQueueResult::Sent;
}

// The job is drawn with the default printer's own driver into a private
// file of the temporary folder (the driver's "print to file"), and the
// file goes to the printer's queue only when complete: a stop or a failure
// on the way leaves the queue untouched, and the file goes with the job.
class DriverSpoolJob : public PrintQueueJob
{
public:
    DriverSpoolJob(const PrinterPage &page, const QString &docName, qint64 reserve)
        : m_queue(page.queue), m_docName(docName), m_reserve(reserve),
          m_folder(QDir::tempPath() + QStringLiteral("/kanaroll-print-XXXXXX")),
          m_path(m_folder.filePath(QStringLiteral("job.prn"))),
          m_printer(QPrinterInfo::printerInfo(page.queue), QPrinter::HighResolution)
    {
        m_printer.setPageLayout(page.layout);
        m_printer.setDocName(docName);
        m_printer.setCreator(QStringLiteral("kanaroll"));
        m_printer.setOutputFileName(QDir::toNativeSeparators(m_path));
    }
    bool valid() const { return m_folder.isValid() && m_printer.isValid(); }

    QPagedPaintDevice &device() override { return m_printer; }
    bool healthy() const override
    {
        return !m_broken && m_printer.printerState() != QPrinter::Error
               && m_printer.printerState() != QPrinter::Aborted;
    }
    bool outOfRoom() const override { return m_noRoom; }
    qint64 spooled() const override { return QFileInfo(m_path).size(); }
    void expect(qint64 bytes) override
    {
        if (m_broken)
            return;
        const qint64 left = freeBytes(m_folder.path()) - m_reserve;
        if (left < 0 || bytes - spooled() > left)
            m_noRoom = m_broken = true;
    }
    void drop() override
    {
        m_dropped = true;
        auto *engine = dynamic_cast<QWin32PrintEngine *>(m_printer.printEngine());
        if (HDC dc = engine ? engine->getDC() : nullptr)
            AbortDoc(dc);
    }
    PrintQueueResult send(const std::function<bool(double)> &going) override
    {
        QFile file(m_path);
        if (m_dropped || !file.open(QIODevice::ReadOnly) || file.size() <= 0)
            return PrintQueueResult::Failed;
        return sendRaw(m_queue, file, m_docName, going);
    }

private:
    QString m_queue;
    QString m_docName;
    qint64 m_reserve;
    QTemporaryDir m_folder;
    QString m_path;
    // Gone before its file's folder, so the driver has let go of the file.
    QPrinter m_printer;
    bool m_broken = false;
    bool m_noRoom = false;
    bool m_dropped = false;
};

} // namespace

std::unique_ptr<PrintQueueJob> printQueueOpen(const PrinterPage &page, const QString &docName, qint64 reserve)
{
    auto job = std::make_unique<DriverSpoolJob>(page, docName, reserve);
    if (!job->valid())
        return nullptr;
    return job;
}

std::unique_ptr<QPagedPaintDevice> printQueueMeasure(const PrinterPage &page)
{
    auto printer = std::make_unique<QPrinter>(QPrinterInfo::printerInfo(page.queue), QPrinter::HighResolution);
    printer->setPageLayout(page.layout);
    return printer;
}

QString printQueueSpoolFolder()
{
    return QDir::toNativeSeparators(QDir::tempPath());
}

} // namespace kanaroll
