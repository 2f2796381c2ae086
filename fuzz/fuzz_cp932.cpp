// A name that code page 932 is said to hold must come back unchanged from
// the file encoding; for any other the reported position must be right.
#include "lists/namaelist.h"

#include <QString>
#include <QStringDecoder>
#include <QStringEncoder>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

using namespace kanaroll;

namespace {

void check(bool ok, const char *what, const QString &name)
{
    if (!ok) {
        std::fprintf(stderr, "invariant broken: %s\nname (UTF-16):", what);
        for (QChar c : name)
            std::fprintf(stderr, " %04X", c.unicode());
        std::fprintf(stderr, "\n");
        std::abort();
    }
}

bool encodes(QStringView s)
{
    QStringEncoder enc("windows-31j", QStringConverter::Flag::Stateless);
    const QByteArray b = enc.encode(s);
    return !enc.hasError();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Raw UTF-16, so any code unit (lone surrogates too) can appear.
    const QString name = QString(reinterpret_cast<const QChar *>(data), static_cast<qsizetype>(size / 2));

    const qsizetype unheld = cp932FirstUnheld(name);
    if (unheld < 0) {
        QStringEncoder enc("windows-31j", QStringConverter::Flag::Stateless);
        const QByteArray bytes = enc.encode(name);
        check(!enc.hasError(), "held name encodes without error", name);
        QStringDecoder dec("windows-31j", QStringConverter::Flag::Stateless);
        const QString back = dec.decode(bytes);
        check(!dec.hasError(), "held name decodes without error", name);
        check(back == name, "held name survives encode and decode", name);
        return 0;
    }
    check(unheld < name.size(), "unheld position inside the name", name);
    const QString ch = characterAt(name, unheld);
    check(!ch.isEmpty(), "a character at the unheld position", name);
    check(!encodes(ch), "the reported character cannot be held", name);
    check(encodes(QStringView(name).first(unheld)), "everything before it can", name);
    return 0;
}
