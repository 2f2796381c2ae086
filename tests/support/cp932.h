#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// Bytes of a name in code page 932, as the list and result files hold it.
QByteArray sjis(const QString &s);

// A list file: each name in code page 932 followed by CR LF.
QByteArray listFile(const QStringList &names);
