#include "lists/namaefile.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

#include <windows.h>

namespace kanaroll {

using namaecodec::kDecodePiece;
using namaecodec::Steps;

namespace {

HANDLE handleOf(qintptr fd) { return reinterpret_cast<HANDLE>(fd); }

std::wstring widePath(const QString &fileName)
{
    return QDir::toNativeSeparators(fileName).toStdWString();
}

// A name the system takes for a device (CON, NUL, COM1, \\.\...): opening
// some of them has effects of their own, so they are turned away first.
bool namesDevice(const std::wstring &path)
{
    if (path.rfind(L"\\\\.\\", 0) == 0 || path.rfind(L"\\\\?\\GLOBALROOT", 0) == 0)
        return true;
    wchar_t full[MAX_PATH + 8];
    const DWORD n = GetFullPathNameW(path.c_str(), DWORD(std::size(full)), full, nullptr);
    return n > 0 && n < std::size(full) && std::wstring_view(full, n).rfind(L"\\\\.\\", 0) == 0;
}

bool identity(HANDLE h, BY_HANDLE_FILE_INFORMATION &info)
{
    return GetFileInformationByHandle(h, &info) != 0;
}

OVERLAPPED at(qint64 offset)
{
    OVERLAPPED ov{};
    ov.Offset = DWORD(quint64(offset) & 0xffffffffu);
    ov.OffsetHigh = DWORD(quint64(offset) >> 32);
    return ov;
}

} // namespace

void ListFile::close()
{
    if (m_fd >= 0)
        CloseHandle(handleOf(m_fd));
    m_fd = -1;
}

ListFile::Status ListFile::open(const QString &fileName, Mode mode)
{
    const std::wstring path = widePath(fileName);
    if (namesDevice(path))
        return NotRegular;
    const DWORD access = mode == Change ? GENERIC_READ | GENERIC_WRITE : GENERIC_READ;
    // Others may read, write and replace it meanwhile, as on any other system;
    // the lock is what keeps changes apart.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    HANDLE h = CreateFileW(path.c_str(), access, share, nullptr, mode == Change ? OPEN_ALWAYS : OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        m_errno = int(GetLastError());
        return m_errno == ERROR_FILE_NOT_FOUND || m_errno == ERROR_PATH_NOT_FOUND ? Missing : Failed;
    }
    m_fd = reinterpret_cast<qintptr>(h);
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(h) != FILE_TYPE_DISK) {
        m_errno = ERROR_INVALID_FUNCTION;
        close();
        return NotRegular;
    }
    if (!identity(h, info)) {
        m_errno = int(GetLastError());
        close();
        return Failed;
    }
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        m_errno = ERROR_DIRECTORY;
        close();
        return Failed;
    }
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
        // Still the file at the path (not one replaced meanwhile)?
        BY_HANDLE_FILE_INFORMATION here{}, there{};
        HANDLE other = CreateFileW(widePath(fileName).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        bool same = false;
        if (other != INVALID_HANDLE_VALUE) {
            same = identity(handleOf(m_fd), here) && identity(other, there)
                   && here.dwVolumeSerialNumber == there.dwVolumeSerialNumber
                   && here.nFileIndexHigh == there.nFileIndexHigh && here.nFileIndexLow == there.nFileIndexLow;
            CloseHandle(other);
        }
        if (same)
            return Open;
        close();
    }
}

QString ListFile::reason() const
{
    wchar_t *text = nullptr;
    const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, DWORD(m_errno), 0, reinterpret_cast<wchar_t *>(&text), 0, nullptr);
    QString message = n ? QString::fromWCharArray(text, int(n)).trimmed() : QStringLiteral("error %1").arg(m_errno);
    LocalFree(text);
    return message;
}

ListFile::ReadStatus ListFile::readAll(QByteArray &out, Steps *steps)
{
    out.clear();
    const qint64 start = size();
    if (start < 0)
        return fail();
    if (start > kNamaeListMaxBytes)
        return TooLarge;
    // The file may grow while it is read; the cap holds all the same.
    out.resize(qsizetype(start) + 1);
    qsizetype have = 0;
    for (;;) {
        if (have == out.size()) {
            if (have > kNamaeListMaxBytes)
                return TooLarge;
            out.resize(std::min<qsizetype>(have * 2 + 4096, kNamaeListMaxBytes + 1));
        }
        if (steps && !steps->tell(have))
            return ReadFailed;
        OVERLAPPED ov = at(have);
        DWORD n = 0;
        if (!ReadFile(handleOf(m_fd), out.data() + have, DWORD(qMin(out.size() - have, kDecodePiece)), &n, &ov)) {
            if (GetLastError() == ERROR_HANDLE_EOF)
                break;
            return fail();
        }
        if (n == 0)
            break;
        have += n;
    }
    if (have > kNamaeListMaxBytes)
        return TooLarge;
    out.truncate(have);
    return ReadOk;
}

