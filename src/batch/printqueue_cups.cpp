#include "printqueue.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPdfWriter>
#include <QStorageInfo>
#include <QTemporaryDir>

#include <cups/cups.h>

#include <limits>
#include <memory>
#include <optional>
#include <vector>

namespace kanaroll {

namespace {

struct HttpClose {
    void operator()(http_t *http) const { httpClose(http); }
};

// A job that was created but not finished goes, history and all.
void withdraw(const QByteArray &queue, int job)
{
    cupsCancelJob2(CUPS_HTTP_DEFAULT, queue.constData(), job, 1);
}

// Sends the PDF file at path to the queue named queue as one job. going is
// told the share sent now and then; false stops the sending, and the job
// is then withdrawn and purged so that no page of it comes out.
PrintQueueResult printQueueSend(const QString &queue, const QString &path, const QString &title,
                                const std::function<bool(double)> &going)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return PrintQueueResult::Failed;
    const QByteArray dest = queue.toUtf8();
    const QByteArray name = title.toUtf8();
    // A connection of its own: a stop closes it in the middle of the
    // document, which the scheduler then drops.
    std::unique_ptr<http_t, HttpClose> http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC,
                                                         cupsEncryption(), 1, 30000, nullptr));
    if (!http)
        return PrintQueueResult::Failed;
    const int job = cupsCreateJob(http.get(), dest.constData(), name.constData(), 0, nullptr);
    if (job <= 0)
        return PrintQueueResult::Failed;
    if (cupsStartDocument(http.get(), dest.constData(), job, name.constData(), CUPS_FORMAT_PDF, 1)
        != HTTP_STATUS_CONTINUE) {
        http.reset();
        withdraw(dest, job);
        return PrintQueueResult::Failed;
    }
    const double size = double(std::max<qint64>(file.size(), 1));
    std::vector<char> buffer(std::size_t(256) << 10);
    qint64 sent = 0;
    PrintQueueResult result = PrintQueueResult::Sent;
    for (;;) {
        const qint64 n = file.read(buffer.data(), qint64(buffer.size()));
        if (n < 0) {
            result = PrintQueueResult::Failed;
            break;
        }
        if (n == 0)
            break;
        if (cupsWriteRequestData(http.get(), buffer.data(), std::size_t(n)) != HTTP_STATUS_CONTINUE) {
            result = PrintQueueResult::Failed;
            break;
        }
        sent += n;
        if (going && !going(double(sent) / size)) {
            result = PrintQueueResult::Cancelled;
            break;
        }
    }
    if (result == PrintQueueResult::Sent && cupsFinishDocument(http.get(), dest.constData()) == IPP_STATUS_OK)
        return result;
    http.reset();
    withdraw(dest, job);
    return result == PrintQueueResult::Sent ? PrintQueueResult::Failed : result;
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

void setUp(QPdfWriter &writer, const PrinterPage &page, const QString &docName)
{
    writer.setResolution(page.resolution);
    writer.setPageLayout(page.layout);
    writer.setTitle(docName);
    writer.setCreator(QStringLiteral("kanaroll"));
}

// The job is a PDF in a private folder of the temporary folder, sent to
// CUPS only when complete; the folder goes with the job.
class PdfSpoolJob : public PrintQueueJob
{
public:
    PdfSpoolJob(const PrinterPage &page, const QString &docName, qint64 reserve)
        : m_page(page), m_docName(docName), m_folder(QDir::tempPath() + QStringLiteral("/kanaroll-print-XXXXXX")),
          m_spool(m_folder.filePath(QStringLiteral("job.pdf")), reserve)
    {
    }
    bool start()
    {
        if (!m_folder.isValid() || !m_spool.start())
            return false;
        m_writer.emplace(&m_spool);
        setUp(*m_writer, m_page, m_docName);
        return true;
    }

    QPagedPaintDevice &device() override { return *m_writer; }
    bool healthy() const override { return !m_spool.failed(); }
    bool outOfRoom() const override { return m_spool.outOfRoom(); }
    qint64 spooled() const override { return m_spool.written(); }
    void expect(qint64 bytes) override { m_spool.expect(bytes); }
    void drop() override {}
    PrintQueueResult send(const std::function<bool(double)> &going) override
    {
        if (!m_spool.finish())
            return PrintQueueResult::Failed;
        return printQueueSend(m_page.queue, m_spool.path(), m_docName, going);
    }

private:
    PrinterPage m_page;
    QString m_docName;
    QTemporaryDir m_folder;
    SpoolFile m_spool;
    std::optional<QPdfWriter> m_writer;
};

// Made before the writer that is given it.
struct Nowhere {
    QBuffer none;
};

// Measures as the job's writer does, writing nowhere.
class PdfMeasure : private Nowhere, public QPdfWriter
{
public:
    explicit PdfMeasure(const PrinterPage &page) : QPdfWriter(&none) { setUp(*this, page, {}); }
};

} // namespace

std::unique_ptr<PrintQueueJob> printQueueOpen(const PrinterPage &page, const QString &docName, qint64 reserve)
{
    auto job = std::make_unique<PdfSpoolJob>(page, docName, reserve);
    if (!job->start())
        return nullptr;
    return job;
}

std::unique_ptr<QPagedPaintDevice> printQueueMeasure(const PrinterPage &page)
{
    return std::make_unique<PdfMeasure>(page);
}

QString printQueueSpoolFolder()
{
    return QDir::toNativeSeparators(QDir::tempPath());
}

} // namespace kanaroll
