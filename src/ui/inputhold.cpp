#include "inputhold.h"

#include <QApplication>
#include <QDragMoveEvent>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>

// Held events are handed on as the window system's own, so that a click
// still gives the focus as a real click does; the toolkit's test library
// does the same, with this very class.
class QSpontaneKeyEvent
{
public:
    static inline void setSpontaneous(QEvent *ev)
    {
        ev->setSpontaneous();
    }
};

namespace kanaroll {

namespace {

bool isMouse(QEvent::Type t)
{
    return t == QEvent::MouseButtonPress || t == QEvent::MouseButtonRelease || t == QEvent::MouseButtonDblClick
           || t == QEvent::MouseMove;
}

bool isHeldInput(QEvent::Type t)
{
    switch (t) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::InputMethod:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TouchCancel:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
    case QEvent::NativeGesture:
        return true;
    default:
        return false;
    }
}

} // namespace

InputHold::InputHold(QWidget *window, std::function<bool(const QWidget *)> passes)
    : QObject(window)
    , m_window(window)
    , m_passes(std::move(passes))
{
    qApp->installEventFilter(this);
}

InputHold::~InputHold()
{
    qApp->removeEventFilter(this);
}

void InputHold::hold()
{
    m_holding = true;
}

void InputHold::release()
{
    if (!m_holding || m_replayPosted)
        return;
    m_replayPosted = true;
    QMetaObject::invokeMethod(this, &InputHold::replay, Qt::QueuedConnection);
}

void InputHold::drop()
{
    m_held.clear();
    m_holding = false;
}

bool InputHold::forWindow(QObject *watched) const
{
    if (watched->isWindowType())
        return watched == m_window->windowHandle();
    if (!watched->isWidgetType())
        return false;
    const auto *w = static_cast<QWidget *>(watched);
    return w->window() == m_window;
}

bool InputHold::passesThrough(QObject *watched, QEvent *event)
{
    const QEvent::Type t = event->type();
    if (isMouse(t)) {
        if (t == QEvent::MouseMove)
            return m_buttonPassing;
        if (t == QEvent::MouseButtonRelease && m_buttonPassing) {
            m_buttonPassing = false;
            return true;
        }
        if (!watched->isWindowType())
            return false;
        const QPoint at = static_cast<QMouseEvent *>(event)->position().toPoint();
        const QWidget *target = m_window->childAt(at);
        if (target && m_passes(target)) {
            m_buttonPassing = t != QEvent::MouseButtonRelease;
            return true;
        }
        return false;
    }
    if (t == QEvent::KeyPress || t == QEvent::KeyRelease) {
        const QWidget *focus = QApplication::focusWidget();
        return focus && m_passes(focus);
    }
    return false;
}

bool InputHold::eventFilter(QObject *watched, QEvent *event)
{
    if (!m_holding || event == m_replaying)
        return false;
    const QEvent::Type t = event->type();
    if (t == QEvent::DragEnter || t == QEvent::DragMove || t == QEvent::Drop) {
        // A drop cannot wait for its answer: the window takes none meanwhile.
        if (!forWindow(watched))
            return false;
        event->ignore();
        if (t == QEvent::DragMove)
            static_cast<QDragMoveEvent *>(event)->ignore();
        return true;
    }
    if (!isHeldInput(t) || !forWindow(watched))
        return false;
    // Keys and clicks reach the window first; input-method text goes
    // straight to the focused control.
    if (t != QEvent::InputMethod && !watched->isWindowType())
        return false;
    if (passesThrough(watched, event))
        return false;
    if (t == QEvent::MouseMove && !m_held.empty() && m_held.back().to == watched
        && m_held.back().event->type() == QEvent::MouseMove) {
        m_held.back().event.reset(event->clone()); // only where the pointer went matters
        return true;
    }
    m_held.push_back({watched, std::unique_ptr<QEvent>(event->clone())});
    return true;
}

void InputHold::replay()
{
    m_replayPosted = false;
    m_holding = false;
    // A handler may start another run, which holds what comes after; the
    // older events still go first.
    while (!m_held.empty()) {
        Held next = std::move(m_held.front());
        m_held.pop_front();
        if (!next.to)
            continue;
        QSpontaneKeyEvent::setSpontaneous(next.event.get());
        m_replaying = next.event.get();
        // notify() rather than sendEvent(), which would mark it as the program's own.
        qApp->notify(next.to, next.event.get());
        m_replaying = nullptr;
    }
}

} // namespace kanaroll
