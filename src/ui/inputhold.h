#pragma once

#include <QObject>
#include <QPointer>

#include <deque>
#include <functional>
#include <memory>

class QEvent;
class QWidget;

namespace kanaroll {

// Keeps a window's user input back while a quick run computes: the window
// still paints, but clicks, keys and input-method text wait, in their order,
// until the run has ended and are then handled as if they had just come.
// Input for a control that `passes` names (the exit button) goes through at
// once, so the program can always be ended; other windows (a message box)
// are never held.
class InputHold : public QObject
{
public:
    InputHold(QWidget *window, std::function<bool(const QWidget *target)> passes);
    ~InputHold() override;

    // From now on input for the window is held.
    void hold();
    // The run is over: held input is handed on once the event loop is back,
    // and input that comes until then joins the queue behind it.
    void release();
    // Drops what is held (the program is ending).
    void drop();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    struct Held {
        QPointer<QObject> to;
        std::unique_ptr<QEvent> event;
    };
    bool forWindow(QObject *watched) const;
    bool passesThrough(QObject *watched, QEvent *event);
    void replay();

    QWidget *m_window;
    std::function<bool(const QWidget *)> m_passes;
    std::deque<Held> m_held;
    const QEvent *m_replaying = nullptr; // the held event being handed on
    bool m_holding = false;
    bool m_replayPosted = false;
    bool m_buttonPassing = false; // a press went through: its release follows it
};

} // namespace kanaroll
