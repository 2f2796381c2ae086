#include "batch/printqueue.h"

#include <QDir>
#include <QPrinter>
#include <QPrinterInfo>
#include <QStorageInfo>

// The toolkit's print engine keeps the printer's device context to itself;
// the job is withdrawn through it.
#include <QtPrintSupport/private/qprintengine_win_p.h>

#include <windows.h>
#include <winspool.h>

#include <limits>
#include <vector>

namespace kanaroll {

namespace {

// The spooler's folder, where the pages of every job gather until it is
// whole; the system's own place when the spooler does not say.
QString spoolDirectory()
{
    HANDLE server = nullptr;
    if (OpenPrinterW(nullptr, &server, nullptr) && server) {
        DWORD type = 0;
        DWORD needed = 0;
        wchar_t name[] = L"DefaultSpoolDirectory";
        std::vector<wchar_t> buffer(MAX_PATH + 1, 0);
        const DWORD got = GetPrinterDataW(server, name, &type, reinterpret_cast<BYTE *>(buffer.data()),
                                          DWORD(buffer.size() * sizeof(wchar_t)), &needed);
        ClosePrinter(server);
        if (got == ERROR_SUCCESS && type == REG_SZ && buffer[0])
            return QDir::toNativeSeparators(QString::fromWCharArray(buffer.data()));
    }
    wchar_t system[MAX_PATH + 1] = {};
    const UINT n = GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n > MAX_PATH)
        return QDir::toNativeSeparators(QDir::tempPath());
    return QDir::toNativeSeparators(QString::fromWCharArray(system, int(n)) + QStringLiteral("\\spool\\PRINTERS"));
}

qint64 freeBytes(const QString &folder)
{
    QStorageInfo disk(QDir::fromNativeSeparators(folder));
    disk.refresh();
    if (!disk.isValid() || disk.bytesAvailable() < 0)
        return std::numeric_limits<qint64>::max();
    return disk.bytesAvailable();
}

// A job drawn straight to the default printer through its own driver. The
// spooler gathers the pages and the job is the printer's when the document
// ends; a stop or a failure withdraws the document first (AbortDoc), which
// deletes the spooled job. (A printer set to start printing before the
// last page is spooled may have begun on the first pages by then.) Room is
// watched on the spooler's disk.
class SpoolerJob : public PrintQueueJob
{
public:
    SpoolerJob(const PrinterPage &page, const QString &docName, qint64 reserve)
        : m_printer(QPrinterInfo::printerInfo(page.queue), QPrinter::HighResolution), m_reserve(reserve),
          m_folder(spoolDirectory())
    {
        m_printer.setPageLayout(page.layout);
        m_printer.setDocName(docName);
        m_printer.setCreator(QStringLiteral("kanaroll"));
        m_freeAtStart = freeBytes(m_folder);
    }
    bool valid() const { return m_printer.isValid(); }

    QPagedPaintDevice &device() override { return m_printer; }
    bool healthy() const override
    {
        if (m_broken || m_printer.printerState() == QPrinter::Error || m_printer.printerState() == QPrinter::Aborted)
            return false;
        return true;
    }
    bool outOfRoom() const override { return m_noRoom; }
    qint64 spooled() const override
    {
        // What the spooler's disk lost since the job began: the spool, give
        // or take what others wrote meanwhile.
        return std::max<qint64>(0, m_freeAtStart - freeBytes(m_folder));
    }
    void expect(qint64 bytes) override
    {
        if (m_broken)
            return;
        const qint64 left = freeBytes(m_folder) - m_reserve;
        if (left < 0 || bytes - spooled() > left)
            m_noRoom = m_broken = true;
    }
    void drop() override
    {
        if (m_dropped)
            return;
        m_dropped = true;
        if (auto *engine = dynamic_cast<QWin32PrintEngine *>(m_printer.printEngine())) {
            if (HDC dc = engine->getDC())
                AbortDoc(dc);
        }
    }
    // The painter's end has closed the document: it is the spooler's now.
    PrintQueueResult send(const std::function<bool(double)> &going) override
    {
        if (m_dropped)
            return PrintQueueResult::Failed;
        if (going)
            going(1.0);
        return PrintQueueResult::Sent;
    }

private:
    QPrinter m_printer;
    qint64 m_reserve;
    QString m_folder;
    qint64 m_freeAtStart = 0;
    bool m_broken = false;
    bool m_noRoom = false;
    bool m_dropped = false;
};

} // namespace

std::unique_ptr<PrintQueueJob> printQueueOpen(const PrinterPage &page, const QString &docName, qint64 reserve)
{
    auto job = std::make_unique<SpoolerJob>(page, docName, reserve);
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
    return spoolDirectory();
}

} // namespace kanaroll
