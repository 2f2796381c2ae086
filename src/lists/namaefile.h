#pragma once

// The guarded list file: only regular files are opened (a fifo or a device
// never), reads are capped, changes are made under a lock shared with every
// other window, and a whole rewrite replaces the file atomically. All the
// calls to the system's file interface live behind this one class.

#include "lists/namaecodec.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>

namespace kanaroll {

// One list file, open on a descriptor that is closed with it. Each platform
// has its own part: OFD locks and rename here; LockFileEx and ReplaceFileW
// (MoveFileExW where there is nothing to replace) on Windows.
class ListFile
{
public:
    enum Status { Open, Missing, NotRegular, Failed, Busy };
    // Read: opened as it is, under a shared lock. Change: opened for writing,
    // created when missing, under the exclusive lock.
    enum Mode { Read, Change };

    ListFile() = default;
    ListFile(const ListFile &) = delete;
    ListFile &operator=(const ListFile &) = delete;
    ~ListFile() { close(); }

    void close();

    // Opens without blocking, since a fifo would wait for a writer, and keeps
    // the descriptor only for a regular file (checked on the descriptor, so a
    // swap after the check cannot slip through). Devices are turned away
    // before they are opened: opening some has effects of its own.
    Status open(const QString &fileName, Mode mode);

    // Opens and takes the lock: exclusive for a change, shared for a read. The
    // lock is an open-file-description lock, so the kernel drops it when its
    // holder ends however it ends, and closing another descriptor of the
    // same file in this process does not. A change replaces the file with a
    // new one, so a lock had on a file that is no longer the one at the path
    // is let go and taken again on the new one.
    // Busy: another holder kept it past the deadline (the file stays open
    // when `readAnyway`, for a reader that would rather not wait longer).
    Status openLocked(const QString &fileName, Mode mode, QDeadlineTimer deadline, bool readAnyway = false);

    bool isOpen() const { return m_fd >= 0; }
    QString reason() const;

    enum ReadStatus { ReadOk, TooLarge, ReadFailed };
    // The whole file from its start, at most kNamaeListMaxBytes.
    ReadStatus readAll(QByteArray &out, namaecodec::Steps *steps = nullptr);
    // The bytes at [at, at + size); false when they are not all there.
    bool readAt(qint64 at, qsizetype size, QByteArray &out);

    // Writes all of `bytes` at `at`; false with the reason kept on a short write.
    bool writeAt(QByteArrayView bytes, qint64 at);
    bool truncate(qint64 size);
    qint64 size();

    // Replaces the file at `fileName` whole, or leaves it as it was; called
    // with the file locked and known to be a regular file (the replacement
    // would otherwise go where a link to a device points).
    static bool replace(const QString &fileName, const QByteArray &bytes, QString &reason);

private:
    bool lock(bool exclusive, QDeadlineTimer deadline);
    ReadStatus fail();

    qintptr m_fd = -1; // the descriptor, or on Windows the handle
    int m_errno = 0;   // errno, or on Windows the system's error code
};

} // namespace kanaroll
