// The window on the accessibility bus.

#include "access.h"

#include "mainwindow.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFocusFrame>
#include <QLocale>
#include <QMenu>

#include <algorithm>

namespace kanaroll {

namespace {

constexpr char kDecorative[] = "kanarollDecorative"; // left out of the tree
constexpr char kKind[] = "kanarollAccess";           // which interface below
constexpr char kFaceName[] = "kanarollFace";
constexpr char kAnnouncer[] = "kanarollAnnouncer";

enum Kind { None, Container, CoveredText, FaceImage, Drawing, Upright, Announcer };

Kind kindOf(const QObject *o)
{
    return static_cast<Kind>(o->property(kKind).toInt());
}

// Under a frame shown over it (the banner over the result, the grid frame
// over the drawing), a control cannot be seen though it is not hidden.
bool covered(const QWidget *w)
{
    const QWidget *parent = w->parentWidget();
    if (!parent)
        return false;
    const QObjectList &siblings = parent->children();
    for (qsizetype i = siblings.indexOf(const_cast<QWidget *>(w)) + 1; i < siblings.size(); ++i) {
        const auto *s = qobject_cast<const QWidget *>(siblings.at(i));
        if (s && !s->isHidden() && !s->isWindow() && s->geometry().contains(w->geometry()))
            return true;
    }
    return false;
}

QList<QWidget *> shownChildren(const QWidget *w)
{
    QList<QWidget *> kids;
    for (QObject *o : w->children()) {
        auto *c = qobject_cast<QWidget *>(o);
        if (!c || c->isWindow() || c->property(kDecorative).toBool() || qobject_cast<QMenu *>(c)
            || qobject_cast<QFocusFrame *>(c) || c->objectName() == QLatin1String("qt_rubberband"))
            continue;
        kids.append(c);
    }
    return kids;
}

// A window or frame whose decorative pictures and rules are left out.
class ContainerAccessible : public QAccessibleWidget
{
public:
    ContainerAccessible(QWidget *w, QAccessible::Role role) : QAccessibleWidget(w, role) {}
    int childCount() const override { return int(shownChildren(widget()).size()); }
    QAccessibleInterface *child(int index) const override
    {
        const QList<QWidget *> kids = shownChildren(widget());
        return index >= 0 && index < kids.size() ? QAccessible::queryAccessibleInterface(kids.at(index)) : nullptr;
    }
    int indexOfChild(const QAccessibleInterface *child) const override
    {
        return child && child->object() ? int(shownChildren(widget()).indexOf(qobject_cast<QWidget *>(child->object())))
                                        : -1;
    }
};

// A label or picture that may lie under a cover: not showing while it does.
class CoverableAccessible : public QAccessibleWidget
{
public:
    CoverableAccessible(QWidget *w, QAccessible::Role role) : QAccessibleWidget(w, role) {}
    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        const auto *label = qobject_cast<const QLabel *>(widget());
        // An empty caption shows nothing.
        if (covered(widget()) || (kindOf(widget()) == CoveredText && label && label->text().isEmpty()))
            s.offscreen = true;
        return s;
    }
    QString text(QAccessible::Text t) const override
    {
        if (t != QAccessible::Name)
            return QAccessibleWidget::text(t);
        if (!widget()->accessibleName().isEmpty())
            return widget()->accessibleName();
        if (kindOf(widget()) == FaceImage)
            return widget()->property(kFaceName).toString();
        if (auto *l = qobject_cast<QLabel *>(widget()))
            return l->text();
        return QString();
    }
};

// The drawing of the fortune, read as text.
class DrawingAccessible : public CoverableAccessible, public QAccessibleTextInterface
{
public:
    explicit DrawingAccessible(QWidget *w) : CoverableAccessible(w, QAccessible::StaticText) {}