bool ListFile::writeAt(QByteArrayView bytes, qint64 offset)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        OVERLAPPED ov = at(offset + done);
        DWORD n = 0;
        const DWORD want = DWORD(qMin<qsizetype>(bytes.size() - done, kDecodePiece));
        if (!WriteFile(handleOf(m_fd), bytes.data() + done, want, &n, &ov) || n == 0) {
            m_errno = n == 0 && GetLastError() == ERROR_SUCCESS ? int(ERROR_WRITE_FAULT) : int(GetLastError());
            return false;
        }
        done += n;
    }
    return true;
}

qint64 ListFile::size()
{
    LARGE_INTEGER n{};
    return GetFileSizeEx(handleOf(m_fd), &n) ? qint64(n.QuadPart) : -1;
}

bool ListFile::lock(bool exclusive, QDeadlineTimer deadline)
{
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    int pauseMs = 1;
    for (;;) {
        OVERLAPPED ov{};
        if (LockFileEx(handleOf(m_fd), flags, 0, MAXDWORD, MAXDWORD, &ov))
            return true;
        // A file system without locks: go on as the program always did.
        if (GetLastError() != ERROR_LOCK_VIOLATION && GetLastError() != ERROR_IO_PENDING)
            return true;
        const qint64 left = deadline.remainingTime();
        if (left == 0)
            return false;
        const qint64 ms = left < 0 ? pauseMs : std::min<qint64>(pauseMs, left);
        Sleep(DWORD(ms));
        pauseMs = std::min(pauseMs * 2, 16);
    }
}

ListFile::ReadStatus ListFile::fail()
{
    m_errno = int(GetLastError());
    return ReadFailed;
}

bool ListFile::readAt(qint64 offset, qsizetype size, QByteArray &out)
{
    out.resize(size);
    qsizetype have = 0;
    while (have < size) {
        OVERLAPPED ov = at(offset + have);
        DWORD n = 0;
        if (!ReadFile(handleOf(m_fd), out.data() + have, DWORD(qMin(size - have, kDecodePiece)), &n, &ov) || n == 0)
            return false;
        have += n;
    }
    return true;
}

bool ListFile::truncate(qint64 size)
{
    FILE_END_OF_FILE_INFO end{};
    end.EndOfFile.QuadPart = size;
    return SetFileInformationByHandle(handleOf(m_fd), FileEndOfFileInfo, &end, sizeof end) != 0;
}

bool ListFile::replace(const QString &fileName, const QByteArray &bytes, QString &reason)
{
    // The new text goes to a file beside the old one, reaches the disk, and
    // then takes the old one's place in one step; the old one stays whole
    // until then.
    const QFileInfo target(fileName);
    const std::wstring final = widePath(target.absoluteFilePath());
    const std::wstring temp = final + L".kanaroll-new";
    const auto failed = [&](DWORD error) {
        ListFile why;
        why.m_errno = int(error);
        reason = why.reason();
        DeleteFileW(temp.c_str());
        return false;
    };
    HANDLE h = CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return failed(GetLastError());
    qsizetype done = 0;
    while (done < bytes.size()) {
        DWORD n = 0;
        const DWORD want = DWORD(qMin<qsizetype>(bytes.size() - done, kDecodePiece));
        if (!WriteFile(h, bytes.data() + done, want, &n, nullptr) || n == 0) {
            const DWORD error = n == 0 && GetLastError() == ERROR_SUCCESS ? DWORD(ERROR_WRITE_FAULT) : GetLastError();
            CloseHandle(h);
            return failed(error);
        }
        done += n;
    }
    if (!FlushFileBuffers(h)) {
        const DWORD error = GetLastError();
        CloseHandle(h);
        return failed(error);
    }
    CloseHandle(h);
    if (ReplaceFileW(final.c_str(), temp.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
        return true;
    // No file to replace (or a file system without it): a plain move over.
    if (MoveFileExW(temp.c_str(), final.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    return failed(GetLastError());
}

NamaeFileStamp NamaeFileStamp::of(const QString &fileName)
{
    NamaeFileStamp stamp;
    HANDLE h = CreateFileW(widePath(fileName).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return stamp;
    BY_HANDLE_FILE_INFORMATION info{};
    FILE_BASIC_INFO basic{};
    if (identity(h, info) && GetFileInformationByHandleEx(h, FileBasicInfo, &basic, sizeof basic)) {
        stamp.exists = true;
        stamp.device = quint64(info.dwVolumeSerialNumber);
        stamp.inode = quint64(info.nFileIndexHigh) << 32 | info.nFileIndexLow;
        stamp.size = qint64(quint64(info.nFileSizeHigh) << 32 | info.nFileSizeLow);
        // In 100 ns steps; only compared, never shown.
        stamp.modified = qint64(basic.LastWriteTime.QuadPart) * 100;
        stamp.changed = qint64(basic.ChangeTime.QuadPart) * 100;
    }
    CloseHandle(h);
    return stamp;
}

} // namespace kanaroll
