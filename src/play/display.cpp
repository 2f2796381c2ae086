#include "play/display.h"

#include "engine/aisho.h"

namespace kanaroll {

namespace {

// Characters of a name: a surrogate pair is one. Counted in place, since a
// batch asks for every pair.
qsizetype codePointCount(QStringView s)
{
    qsizetype n = s.size();
    for (qsizetype i = 0; i + 1 < s.size(); ++i) {
        if (s[i].isHighSurrogate() && s[i + 1].isLowSurrogate()) {
            --n;
            ++i;
        }
    }
    return n;
}

QString latin1(std::string_view s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace

std::uint8_t faceBit(Face f)
{
    switch (f) {
    case Face::Wara:
        return kWaraBit;
    case Face::Niko:
        return kNikoBit;
    case Face::Kana:
        return kKanaBit;
    }
    return kNoFace;
}

void DisplayState::print(qint64 x, qint64 y, QString s)
{
    if (!texts.empty() && texts.back().x == x && texts.back().y == y && texts.back().text.size() <= s.size())
        texts.back().text = std::move(s);
    else
        texts.push_back({x, y, std::move(s)});
}

void KaoHide(DisplayState &s)
{
    s.faces.fill(kNoFace);
}

PlayOutcome playFortune(DisplayState &s, int pictureWidthTwips, int pictureHeightTwips, const PlayHooks &hooks)
{
    const QString self = s.name1;
    const QString partner = s.name2;
    if (self.isEmpty() || partner.isEmpty()) {
        hooks.message(PlayMessage::EmptyName);
        return {PlayOutcome::EmptyName, -1};
    }

    s.ichiranShown = false;
    s.covered = true;
    KaoHide(s);
    s.cls();
    s.pair = self + QStringLiteral(" _ ") + partner;

    const LayoutBand band = layoutBand(codePointCount(self) + codePointCount(partner));
    s.fontSize = band.fontSize;

    // One row at a time: the drawing needs only the row it draws, and a long
    // pair's whole triangle would not fit in memory.
    static thread_local AishoRows rows; // reused: a batch calls this for every pair
    if (!rows.start(std::u16string_view(reinterpret_cast<const char16_t *>(self.utf16()), static_cast<std::size_t>(self.size())),
                    std::u16string_view(reinterpret_cast<const char16_t *>(partner.utf16()),
                                        static_cast<std::size_t>(partner.size())))) {
        hooks.message(PlayMessage::Refused);
        s.pair.clear();
        return {PlayOutcome::Refused, -1};
    }

    const QString row0 = latin1(rows.row());
    const std::int64_t x0 = rowZeroX(pictureWidthTwips, hooks.textWidth(band.fontSize, row0));
    s.print(x0, 0, row0);

    while (rows.next()) {
        const std::string_view row = rows.row();
        const RowPos pos = rowPosition(static_cast<std::int64_t>(rows.rowIndex()), band, x0);
        const bool seen = pos.y < pictureHeightTwips;
        std::size_t drawn = 0;
        while (drawn < row.size()) {
            if (hooks.animated()) {
                // One digit more, then the pause.
                ++drawn;
                if (seen)
                    s.print(pos.x, pos.y, latin1(row.substr(0, drawn)));
            } else {
                // Nothing is shown between digits without a pause, so the
                // rest of the row goes at once.
                drawn = row.size();
                if (seen)
                    s.print(pos.x, pos.y, latin1(row));
            }
            if (!hooks.pause())
                return {PlayOutcome::Aborted, -1};
        }
    }

    const int pct = rows.percentage();
    s.kekka = QString::number(pct) + QLatin1Char('%');
    const std::array<Face, 3> faces = facesFor(pct);
    for (std::size_t slot = 0; slot < 3; ++slot)
        s.faces[slot] = faceBit(faces[slot]);
    s.covered = false;
    return {PlayOutcome::Shown, pct};
}

} // namespace kanaroll
