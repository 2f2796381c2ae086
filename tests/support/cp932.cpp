#include "cp932.h"

#include <QStringEncoder>

QByteArray sjis(const QString &s)
{
    QStringEncoder enc("windows-31j");
    QByteArray b = enc.encode(s);
    Q_ASSERT(!enc.hasError());
    return b;
}

QByteArray listFile(const QStringList &names)
{
    QByteArray b;
    for (const QString &n : names)
        b += sjis(n) + "\r\n";
    return b;
}
