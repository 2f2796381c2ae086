#pragma once

#include <QPageLayout>
#include <QString>

#include <functional>
#include <memory>

class QPagedPaintDevice;

namespace kanaroll {

// The system's print queue: a job is drawn page by page and handed over
// only when whole, so that a stop or a failure on the way leaves nothing
// for the printer.
enum class PrintQueueResult {
    Sent,
    Failed,    // the queue refused the document; no job is left behind
    Cancelled, // stopped while sending; the half-sent job was removed
};

// A printer's page, at its resolution.
struct PrinterPage {
    QString queue;
    QPageLayout layout;
    int resolution = 0;
};

class PrintQueueJob
{
public:
    virtual ~PrintQueueJob() = default;

    // Where the pages are drawn, with one painter from first to last.
    virtual QPagedPaintDevice &device() = 0;
    // False once the job can no longer come out whole.
    virtual bool healthy() const = 0;
    // Whether it broke because the spool's disk is full.
    virtual bool outOfRoom() const = 0;
    // Bytes spooled so far.
    virtual qint64 spooled() const = 0;
    // A guess at the whole job: one that cannot fit breaks the job now.
    virtual void expect(qint64 bytes) = 0;
    // Called before the painter ends on a stop or a failure, so that ending
    // it hands nothing over.
    virtual void drop() = 0;
    // Called once the painter has ended well: hands the job over. going is
    // told the share sent; false stops it, and the job is withdrawn.
    virtual PrintQueueResult send(const std::function<bool(double sent)> &going) = 0;
};

// A job for the printer's queue, its spool kept free of the reserve; null
// when it cannot even start.
std::unique_ptr<PrintQueueJob> printQueueOpen(const PrinterPage &page, const QString &docName, qint64 reserve);

// A device that measures as the job's device will, for counting pages
// before anything is drawn.
std::unique_ptr<QPagedPaintDevice> printQueueMeasure(const PrinterPage &page);

// The folder the spool grows in, as the user knows it.
QString printQueueSpoolFolder();

} // namespace kanaroll
