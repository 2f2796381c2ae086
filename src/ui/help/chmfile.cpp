#include "ui/help/chmfile.h"

#include <QFile>
#include <QStringDecoder>

#include <chm_lib.h>

#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

namespace kanaroll {

namespace {

// Entry codes of the "#SYSTEM" object written by help compilers.
constexpr quint16 kSystemContents = 0;
constexpr quint16 kSystemIndex = 1;
constexpr quint16 kSystemDefaultTopic = 2;
constexpr quint16 kSystemTitle = 3;
constexpr quint16 kSystemLocale = 4;
constexpr quint32 kLocaleJapanese = 0x0411;

quint16 le16(const QByteArray &b, qsizetype at)
{
    return quint16(quint8(b[at]) | quint8(b[at + 1]) << 8);
}

quint32 le32(const QByteArray &b, qsizetype at)
{
    return quint32(le16(b, at)) | quint32(le16(b, at + 2)) << 16;
}

// System strings are NUL-terminated inside their entry.
QByteArray cString(const QByteArray &data)
{
    const qsizetype nul = data.indexOf('\0');
    return nul < 0 ? data : data.left(nul);
}

bool isPage(const QString &path)
{
    return path.endsWith(QLatin1String(".htm"), Qt::CaseInsensitive)
        || path.endsWith(QLatin1String(".html"), Qt::CaseInsensitive);
}

} // namespace

ChmFile::~ChmFile()
{
    close();
}

ChmFile::ChmFile(ChmFile &&other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)),
      m_fileName(std::move(other.m_fileName)),
      m_title(std::move(other.m_title)),
      m_defaultTopic(std::move(other.m_defaultTopic)),
      m_contentsFile(std::move(other.m_contentsFile)),
      m_indexFile(std::move(other.m_indexFile)),
      m_locale(other.m_locale),
      m_systemReadable(other.m_systemReadable)
{
}

ChmFile &ChmFile::operator=(ChmFile &&other) noexcept
{
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, nullptr);
        m_fileName = std::move(other.m_fileName);
        m_title = std::move(other.m_title);
        m_defaultTopic = std::move(other.m_defaultTopic);
        m_contentsFile = std::move(other.m_contentsFile);
        m_indexFile = std::move(other.m_indexFile);
        m_locale = other.m_locale;
        m_systemReadable = other.m_systemReadable;
    }
    return *this;
}