    void *interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        return CoverableAccessible::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Description)
            return reading();
        return CoverableAccessible::text(t);
    }

    // QAccessibleTextInterface: read-only text without a caret.
    void selection(int, int *start, int *end) const override { *start = *end = 0; }
    int selectionCount() const override { return 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    QString text(int start, int end) const override
    {
        const QString all = reading();
        start = qBound(0, start, int(all.size()));
        end = end < 0 ? int(all.size()) : qBound(start, end, int(all.size()));
        return all.mid(start, end - start);
    }
    int characterCount() const override { return int(reading().size()); }
    QRect characterRect(int) const override { return QRect(); }
    int offsetAtPoint(const QPoint &) const override { return -1; }
    void scrollToSubstring(int, int) override {}
    QString attributes(int offset, int *start, int *end) const override
    {
        *start = 0;
        *end = qMax(offset, 0);
        return QString();
    }

private:
    QString reading() const
    {
        const auto *w = qobject_cast<const MainWindow *>(widget()->window());
        return w ? fortuneReading(*w) : QString();
    }
};

// An upright caption over a list: text, and the list it names.
class UprightAccessible : public QAccessibleWidget
{
public:
    explicit UprightAccessible(UprightLabel *w) : QAccessibleWidget(w, QAccessible::StaticText) {}
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name)
            return static_cast<UprightLabel *>(widget())->text();
        return QAccessibleWidget::text(t);
    }
    QList<QPair<QAccessibleInterface *, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override
    {
        auto rels = QAccessibleWidget::relations(match);
        QWidget *buddy = static_cast<UprightLabel *>(widget())->buddy();
        if ((match & QAccessible::Labelled) && buddy)
            rels.append({QAccessible::queryAccessibleInterface(buddy), QAccessible::Labelled});
        return rels;
    }
};

QAccessibleInterface *factory(const QString &, QObject *object)
{
    auto *w = qobject_cast<QWidget *>(object);
    if (!w)
        return nullptr;
    switch (kindOf(w)) {
    case Container:
        return new ContainerAccessible(w, w->isWindow() ? QAccessible::Window : QAccessible::Grouping);
    case CoveredText:
        return new CoverableAccessible(w, QAccessible::StaticText);
    case FaceImage:
        return new CoverableAccessible(w, QAccessible::Graphic);
    case Drawing:
        return new DrawingAccessible(w);
    case Upright:
        if (auto *u = qobject_cast<UprightLabel *>(w))
            return new UprightAccessible(u);
        return nullptr;
    case Announcer:
        return new QAccessibleWidget(w, QAccessible::Notification);
    case None:
        break;
    }
    return nullptr;
}

void setKind(QWidget *w, Kind kind)
{
    w->setProperty(kKind, int(kind));
    // An interface made before (a caption set while the control was made)
    // gives way to the one for its kind.
    if (QAccessibleInterface *made = QAccessible::queryAccessibleInterface(w))
        QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
}

} // namespace

QString fortuneReading(const MainWindow &w)
{
    QStringList lines;
    if (!w.lblCp->text().isEmpty())
        lines << w.lblCp->text();
    // Rows drawn again in place are one entry; the list is in drawing order,
    // which is top to bottom.
    for (const PictureBox::Text &t : w.Picture1->texts())
        lines << t.text;
    if (w.fraHide1->isHidden() && !w.lblKekka->text().isEmpty())
        lines << w.lblKekka->text();
    return lines.join(u'\n');
}

