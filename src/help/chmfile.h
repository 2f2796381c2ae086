#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

struct chmFile;

namespace kanaroll {

// Read access to a compiled HTML help file. Paths inside the file are
// absolute ("/index.htm", "/images/a.png") and matched without regard to case.
class ChmFile
{
public:
    ChmFile() = default;
    ~ChmFile();
    ChmFile(ChmFile &&other) noexcept;
    ChmFile &operator=(ChmFile &&other) noexcept;
    ChmFile(const ChmFile &) = delete;
    ChmFile &operator=(const ChmFile &) = delete;

    // False, with the object left closed, when the file is missing, is not a
    // regular file (a fifo or a device is never read) or is not a compiled
    // help file.
    bool open(const QString &fileName);
    void close();
    // The same file opened once more, with a handle of its own for another
    // thread (chmlib handles are not shared between threads); closed when
    // that fails.
    ChmFile reopen() const;
    bool isOpen() const { return m_handle != nullptr; }
    QString fileName() const { return m_fileName; }

    // The title and the default topic recorded by the help compiler. When
    // the file names no default topic (or names one it lacks or cannot
    // read), the topic is an index page in the root, else the first
    // readable page in the root, else the first other topic there (a text,
    // a picture); empty when there is none.
    QString title() const { return m_title; }
    QString defaultTopic() const { return m_defaultTopic; }
    // The table of contents (.hhc) and the index (.hhk) the compiler recorded,
    // or the first such file inside; empty when there is none.
    QString contentsFile() const { return m_contentsFile; }
    QString indexFile() const { return m_indexFile; }
    // The Windows locale the file was compiled for (0x0411 Japanese), 0 when
    // unrecorded; it says which code page undeclared text is in.
    quint32 locale() const { return m_locale; }
    // False when the compiler's own record (#SYSTEM) could not be read.
    bool systemReadable() const { return m_systemReadable; }

    bool contains(const QString &path) const;
    std::optional<QByteArray> read(const QString &path) const;

    // The content files: every object below "/" except the compiler's own
    // bookkeeping ("/#SYSTEM", "/$OBJINST", ...) and directories, sorted.
    QStringList files() const;

    // "index.htm", "./index.htm" and "/index.htm" all name "/index.htm".
    static QString normalizedPath(const QString &path);

private:
    void readSystem();
    QString findDefaultTopic(const QString &recorded) const;
    QString findSitemap(const QString &recorded, const QString &suffix) const;

    chmFile *m_handle = nullptr;
    int m_fd = -1;
    QString m_fileName;
    QString m_title;
    QString m_defaultTopic;
    QString m_contentsFile;
    QString m_indexFile;
    quint32 m_locale = 0;
    bool m_systemReadable = false;
    std::array<quint64, 2> m_sectionLength{}; // plain, compressed
};

} // namespace kanaroll
