#include "help/chmfile.h"

#include "help/helptext.h"

#include <QFile>
#include <QStringDecoder>

#include <chm_lib.h>

#include <algorithm>
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

// No page, picture or sitemap comes near this; a larger object is damage.
constexpr quint64 kMaxObject = 64ull << 20;
constexpr quint64 kReadStep = 256ull << 10;

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

// The layout chmlib trusts, checked before it sees the file: it divides and
// indexes by what the header and directory say, and a single wrong byte
// there (a section number, a window size) crashes it.
class StructureCheck
{
public:
    StructureCheck(int fd, qint64 size) : m_fd(fd), m_size(size) {}

    // What each section holds, once sound() has said yes: objects must end
    // within it.
    quint64 plainLength() const { return quint64(m_size) - std::min(m_dataOffset, quint64(m_size)); }
    quint64 compressedLength() const { return m_uncompressed; }

    bool sound()
    {
        QByteArray head;
        if (!fetch(0, 0x60, &head) && !fetch(0, 0x58, &head))
            return false;
        const quint32 version = le32(head, 4);
        const quint32 headerLength = le32(head, 8);
        if (!head.startsWith("ITSF") || (version != 2 && version != 3)
            || headerLength != (version == 3 ? 0x60u : 0x58u) || head.size() < qsizetype(headerLength))
            return false;
        const quint64 dirOffset = le64(head, 0x48);
        const quint64 dirLength = le64(head, 0x50);
        m_dataOffset = version == 3 ? le64(head, 0x58) : dirOffset + dirLength;
        if (!within(dirOffset, dirLength) || m_dataOffset > quint64(m_size) || dirLength < kItspLength
            || dirLength > kMaxDirectory)
            return false;

        QByteArray dir;
        if (!fetch(dirOffset, dirLength, &dir))
            return false;
        const quint32 blockLength = le32(dir, 0x10);
        const qint32 indexRoot = qint32(le32(dir, 0x1c));
        const qint32 indexHead = qint32(le32(dir, 0x20));
        if (!dir.startsWith("ITSP") || le32(dir, 4) != 1 || le32(dir, 8) != kItspLength
            || blockLength < kMinBlock || blockLength > kMaxBlock)
            return false;
        const quint64 chunks = (dirLength - kItspLength) / blockLength;
        if (chunks == 0 || indexRoot < -1 || indexRoot >= qint64(chunks) || indexHead < 0
            || indexHead >= qint64(chunks))
            return false;
        for (quint64 c = 0; c < chunks; ++c) {
            if (!checkChunk(dir.mid(qsizetype(kItspLength + c * blockLength), blockLength)))
                return false;
        }
        // A compressed section whose block table does not add up is left
        // unread, and what lies outside it can still be shown; control data
        // that chmlib divides by must be sound, as it reads them on opening.
        switch (checkCompression()) {
        case Compression::Sound:
            return true;
        case Compression::Unreadable:
            m_uncompressed = 0;
            return true;
        case Compression::Refused:
            break;
        }
        return false;
    }

private:
    static constexpr quint64 kItspLength = 0x54;
    static constexpr quint32 kMinBlock = 0x40;
    static constexpr quint32 kMaxBlock = 0x100000;
    static constexpr quint64 kMaxDirectory = 64ull << 20;
    static constexpr quint64 kMaxPath = 512; // chmlib's own limit
    static constexpr quint64 kLzxFrame = 0x8000; // what LZX decompresses at a time
    static constexpr const char *kControlPath = "::DataSpace/Storage/MSCompressed/ControlData";
    static constexpr const char *kResetPath =
        "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/ResetTable";
    static constexpr const char *kContentPath = "::DataSpace/Storage/MSCompressed/Content";

    static quint64 le64(const QByteArray &b, qsizetype at)
    {
        return quint64(le32(b, at)) | quint64(le32(b, at + 4)) << 32;
    }

    bool within(quint64 offset, quint64 length) const
    {
        return offset <= quint64(m_size) && length <= quint64(m_size) - offset;
    }

    bool fetch(quint64 offset, quint64 length, QByteArray *out) const
    {
        if (!within(offset, length))
            return false;
        out->resize(qsizetype(length));
        qsizetype done = 0;
        while (done < out->size()) {
            const ssize_t got = ::pread(m_fd, out->data() + done, size_t(out->size() - done),
                                        off_t(offset + quint64(done)));
            if (got <= 0)
                return false;
            done += got;
        }
        return true;
    }

    // The variable-length numbers of the directory, seven bits a byte.
    static bool encint(const QByteArray &b, qsizetype *at, qsizetype end, quint64 *value)
    {
        *value = 0;
        for (int i = 0; i < 9 && *at < end; ++i) {
            const quint8 c = quint8(b[(*at)++]);
            *value = *value << 7 | (c & 0x7f);
            if (!(c & 0x80))
                return true;
        }
        return false;
    }

