#include "buttonkeys.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QKeyEvent>

namespace kanaroll {

namespace {

// Hands Enter to the button as the Space key, so that the button's own
// handling of Space (down on press, click on release, none on auto-repeat)
// serves both keys.
class EnterAsSpace : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease)
            return false;
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_Return && key->key() != Qt::Key_Enter)
            return false;
        QKeyEvent space(key->type(), Qt::Key_Space, key->modifiers(), QStringLiteral(" "), key->isAutoRepeat(),
                        static_cast<quint16>(key->count()));
        QCoreApplication::sendEvent(watched, &space);
        key->setAccepted(space.isAccepted());
        return true;
    }
};

} // namespace

void pressOnEnter(QAbstractButton *button)
{
    button->installEventFilter(new EnterAsSpace(button));
}

} // namespace kanaroll
