#include "controls.h"

#include "twips.h"
#include "lists/namaelist.h"

#include <QKeyEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>
#include <QStyleOptionFrame>
#include <QStylePainter>
#include <QTextLayout>
#include <QValidator>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <limits>

namespace kanaroll {

PictureBox::PictureBox(QWidget *parent) : QWidget(parent)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setBackColor(const QColor &c)
{
    m_back = c;
    update();
}

void PictureBox::setDrawFont(const QFont &f)
{
    m_font = f;
    // Every digit must be exactly half an em, so rows stand centred under
    // the rows above them.
    m_font.setKerning(false);
    measureFont();
}

void PictureBox::measureFont()
{
    const QFontMetricsF fm(m_font, this);
    m_cellWidth = fm.maxWidth();
    m_cellHeight = fm.height();
}

void PictureBox::setFontSize(int points)
{
    if (m_font.pointSize() == points)
        return;
    m_font.setPointSize(points);
    measureFont();
    update();
}

void PictureBox::Cls()
{
    m_texts.clear();
    update();
}

double PictureBox::TextWidth(const QString &s) const
{
    const QFontMetricsF fm(m_font, const_cast<PictureBox *>(this));
    return fm.horizontalAdvance(s) * kTwipsPerPixel;
}

void PictureBox::Print(qint64 xTwips, qint64 yTwips, const QString &s)
{
    if (!m_texts.empty() && m_texts.back().x == xTwips && m_texts.back().y == yTwips
        && m_texts.back().text.size() <= s.size()) {
        m_texts.back().text = s; // the growing row drawn again in place
    } else {
        m_texts.push_back({xTwips, yTwips, s});
    }
    updateText(m_texts.back());
}

void PictureBox::setTexts(const std::vector<Text> &texts)
{
    std::size_t same = 0;
    while (same < texts.size() && same < m_texts.size() && texts[same] == m_texts[same])
        ++same;
    if (same == texts.size() && same == m_texts.size())
        return;
    if (m_texts.size() - same + texts.size() - same > 64) {
        update(); // a whole new triangle
    } else {
        for (std::size_t i = same; i < m_texts.size(); ++i)
            updateText(m_texts[i]);
        for (std::size_t i = same; i < texts.size(); ++i)
            updateText(texts[i]);
    }
    m_texts = texts;
}

void PictureBox::updateText(const Text &t)
{
    // Repaint only the string's cell; measured generously rather than shaped.
    update(QRectF(twipsToPixelsF(static_cast<double>(t.x)), twipsToPixelsF(static_cast<double>(t.y)),
                  m_cellWidth * static_cast<double>(t.text.size() + 1), m_cellHeight + 2)
               .toAlignedRect()
               .adjusted(-2, -2, 2, 2));
}

void PictureBox::paintEvent(QPaintEvent *event)
{
    QPainter p(this);
    p.fillRect(event->rect(), m_back);
    p.setPen(m_fore);
    p.setFont(m_font);
    const QFontMetricsF fm(m_font, this);
    const double h = fm.height();
    const double w = width();
    const double bottom = height();
    for (const Text &t : m_texts) {
        const double x = twipsToPixelsF(static_cast<double>(t.x));
        const double y = twipsToPixelsF(static_cast<double>(t.y));
        if (y >= bottom || x >= w)
            continue; // clipped: beyond the picture
        p.drawText(QRectF(x, y, fm.horizontalAdvance(t.text) + h, h), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                   t.text);
    }
}

LineControl::LineControl(const char *name, const QColor &color, QWidget *parent) : QWidget(parent), m_color(color)
{
    setObjectName(QString::fromLatin1(name));
    const LinePlace &l = lineOf(name);
    const QRect px = twipsToPixels(QRect(l.x1, l.y1, l.x2 - l.x1, l.y2 - l.y1));
    setGeometry(px.x(), px.y(), qMax(1, px.width() + 1), qMax(1, px.height() + 1));
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void LineControl::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), m_color);
}

void ClickLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    QLabel::mouseDoubleClickEvent(event);
    emit doubleClicked();
}

UprightLabel::UprightLabel(const QString &text, QWidget *parent) : QFrame(parent), m_text(text)
{
}

void UprightLabel::setText(const QString &text)
{
    m_text = text;
    update();
}

void UprightLabel::mouseDoubleClickEvent(QMouseEvent *event)
{
    QFrame::mouseDoubleClickEvent(event);
    emit doubleClicked();
}

void UprightLabel::paintEvent(QPaintEvent *event)
{
    QFrame::paintEvent(event);
    QPainter p(this);
    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    const QFontMetricsF fm(font());
    const QRectF area = contentsRect();
    // Close the lines up when the caption would not fit otherwise.
    const double count = static_cast<double>(qMax<qsizetype>(1, m_text.size()));
    const double line = qMin(fm.height(), area.height() / count);
    double y = area.top(); // text stands at the top, as in every label
    for (QChar ch : m_text) {
        p.drawText(QRectF(area.left(), y, area.width(), line), Qt::AlignHCenter | Qt::AlignTop, QString(ch));
        y += line;
    }
}

namespace {

// Drops line breaks from whatever reaches the box: typed, pasted, dropped or
// committed by an input method. A name is one line of its list file; a
// stored name never holds one, so a name put here from a list stays whole.
class NoLineBreaksValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override
    {
        if (std::none_of(input.cbegin(), input.cend(), isLineBreak))
            return Acceptable;
        const auto before = std::count_if(input.cbegin(), input.cbegin() + qBound(0, pos, int(input.size())), isLineBreak);
        input.removeIf(isLineBreak);
        pos = qMax(0, pos - int(before));
        return Acceptable;
    }
};

} // namespace

