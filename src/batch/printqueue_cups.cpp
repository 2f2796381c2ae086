#include "printqueue.h"

#include <QFile>

#include <cups/cups.h>

#include <memory>
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

} // namespace

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

} // namespace kanaroll
