#include "tempworkdir.h"

#include <QDir>
#include <QFile>
#include <QtTest>

TempWorkDir::TempWorkDir() : m_oldDir(QDir::currentPath())
{
    QVERIFY2(m_dir.isValid(), "cannot make a temporary directory");
    QDir::setCurrent(m_dir.path());
}

TempWorkDir::~TempWorkDir()
{
    QDir::setCurrent(m_oldDir);
}

QByteArray TempWorkDir::read(const QString &name) const
{
    QFile f(filePath(name));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

void TempWorkDir::write(const QString &name, const QByteArray &bytes) const
{
    QFile f(filePath(name));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        f.write(bytes);
}

QString sourcePath(const QString &relative)
{
    return QDir(qEnvironmentVariable("KANAROLL_SOURCE_DIR", QStringLiteral(KANAROLL_SOURCE_DIR_DEFAULT)))
        .filePath(relative);
}
