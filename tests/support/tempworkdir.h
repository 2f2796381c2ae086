#pragma once

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>

// Makes a fresh temporary directory the working directory for one test and
// restores the old one afterwards; the program keeps its files in the working
// directory, so every test gets a clean one.
class TempWorkDir
{
public:
    TempWorkDir();
    ~TempWorkDir();
    TempWorkDir(const TempWorkDir &) = delete;
    TempWorkDir &operator=(const TempWorkDir &) = delete;

    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

    QByteArray read(const QString &name) const;
    void write(const QString &name, const QByteArray &bytes) const;

private:
    QString m_oldDir;
    QTemporaryDir m_dir;
};

// Path of a file in the source tree (test data, resources).
QString sourcePath(const QString &relative);