KeyPressEdit::KeyPressEdit(QWidget *parent)
    : QLineEdit(parent)
{
    setMaxLength(std::numeric_limits<int>::max());
    setValidator(new NoLineBreaksValidator(this));
    connect(this, &QLineEdit::textChanged, this, [this](const QString &t) { fitLength(t.size()); });
}

void KeyPressEdit::setText(const QString &text)
{
    if (text.size() > kLaidOutChars)
        fitLength(text.size()); // before the line edit takes it
    QLineEdit::setText(text);
}

void KeyPressEdit::fitLength(qsizetype length)
{
    const bool tooLong = length > kLaidOutChars;
    if (tooLong != drawsItself())
        setEchoMode(tooLong ? NoEcho : Normal);
}

void KeyPressEdit::paintEvent(QPaintEvent *event)
{
    if (!drawsItself()) {
        QLineEdit::paintEvent(event);
        return;
    }
    QPainter p(this);
    QStyleOptionFrame opt;
    initStyleOption(&opt);
    style()->drawPrimitive(QStyle::PE_PanelLineEdit, &opt, &p, this);
    const QRect area = style()->subElementRect(QStyle::SE_LineEditContents, &opt, this).adjusted(2, 1, -2, -1);

    // The characters around the cursor, an ellipsis where the text goes on.
    constexpr qsizetype kAround = 1000;
    const QString &all = text();
    const qsizetype cursor = cursorPosition();
    qsizetype from = qMax<qsizetype>(0, cursor - kAround);
    qsizetype to = qMin(all.size(), cursor + kAround);
    if (from > 0 && all.at(from).isLowSurrogate())
        ++from;
    if (to < all.size() && all.at(to).isLowSurrogate())
        --to;
    const QString head = from > 0 ? QStringLiteral("…") : QString();
    QString shown = head;
    shown += QStringView(all).sliced(from, to - from);
    if (to < all.size())
        shown += u'…';
    QTextLayout layout(shown, font());
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    const int cursorAt = int(head.size() + cursor - from);
    const qreal cursorX = line.cursorToX(cursorAt);
    // The cursor stays in sight, at the right edge when the text goes on.
    const qreal x = cursorX < area.width() - 1 ? area.left() : area.left() + area.width() - 1 - cursorX;
    const QPointF origin(x, area.top() + (area.height() - line.height()) / 2);

    QList<QTextLayout::FormatRange> selection;
    if (hasSelectedText()) {
        const qsizetype s0 = qBound<qsizetype>(0, selectionStart() - from, to - from);
        const qsizetype s1 = qBound<qsizetype>(0, selectionEnd() - from, to - from);
        QTextLayout::FormatRange r;
        r.start = int(head.size() + s0);
        r.length = int(s1 - s0);
        r.format.setBackground(palette().brush(QPalette::Highlight));
        r.format.setForeground(palette().brush(QPalette::HighlightedText));
        selection.append(r);
    }
    p.setClipRect(area);
    p.setPen(palette().color(QPalette::Text));
    layout.draw(&p, origin, selection);
    if (hasFocus())
        layout.drawCursor(&p, origin, cursorAt);
}

void KeyPressEdit::keyPressEvent(QKeyEvent *event)
{
    int code = 0;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        code = 13;
    else if (!event->text().isEmpty())
        code = event->text().front().unicode();
    if (code != 0 && onKeyPress && onKeyPress(code)) {
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void WrapButton::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    opt.text.clear();
    p.drawControl(QStyle::CE_PushButton, opt);
    const QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &opt, this);
    p.setPen(palette().color(QPalette::ButtonText));
    p.drawText(area, Qt::AlignCenter | Qt::TextWordWrap, text());
}

void OptionButton::paintEvent(QPaintEvent *)
{
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QString caption = opt.text;
    const int textWidth = qCeil(QFontMetricsF(font()).horizontalAdvance(caption));
    const QRect styled = style()->subElementRect(QStyle::SE_RadioButtonIndicator, &opt, this);
    const int spacing = style()->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, &opt, this);
    int side = qMin(qMin(styled.width(), styled.height()), height());
    const int gap = qBound(2, width() - side - textWidth, qMax(2, spacing));
    side = qBound(qMin(8, side), width() - gap - textWidth, side);
    opt.rect = QRect(0, (height() - side) / 2, side, side);
    opt.text.clear();
    p.drawPrimitive(QStyle::PE_IndicatorRadioButton, opt);
    const QRect textArea(side + gap, 0, width() - side - gap, height());
    p.drawItemText(textArea, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextShowMnemonic, palette(), isEnabled(), caption,
                   QPalette::WindowText);
    if (hasFocus()) {
        QStyleOptionFocusRect focus;
        focus.initFrom(this);
        focus.rect = textArea.adjusted(-1, 0, 0, 0);
        focus.rect.setWidth(qMin(textWidth + 2, focus.rect.width()));
        p.drawPrimitive(QStyle::PE_FrameFocusRect, focus);
    }
}

namespace {

double luminance(const QColor &c)
{
    const auto channel = [](double v) { return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4); };
    return 0.2126 * channel(c.redF()) + 0.7152 * channel(c.greenF()) + 0.0722 * channel(c.blueF());
}

} // namespace

double contrastRatio(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (qMax(la, lb) + 0.05) / (qMin(la, lb) + 0.05);
}

} // namespace kanaroll
