#pragma once

#include "play/display.h"

#include <QColor>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>
#include <QWidget>

#include <array>
#include <functional>
#include <vector>

namespace kanaroll {

// An indexed group of controls: one name, members told apart by an index
// from First to Last, as the handlers receive it.
template<typename T, int First, int Last>
class ControlArray
{
public:
    T &operator()(int index) { return m_items.at(static_cast<std::size_t>(index - First)); }
    const T &operator()(int index) const { return m_items.at(static_cast<std::size_t>(index - First)); }
    static constexpr int lbound() { return First; }
    static constexpr int ubound() { return Last; }

private:
    std::array<T, Last - First + 1> m_items{};
};

// The drawing area of a fortune. Text is placed in twips with the top-left of
// its cell at the given point. The drawing is kept as a list of strings and
// replayed on every paint, so it survives being covered and stays crisp at any
// device pixel ratio; drawing a string again at the same place replaces it.
class PictureBox : public QWidget
{
    Q_OBJECT
public:
    using Text = PlacedText; // x and y in twips

    explicit PictureBox(QWidget *parent = nullptr);

    void setForeColor(const QColor &c) { m_fore = c; }
    void setBackColor(const QColor &c);
    void setDrawFont(const QFont &f);
    QFont drawFont() const { return m_font; }
    void setFontSize(int points);

    void Cls();
    double TextWidth(const QString &s) const; // twips, in the current font
    int widthTwips() const { return m_widthTwips; }
    void setWidthTwips(int w) { m_widthTwips = w; }
    void Print(qint64 xTwips, qint64 yTwips, const QString &s);
    // Takes on a whole drawing, repainting only the strings that changed.
    void setTexts(const std::vector<Text> &texts);

    const std::vector<Text> &texts() const { return m_texts; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void measureFont();
    void updateText(const Text &t);

    QColor m_fore;
    QColor m_back;
    QFont m_font;
    double m_cellWidth = 0;  // widest character of the font, px
    double m_cellHeight = 0; // line height, px
    int m_widthTwips = 0;
    std::vector<Text> m_texts;
};

// A line control: a one-pixel rule painted on its container.
class LineControl : public QWidget
{
    Q_OBJECT
public:
    LineControl(const char *name, const QColor &color, QWidget *parent);
    QColor color() const { return m_color; }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_color;
};

// A label that reports double-clicks.
class ClickLabel : public QLabel
{
    Q_OBJECT
public:
    using QLabel::QLabel;
signals:
    void doubleClicked();

protected:
    void mouseDoubleClickEvent(QMouseEvent *event) override;
};

// A one-character-wide label whose caption stands upright, one character
// per line, and which reports double-clicks.
class UprightLabel : public QFrame
{
    Q_OBJECT
public:
    explicit UprightLabel(const QString &text, QWidget *parent = nullptr);
    QString text() const { return m_text; }
    void setText(const QString &text);
    // The control the caption names.
    void setBuddy(QWidget *buddy) { m_buddy = buddy; }
    QWidget *buddy() const { return m_buddy; }
signals:
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;

private:
    QString m_text;
    QPointer<QWidget> m_buddy;
};

// An entry box with a key-press hook that sees Enter as character code 13
// and may cancel the key.
class KeyPressEdit : public QLineEdit
{
    Q_OBJECT
public:
    // Holds a name of any length: a line edit would cut it at 32,767
    // characters, and the fortune would then tell another name than the list's.
    explicit KeyPressEdit(QWidget *parent = nullptr);
    // Returns true to cancel the key.
    std::function<bool(int keyAscii)> onKeyPress;

    // A text longer than this is held whole but not laid out (millions of
    // characters would freeze the window): the box draws the characters
    // around the cursor with ellipses. Typing, Backspace, Home, End and
    // select-all work on the whole text; the arrow keys stay.
    static constexpr qsizetype kLaidOutChars = 10000;
    // Hides QLineEdit::setText, so a long text is never laid out first.
    void setText(const QString &text);
    bool drawsItself() const { return echoMode() == NoEcho; }

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    void fitLength(qsizetype length);
};

// A push button whose caption wraps within its width.
class WrapButton : public QPushButton
{
    Q_OBJECT
public:
    using QPushButton::QPushButton;

protected:
    void paintEvent(QPaintEvent *event) override;
};

// An option button whose caption is never cut in its fixed box: where a
// style's indicator and spacing leave too little room, the spacing and then
// the indicator give way, never the caption.
class OptionButton : public QRadioButton
{
    Q_OBJECT
public:
    using QRadioButton::QRadioButton;

protected:
    void paintEvent(QPaintEvent *event) override;
    bool hitButton(const QPoint &pos) const override { return rect().contains(pos); }
};

// WCAG contrast ratio of two colours, 1 to 21.
double contrastRatio(const QColor &a, const QColor &b);

} // namespace kanaroll
