#include "lists/namaefile.h"

#include <QFile>
#include <QSaveFile>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kanaroll {

namespace {
// The handle is wide enough for either platform's; here it holds a descriptor.
int posixFd(qintptr handle)
{
    return static_cast<int>(handle);
}
} // namespace

using namaecodec::kDecodePiece;
using namaecodec::Steps;

void ListFile::close()
{
    if (m_fd >= 0)
        ::close(posixFd(m_fd));
    m_fd = -1;
}

ListFile::Status ListFile::open(const QString &fileName, Mode mode)
{
    const QByteArray path = QFile::encodeName(fileName);
    struct stat st {};
    if (::stat(path.constData(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
        return NotRegular;
    const int flags = mode == Change ? O_RDWR | O_CREAT : O_RDONLY;
    int fd;
    do
        fd = ::open(path.constData(), flags | O_NONBLOCK | O_CLOEXEC | O_NOCTTY, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        m_errno = errno;
        return m_errno == ENOENT ? Missing : Failed;
    }
    m_fd = fd;
    if (::fstat(fd, &st) != 0) {
        m_errno = errno;
        close();
        return Failed;
    }
    if (!S_ISREG(st.st_mode)) {
        const bool dir = S_ISDIR(st.st_mode);
        m_errno = EISDIR;
        close();
        return dir ? Failed : NotRegular;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return Open;
}

ListFile::Status ListFile::openLocked(const QString &fileName, Mode mode, QDeadlineTimer deadline, bool readAnyway)
{
    for (;;) {
        const Status status = open(fileName, mode);
        if (status != Open)
            return status;
        if (!lock(mode == Change, deadline)) {
            if (!readAnyway)
                close();
            return Busy;
        }
        struct stat here {}, there {};
        if (::fstat(posixFd(m_fd), &here) == 0 && ::stat(QFile::encodeName(fileName).constData(), &there) == 0
            && here.st_dev == there.st_dev && here.st_ino == there.st_ino)
            return Open;
        close();
    }
}

QString ListFile::reason() const { return QString::fromLocal8Bit(std::strerror(m_errno)); }

ListFile::ReadStatus ListFile::readAll(QByteArray &out, Steps *steps)
{
    out.clear();
    struct stat st {};
    if (::fstat(posixFd(m_fd), &st) != 0)
        return fail();
    if (st.st_size > kNamaeListMaxBytes)
        return TooLarge;
    // The file may grow while it is read; the cap holds all the same.
    out.resize(qsizetype(st.st_size) + 1);
    qsizetype have = 0;
    for (;;) {
        if (have == out.size()) {
            if (have > kNamaeListMaxBytes)
                return TooLarge;
            out.resize(std::min<qsizetype>(have * 2 + 4096, kNamaeListMaxBytes + 1));
        }
        if (steps && !steps->tell(have))
            return ReadFailed;
        const ssize_t n = ::pread(posixFd(m_fd), out.data() + have, size_t(qMin(out.size() - have, kDecodePiece)),
                                  off_t(have));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail();
        if (n == 0)
            break;
        have += n;
    }
    if (have > kNamaeListMaxBytes)
        return TooLarge;
    out.truncate(have);
    return ReadOk;
}

bool ListFile::writeAt(QByteArrayView bytes, qint64 at)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::pwrite(posixFd(m_fd), bytes.data() + done, size_t(bytes.size() - done), off_t(at + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            m_errno = n < 0 ? errno : EIO;
            return false;
        }
        done += n;
    }
    return true;
}

qint64 ListFile::size()
{
    struct stat st {};
    return ::fstat(posixFd(m_fd), &st) == 0 ? qint64(st.st_size) : -1;
}

bool ListFile::lock(bool exclusive, QDeadlineTimer deadline)
{
    struct flock fl {};
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    int pauseMs = 1;
    for (;;) {
        if (::fcntl(posixFd(m_fd), F_OFD_SETLK, &fl) == 0)
            return true;
        if (errno == EINTR)
            continue;
        // A file system without locks: go on as the program always did.
        if (errno != EAGAIN && errno != EACCES)
            return true;
        const qint64 left = deadline.remainingTime();
        if (left == 0)
            return false;
        const qint64 ms = left < 0 ? pauseMs : std::min<qint64>(pauseMs, left);
        const timespec ts{time_t(ms / 1000), long(ms % 1000) * 1000000L};
        ::nanosleep(&ts, nullptr);
        pauseMs = std::min(pauseMs * 2, 16);
    }
}

ListFile::ReadStatus ListFile::fail()
{
    m_errno = errno;
    return ReadFailed;
}

bool ListFile::readAt(qint64 at, qsizetype size, QByteArray &out)
{
    out.resize(size);
    qsizetype have = 0;
    while (have < size) {
        const ssize_t n = ::pread(posixFd(m_fd), out.data() + have, size_t(size - have), off_t(at + have));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        have += n;
    }
    return true;
}

bool ListFile::truncate(qint64 size)
{
    int r;
    do
        r = ::ftruncate(posixFd(m_fd), off_t(size));
    while (r != 0 && errno == EINTR);
    return r == 0;
}

bool ListFile::replace(const QString &fileName, const QByteArray &bytes, QString &reason)
{
    QSaveFile file(fileName);
    // commit() overlooks a failure of its own final flush (a full disk), so
    // flush and check the length first; an uncommitted file is discarded.
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.flush()
        || file.size() != bytes.size() || !file.commit()) {
        reason = file.errorString();
        return false;
    }
    return true;
}

NamaeFileStamp NamaeFileStamp::of(const QString &fileName)
{
    NamaeFileStamp stamp;
    struct stat st {};
    if (::stat(QFile::encodeName(fileName).constData(), &st) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = quint64(st.st_dev);
    stamp.inode = quint64(st.st_ino);
    stamp.size = qint64(st.st_size);
    stamp.modified = qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    stamp.changed = qint64(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
    return stamp;
}

} // namespace kanaroll