    bool checkChunk(const QByteArray &chunk)
    {
        if (!chunk.startsWith("PMGL"))
            return true; // index chunks only speed up look-ups
        const quint32 freeSpace = le32(chunk, 4);
        if (freeSpace > quint32(chunk.size()) - 20)
            return false;
        const qsizetype end = chunk.size() - qsizetype(freeSpace);
        qsizetype at = 20;
        while (at < end) {
            quint64 nameLength = 0;
            quint64 section = 0;
            quint64 offset = 0;
            quint64 length = 0;
            if (!encint(chunk, &at, end, &nameLength) || nameLength == 0 || nameLength > kMaxPath
                || nameLength > quint64(end - at))
                return false;
            const QByteArray name = chunk.mid(at, qsizetype(nameLength));
            at += qsizetype(nameLength);
            if (!encint(chunk, &at, end, &section) || !encint(chunk, &at, end, &offset)
                || !encint(chunk, &at, end, &length))
                return false;
            if (section > 1)
                return false; // there are only the plain and the compressed section
            // Other objects that overrun their section are refused when read.
            // chmlib looks these names up without regard to case; a name
            // given twice makes the section ambiguous.
            const Entry entry{section, offset, length, true};
            for (auto [path, slot] : {std::pair{kControlPath, &m_control}, std::pair{kResetPath, &m_reset},
                                      std::pair{kContentPath, &m_content}}) {
                if (qstricmp(name.constData(), path) == 0) {
                    if (slot->present)
                        m_ambiguous = true;
                    if (path == kControlPath && slot->present && !m_ambiguousControl.present)
                        m_ambiguousControl = *slot;
                    *slot = entry;
                }
            }
        }
        return true;
    }

    struct Entry {
        quint64 section = 0;
        quint64 offset = 0;
        quint64 length = 0;
        bool present = false;
    };

    // Control data that chmlib can read must be sound: it divides by them.
    bool controlSound(const Entry &e) const
    {
        if (e.offset > quint64(m_size) || !within(m_dataOffset + e.offset, std::min<quint64>(e.length, 0x18)))
            return true; // chmlib cannot read them, and leaves the section alone
        QByteArray control;
        if (e.length < 0x18 || !fetch(m_dataOffset + e.offset, 0x18, &control))
            return true;
        if (control.mid(4, 4) != "LZXC")
            return false;
        // chmlib reckons these in 32 bits; so does this check.
        const quint32 version = le32(control, 8);
        quint32 resetInterval = le32(control, 12);
        quint32 windowSize = le32(control, 16);
        if (version == 2) {
            resetInterval *= 0x8000;
            windowSize *= 0x8000;
        }
        // LZX windows are 32 KiB to 2 MiB, a power of two; chmlib resets
        // every whole number of half windows, and divides by that count.
        if (windowSize < 0x8000 || windowSize > 0x200000 || (windowSize & (windowSize - 1)) != 0
            || resetInterval == 0 || resetInterval % (windowSize / 2) != 0
            || resetInterval / (windowSize / 2) * le32(control, 20) == 0)
            return false;

        return true;
    }

    enum class Compression { Sound, Unreadable, Refused };

    Compression checkCompression()
    {
        // Unless all three are named in the plain section, chmlib leaves
        // the compressed section alone. Otherwise it reads the control data
        // on opening, wherever the others lie, and divides by them.
        for (const Entry *e : {&m_control, &m_reset, &m_content}) {
            if (!e->present || e->section != 0)
                return Compression::Unreadable;
        }
        for (const Entry *e : {&m_control, &m_ambiguousControl}) {
            if (e->present && !controlSound(*e))
                return Compression::Refused;
        }
        if (m_ambiguous)
            return Compression::Unreadable;
        for (const Entry *e : {&m_control, &m_reset, &m_content}) {
            if (e->offset > quint64(m_size) || !within(m_dataOffset + e->offset, e->length))
                return Compression::Unreadable;
        }
        // The reset table: chmlib sizes its buffers by the block length,
        // cut to 32 bits, and reads blocks as long as the table says, so a
        // wrong one there overruns them.
        QByteArray reset;
        if (m_reset.length < 0x28 || !fetch(m_dataOffset + m_reset.offset, m_reset.length, &reset))
            return Compression::Unreadable;
        const quint64 blocks = le32(reset, 4);
        const quint64 tableOffset = le32(reset, 12);
        const quint64 uncompressed = le64(reset, 0x10);
        const quint64 compressed = le64(reset, 0x18);
        const quint64 blockLength = le64(reset, 0x20);
        if (le32(reset, 0) != 2 || blockLength != kLzxFrame || blocks == 0 || tableOffset < 0x28
            || tableOffset > m_reset.length || blocks > (m_reset.length - tableOffset) / 8
            || compressed > m_content.length || uncompressed > blocks * blockLength)
            return Compression::Unreadable;
        quint64 previous = 0;
        for (quint64 b = 0; b < blocks; ++b) {
            const quint64 start = le64(reset, qsizetype(tableOffset + b * 8));
            if (start < previous || start > compressed || (b == 0 && start != 0))
                return Compression::Unreadable;
            previous = start;
        }
        m_uncompressed = uncompressed;
        return Compression::Sound;
    }


