#pragma once

#include "lists/namaelist.h"

#include <QString>

// Every text the name lists show: the file names, the delete questions and
// the warnings. Bodies of two sentences are joined by two line breaks.
namespace kanaroll::namaetext {

// What is drawn of a name: a longer one shows its first characters and an
// ellipsis (laying out millions of characters would freeze the window); the
// name itself always stays whole.
inline constexpr qsizetype kShownChars = 1000;
inline QString shown(const QString &name)
{
    if (name.size() <= kShownChars)
        return name;
    const qsizetype n = name.at(kShownChars - 1).isHighSurrogate() ? kShownChars - 1 : kShownChars;
    return name.left(n) + u'…';
}

inline const QString jibunFile = QStringLiteral("自分.txt");
inline const QString aiteFile = QStringLiteral("相手.txt");

inline const QString deleteTitle = QStringLiteral("削除確認");
inline const QString clearBodyJibun = QStringLiteral("自分リスト全てを削除します");
inline const QString clearBodyAite = QStringLiteral("相手リスト全てを削除します");
inline QString deleteBody(const QString &name)
{
    return QStringLiteral("『") + shown(name) + QStringLiteral("』をリストから削除します");
}

inline const QString paragraph = QStringLiteral("\r\n\r\n");

// Warnings about the list files and about characters they cannot hold.
inline const QString fileTitle = QStringLiteral("ファイル確認");
inline const QString charTitle = QStringLiteral("文字確認");

inline QString readFailed(const QString &file)
{
    return QStringLiteral("リストファイル <%1>を読み込めませんでした。").arg(file);
}
inline QString damagedLines(const QString &file)
{
    return QStringLiteral("リストファイル <%1>に読み込めない行がありました。").arg(file);
}
inline QString writeFailed(const QString &file)
{
    return QStringLiteral("リストファイル <%1>に書き込めませんでした。").arg(file);
}
inline QString notRegular(const QString &file)
{
    return QStringLiteral("リストファイル <%1>は通常のファイルではありません。").arg(file);
}
inline QString tooLarge(const QString &file)
{
    return QStringLiteral("リストファイル <%1>は大きすぎて読み込めません。").arg(file);
}
inline QString lockBusy(const QString &file)
{
    return QStringLiteral("リストファイル <%1>はほかのプログラムが変更中です。").arg(file);
}
inline QString tooManyNames(const QString &file)
{
    return QStringLiteral("リストファイル <%1>の名前が%2件を超えています。").arg(file).arg(kNamaeListMaxNames);
}
inline QString listFull(const QString &file)
{
    return QStringLiteral("リストファイル <%1>にはこれ以上名前を追加できません（%2件まで）。").arg(file).arg(kNamaeListMaxNames);
}
// One character as a message names it: an invisible one (a control, a
// format or direction mark, a space other than the plain one, a lone
// combining mark, an unassigned code point) by its code point, U+200F.
inline QString shownChar(const QString &ch)
{
    if (ch.isEmpty())
        return ch;
    const char32_t cp = ch.size() == 2 && ch[0].isHighSurrogate() && ch[1].isLowSurrogate()
        ? QChar::surrogateToUcs4(ch[0], ch[1])
        : ch[0].unicode();
    switch (QChar::category(cp)) {
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
    case QChar::Other_PrivateUse:
    case QChar::Other_NotAssigned:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_Enclosing:
    case QChar::Mark_SpacingCombining:
        break;
    case QChar::Separator_Space:
        if (cp == U' ')
            return ch;
        break;
    default:
        if (!(cp >= 0xFE00 && cp <= 0xFE0F) && !(cp >= 0xE0100 && cp <= 0xE01EF))
            return ch;
    }
    return QStringLiteral("U+%1").arg(uint(cp), cp > 0xFFFF ? 5 : 4, 16, QLatin1Char('0')).toUpper();
}

inline QString unheldChar(const QString &name, const QString &ch, const QString &file)
{
    return QStringLiteral("『%1』の「%2」はリストファイル <%3>に保存できない文字です。").arg(shown(name), shownChar(ch), file);
}

// Second sentences: what became of the list.
inline const QString startedEmpty =
    QStringLiteral("リストを空にして始めます。リストを変更すると、このファイルは書き換えられます。");
inline const QString leftAlone = QStringLiteral("リストを空にして始めます。このファイルには書き込みません。");
inline QString cappedKept()
{
    return QStringLiteral("最初の%1件だけをリストに入れました。リストから削除すると、残りの名前はファイルから消えます。")
        .arg(kNamaeListMaxNames);
}
inline const QString damagedKept =
    QStringLiteral("読み込めた名前だけをリストに入れました。リストを変更すると、読み込めなかった行はファイルから消えます。");
inline QString notAdded(const QString &name)
{
    return QStringLiteral("『%1』はリストに追加していません。").arg(shown(name));
}
inline QString stillListed(const QString &name)
{
    return QStringLiteral("『%1』はリストに残してあります。").arg(shown(name));
}
inline const QString listKept = QStringLiteral("リストはそのまま残してあります。");

} // namespace kanaroll::namaetext
