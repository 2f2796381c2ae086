#pragma once

#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QStringEncoder>
#include <QStringList>

// Distinct random kana names of minLen to maxLen characters, the same for a seed.
inline QStringList randomNames(int count, int minLen, int maxLen, quint32 seed)
{
    static const QString kana = QStringLiteral("あいうえおかきくけこさしすせそたちつてとなにぬねのはひふへほまみむめもやゆよらりるれろわん");
    QRandomGenerator rng(seed);
    QStringList names;
    QSet<QString> seen;
    names.reserve(count);
    while (names.size() < count) {
        QString n;
        const int len = rng.bounded(minLen, maxLen + 1);
        for (int i = 0; i < len; ++i)
            n += kana.at(rng.bounded(static_cast<int>(kana.size())));
        if (!seen.contains(n)) {
            seen.insert(n);
            names << n;
        }
    }
    return names;
}

// A list file as the program writes it: code page 932, CR LF.
inline void writeList(const QString &file, const QStringList &names)
{
    QStringEncoder enc("windows-31j");
    QByteArray bytes;
    for (const QString &n : names)
        bytes += QByteArray(enc.encode(n)) + "\r\n";
    QFile f(file);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}
