#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

// A CUPS scheduler of the test's own on a private socket, with a file queue
// that writes each job's PDF to outPdf(): neither the system's printers nor
// other tests' queues are touched. Start it before anything asks libcups
// for printers, since libcups keeps the server it first finds.
class PrivateCups
{
public:
    PrivateCups() = default;
    ~PrivateCups();
    PrivateCups(const PrivateCups &) = delete;
    PrivateCups &operator=(const PrivateCups &) = delete;

    // Empty when running; else why not, for QSKIP.
    QString start();
    // Adds the queue K on outPdf() and makes it the default; false with why in error.
    bool addFileQueue(QString *error = nullptr);
    QString outPdf() const { return m_dir.filePath(QStringLiteral("out/out.pdf")); }
    // Every job the scheduler knows: finished, cancelled and pending alike.
    int allJobs() const;
    // Jobs not yet finished.
    QString pendingJobs() const;
    // Until the queue is empty and the backend has written the file.
    bool waitPrinted() const;

private:
    QTemporaryDir m_dir{QStringLiteral("/tmp/kanaroll-cups-XXXXXX")};
    QProcess m_cupsd;
};
