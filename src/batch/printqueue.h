#pragma once

#include <QString>

#include <functional>

namespace kanaroll {

// The system's print queue, reached only with a whole spooled document.
enum class PrintQueueResult {
    Sent,
    Failed,    // the queue refused the document; no job is left behind
    Cancelled, // stopped while sending; the half-sent job was removed
};

// Sends the PDF file at path to the queue named queue as one job. going is
// told the share sent now and then; false stops the sending, and the job
// is then withdrawn and purged so that no page of it comes out.
PrintQueueResult printQueueSend(const QString &queue, const QString &path, const QString &title,
                                const std::function<bool(double sent)> &going);

} // namespace kanaroll