bool ChmFile::open(const QString &fileName)
{
    close();
    // Opened without blocking and checked first, so that a fifo or a device
    // under the name neither hangs the viewer nor gets read. chmlib opens
    // the same file again through the descriptor, so a file swapped in
    // meanwhile is not the one read.
    const int fd = ::open(QFile::encodeName(fileName).constData(),
                          O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    const QByteArray viaFd = "/proc/self/fd/" + QByteArray::number(fd);
    m_handle = chm_open(::access(viaFd.constData(), R_OK) == 0 ? viaFd.constData()
                                                              : QFile::encodeName(fileName).constData());
    ::close(fd);
    if (!m_handle)
        return false;
    m_fileName = fileName;
    readSystem();
    return true;
}

void ChmFile::close()
{
    if (m_handle)
        chm_close(m_handle);
    m_handle = nullptr;
    m_fileName.clear();
    m_title.clear();
    m_defaultTopic.clear();
    m_contentsFile.clear();
    m_indexFile.clear();
    m_locale = 0;
    m_systemReadable = false;
}

QString ChmFile::normalizedPath(const QString &path)
{
    QString p = path;
    while (p.startsWith(QLatin1String("./")))
        p.remove(0, 2);
    if (!p.startsWith(u'/'))
        p.prepend(u'/');
    return p;
}

bool ChmFile::contains(const QString &path) const
{
    if (!m_handle)
        return false;
    chmUnitInfo info;
    return chm_resolve_object(m_handle, normalizedPath(path).toUtf8().constData(), &info)
        == CHM_RESOLVE_SUCCESS;
}

std::optional<QByteArray> ChmFile::read(const QString &path) const
{
    if (!m_handle)
        return std::nullopt;
    chmUnitInfo info;
    if (chm_resolve_object(m_handle, normalizedPath(path).toUtf8().constData(), &info)
        != CHM_RESOLVE_SUCCESS)
        return std::nullopt;
    // A directory entry resolves too, but has no content of its own.
    if (info.path[0] != '\0' && info.path[std::strlen(info.path) - 1] == '/')
        return std::nullopt;

    QByteArray data;
    data.resize(qsizetype(info.length));
    LONGUINT64 done = 0;
    while (done < info.length) {
        const LONGINT64 got = chm_retrieve_object(
            m_handle, &info, reinterpret_cast<unsigned char *>(data.data()) + done, done,
            LONGINT64(info.length - done));
        if (got <= 0)
            return std::nullopt; // damaged file
        done += LONGUINT64(got);
    }
    return data;
}

QStringList ChmFile::files() const
{
    QStringList out;
    if (!m_handle)
        return out;
    auto collect = [](chmFile *, chmUnitInfo *info, void *context) -> int {
        const QString path = QString::fromUtf8(info->path);
        if (path.startsWith(u'/') && !path.endsWith(u'/') && !path.startsWith(QLatin1String("/#"))
            && !path.startsWith(QLatin1String("/$")))
            static_cast<QStringList *>(context)->append(path);
        return CHM_ENUMERATOR_CONTINUE;
    };
    chm_enumerate(m_handle, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES, collect, &out);
    out.sort();
    return out;
}

void ChmFile::readSystem()
{
    QByteArray recordedTopic;
    QByteArray rawTitle;
    QByteArray contents;
    QByteArray index;
    quint32 locale = 0;

    const auto system = read(QStringLiteral("/#SYSTEM"));
    m_systemReadable = system.has_value();
    if (system) {
        const QByteArray &s = *system;
        qsizetype at = 4; // format version
        while (at + 4 <= s.size()) {
            const quint16 code = le16(s, at);
            const quint16 length = le16(s, at + 2);
            at += 4;
            if (at + length > s.size())
                break; // truncated: keep what was read so far
            const QByteArray data = s.mid(at, length);
            if (code == kSystemDefaultTopic)
                recordedTopic = cString(data);
            else if (code == kSystemTitle)
                rawTitle = cString(data);
            else if (code == kSystemLocale && length >= 4)
                locale = le32(data, 0);
            else if (code == kSystemContents)
                contents = cString(data);
            else if (code == kSystemIndex)
                index = cString(data);
            at += length;
        }
    }

    // The compiler copies the title bytes from the project as they are; a
    // Japanese file carries them in code page 932.
    if ((locale & 0xffff) == kLocaleJapanese) {
        QStringDecoder decoder("windows-31j");
        m_title = decoder(rawTitle);
    } else {
        m_title = QString::fromUtf8(rawTitle);
    }
    m_locale = locale;
    m_defaultTopic = findDefaultTopic(QString::fromUtf8(recordedTopic));
    m_contentsFile = findSitemap(QString::fromUtf8(contents), QStringLiteral(".hhc"));
    m_indexFile = findSitemap(QString::fromUtf8(index), QStringLiteral(".hhk"));
}

QString ChmFile::findSitemap(const QString &recorded, const QString &suffix) const
{
    if (!recorded.isEmpty() && contains(recorded))
        return normalizedPath(recorded);
    const QStringList all = files();
    for (const QString &path : all) {
        if (path.endsWith(suffix, Qt::CaseInsensitive))
            return path;
    }
    return {};
}

QString ChmFile::findDefaultTopic(const QString &recorded) const
{
    if (!recorded.isEmpty() && read(recorded))
        return normalizedPath(recorded);
    for (const char *name : {"/index.htm", "/index.html", "/default.htm", "/default.html"}) {
        if (read(QLatin1String(name)))
            return QLatin1String(name);
    }
    const QStringList all = files();
    for (const QString &path : all) {
        if (path.indexOf(u'/', 1) < 0 && isPage(path))
            return path;
    }
    return {};
}

} // namespace kanaroll