void setUpAccessibility(MainWindow &w)
{
    QAccessible::installFactory(factory);

    setKind(&w, Container);
    setKind(w.fraHide1, Container);
    w.fraHide1->setAccessibleName(QStringLiteral("二人の相性は…"));
    for (QWidget *d : {static_cast<QWidget *>(w.Image1), static_cast<QWidget *>(w.Image2),
                       static_cast<QWidget *>(w.Line1(1)), static_cast<QWidget *>(w.Line1(2)),
                       static_cast<QWidget *>(w.Line2(0)), static_cast<QWidget *>(w.Line2(1))})
        d->setProperty(kDecorative, true);

    w.Frame2->setAccessibleName(QStringLiteral("名前とリスト"));
    w.fraIchiran->setAccessibleName(QStringLiteral("一括の結果"));
    w.msgList->setAccessibleName(QStringLiteral("結果一覧"));

    w.txtNamae1->setAccessibleName(QStringLiteral("自分"));
    w.txtNamae2->setAccessibleName(QStringLiteral("相手"));
    w.Label1(0)->setBuddy(w.txtNamae1);
    w.Label1(1)->setBuddy(w.txtNamae2);
    w.lstJibun->setAccessibleName(QStringLiteral("自分リスト"));
    w.lstAite->setAccessibleName(QStringLiteral("相手リスト"));
    w.lblJlist->setBuddy(w.lstJibun);
    w.lblAlist->setBuddy(w.lstAite);
    setKind(w.lblJlist, Upright);
    setKind(w.lblAlist, Upright);
    w.cmdKoukan->setAccessibleName(QStringLiteral("入れ替え"));

    // The small buttons by what they do, as their tool tips say.
    w.cmdNaz->setAccessibleName(QStringLiteral("名前で昇順"));
    w.cmdNza->setAccessibleName(QStringLiteral("名前で降順"));
    w.cmdKza->setAccessibleName(QStringLiteral("相性度の高い順"));
    w.cmdKaz->setAccessibleName(QStringLiteral("相性度の低い順"));
    w.cmdIHozon->setAccessibleName(QStringLiteral("保存"));
    w.cmdIPrint->setAccessibleName(QStringLiteral("印刷"));

    // Faces by their meaning, as the help's table names them.
    for (int i = 1; i <= 3; ++i) {
        const std::pair<QLabel *, const char16_t *> faces[] = {
            {w.imgwara(i), u"大笑い"}, {w.imgniko(i), u"にっこり"}, {w.imgkana(i), u"しょんぼり"}};
        for (const auto &[face, name] : faces) {
            setKind(face, FaceImage);
            face->setProperty(kFaceName, QString::fromUtf16(name));
        }
    }
    setKind(w.lblKekka, CoveredText);
    setKind(w.lblCp, CoveredText);
    setKind(w.Picture1, Drawing);
    w.Picture1->setAccessibleName(QStringLiteral("占いの図"));

    // Screen readers speak a notification as it appears, but pass over a
    // label whose text changes away from the focus. It takes no room, input
    // or focus, and stays hidden until the first result.
    auto *announcer = new QWidget(&w);
    announcer->setObjectName(QLatin1String(kAnnouncer));
    announcer->setGeometry(0, 0, 0, 0);
    announcer->setFocusPolicy(Qt::NoFocus);
    announcer->setAttribute(Qt::WA_TransparentForMouseEvents);
    announcer->hide();
    setKind(announcer, Announcer);
}

namespace {

void announce(MainWindow &w, const QString &text)
{
    auto *a = w.findChild<QWidget *>(QLatin1String(kAnnouncer), Qt::FindDirectChildrenOnly);
    if (!a)
        return;
    // Shown anew, it is spoken anew, also when the text is the same.
    a->hide();
    a->setAccessibleName(text);
    a->show();
}

} // namespace

void announceFortune(MainWindow &w)
{
    QStringList parts{w.lblKekka->text()};
    for (int i = 1; i <= 3; ++i) {
        for (QLabel *face : {w.imgwara(i), w.imgniko(i), w.imgkana(i)}) {
            if (!face->isHidden()) {
                parts << face->property(kFaceName).toString();
                break;
            }
        }
    }
    announce(w, parts.join(u'、'));
}

void announceBatch(MainWindow &w, qsizetype rows)
{
    announce(w, QStringLiteral("一括の結果、%1件").arg(QLocale(QLocale::Japanese).toString(rows)));
}

void accessibilityDisplayChanged(MainWindow &w, bool uncovered)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleEvent drawing(w.Picture1, QAccessible::DescriptionChanged);
    QAccessible::updateAccessibility(&drawing);
    if (!uncovered)
        return;
    QAccessible::State showing;
    showing.offscreen = true;
    for (QWidget *c : w.fraHide1->parentWidget()->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (c->geometry().intersects(w.fraHide1->geometry()) && c != w.fraHide1 && !c->isHidden()) {
            QAccessibleStateChangeEvent e(c, showing);
            QAccessible::updateAccessibility(&e);
        }
    }
    // The result is heard once it can be seen.
    QAccessibleEvent result(w.lblKekka, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&result);
}

} // namespace kanaroll