    int m_fd;
    qint64 m_size;
    quint64 m_dataOffset = 0;
    quint64 m_uncompressed = 0;
    Entry m_control;
    Entry m_reset;
    Entry m_content;
    Entry m_ambiguousControl; // a second entry of the control data's name
    bool m_ambiguous = false;
};

bool isTopic(const QString &path)
{
    return helptext::topicKind(path) != helptext::TopicKind::Other;
}

} // namespace

ChmFile::~ChmFile()
{
    close();
}

ChmFile::ChmFile(ChmFile &&other) noexcept
    : m_handle(std::exchange(other.m_handle, nullptr)),
      m_fd(std::exchange(other.m_fd, -1)),
      m_fileName(std::move(other.m_fileName)),
      m_title(std::move(other.m_title)),
      m_defaultTopic(std::move(other.m_defaultTopic)),
      m_contentsFile(std::move(other.m_contentsFile)),
      m_indexFile(std::move(other.m_indexFile)),
      m_locale(other.m_locale),
      m_systemReadable(other.m_systemReadable),
      m_sectionLength(other.m_sectionLength)
{
}

ChmFile &ChmFile::operator=(ChmFile &&other) noexcept
{
    if (this != &other) {
        close();
        m_handle = std::exchange(other.m_handle, nullptr);
        m_fd = std::exchange(other.m_fd, -1);
        m_fileName = std::move(other.m_fileName);
        m_title = std::move(other.m_title);
        m_defaultTopic = std::move(other.m_defaultTopic);
        m_contentsFile = std::move(other.m_contentsFile);
        m_indexFile = std::move(other.m_indexFile);
        m_locale = other.m_locale;
        m_systemReadable = other.m_systemReadable;
        m_sectionLength = other.m_sectionLength;
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
    StructureCheck check(fd, st.st_size);
    if (!check.sound()) {
        ::close(fd);
        return false;
    }
    m_sectionLength = {check.plainLength(), check.compressedLength()};
    const QByteArray viaFd = "/proc/self/fd/" + QByteArray::number(fd);
    m_handle = chm_open(::access(viaFd.constData(), R_OK) == 0 ? viaFd.constData()
                                                              : QFile::encodeName(fileName).constData());
    if (!m_handle) {
        ::close(fd);
        return false;
    }
    m_fd = fd; // kept, so that reopen() gets this very file
    m_fileName = fileName;
    readSystem();
    return true;
}

ChmFile ChmFile::reopen() const
{
    ChmFile other;
    if (m_fd >= 0 && other.open(QStringLiteral("/proc/self/fd/%1").arg(m_fd)))
        other.m_fileName = m_fileName;
    return other;
}

void ChmFile::close()
{
    if (m_handle)
        chm_close(m_handle);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_handle = nullptr;
    m_fileName.clear();
    m_title.clear();
    m_defaultTopic.clear();
    m_contentsFile.clear();
    m_indexFile.clear();
    m_locale = 0;
    m_systemReadable = false;
    m_sectionLength = {};
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

    // An object must end inside its section; one that claims more is
    // damaged, however its length was written.
    const quint64 section = info.space == CHM_COMPRESSED ? m_sectionLength[1] : m_sectionLength[0];
    if (info.start > section || info.length > section - info.start || info.length > kMaxObject)
        return std::nullopt;

    // Grown as it is read, so a length that lies costs no more than the
    // bytes that are really there.
    QByteArray data;
    quint64 done = 0;
    while (done < info.length) {
        const quint64 step = std::min<quint64>(info.length - done, kReadStep);
        data.resize(qsizetype(done + step));
        const LONGINT64 got = chm_retrieve_object(
            m_handle, &info, reinterpret_cast<unsigned char *>(data.data()) + done, done, LONGINT64(step));
        if (got <= 0 || quint64(got) > step)
            return std::nullopt; // damaged file
        done += quint64(got);
    }
    data.resize(qsizetype(done));
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
    // A page in the root, else any topic there (a help file may hold no
    // more than a text).
    const QStringList all = files();
    for (const bool pagesOnly : {true, false}) {
        for (const QString &path : all) {
            if (path.indexOf(u'/', 1) < 0 && (pagesOnly ? helptext::topicKind(path) == helptext::TopicKind::Html
                                                         : isTopic(path))
                && read(path))
                return path;
        }
    }
    return {};
}

} // namespace kanaroll
