#pragma once

#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <algorithm>

// Asks the window for a paint every 10 ms and notes the longest gap between
// two paints it makes.
class PaintGaps : public QObject
{
public:
    explicit PaintGaps(QWidget *w) : m_w(w)
    {
        w->installEventFilter(this);
        QObject::connect(&m_ask, &QTimer::timeout, w, [w] { w->update(); });
        m_ask.start(10);
        m_clock.start();
    }
    ~PaintGaps() override { m_w->removeEventFilter(this); }
    double longestMs() const { return double(std::max(m_longest, m_clock.nsecsElapsed() - m_last)) / 1e6; }

protected:
    bool eventFilter(QObject *o, QEvent *e) override
    {
        if (o == m_w && e->type() == QEvent::Paint) {
            const qint64 now = m_clock.nsecsElapsed();
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
        }
        return false;
    }

private:
    QWidget *m_w;
    QTimer m_ask;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};
