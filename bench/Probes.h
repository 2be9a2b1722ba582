#pragma once

#include <QApplication>
#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <QStringList>
#include <QThread>
#include <QTimer>

#include <ctime>
#include <functional>
#include <vector>

// Nanoseconds on the machine-wide monotonic clock, comparable between processes.
inline qint64 MonoNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
// Nanoseconds this thread has spent on a core.
inline qint64 ThreadCpuNs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}
inline double MsSince(qint64 t0)
{
    return double(MonoNs() - t0) / 1e6;
}

// A 1 ms timer that remembers the longest wait between two of its ticks: how
// long the event loop was kept from running.
class GapTimer : public QObject
{
public:
    GapTimer()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(1);
        connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
    }
    void start()
    {
        m_last = MonoNs();
        m_max = 0;
        m_timer.start();
    }
    double stopMs()
    {
        tick();
        m_timer.stop();
        return double(m_max) / 1e6;
    }

private:
    void tick()
    {
        const qint64 now = MonoNs();
        m_max = qMax(m_max, now - m_last);
        m_last = now;
    }
    QTimer m_timer;
    qint64 m_last = 0;
    qint64 m_max = 0;
};

// An application that says what kept its event loop waiting: every stretch of
// time in which no event was delivered is put down to the event being handled
// then (innermost first), or to "between events". Stretches longer than the
// threshold are kept, with what was handled around them.
class StallApplication : public QApplication
{
public:
    using QApplication::QApplication;
    void watch(double thresholdMs)
    {
        m_threshold = qint64(thresholdMs * 1e6);
        m_last = MonoNs();
        m_lastCpu = ThreadCpuNs();
        m_stalls.clear();
        m_on = true;
    }
    QStringList stop()
    {
        m_on = false;
        return m_stalls;
    }
    bool notify(QObject *receiver, QEvent *event) override
    {
        // The window's thread only: others deliver their own events meanwhile.
        if (!m_on || QThread::currentThread() != thread())
            return QApplication::notify(receiver, event);
        mark();
        m_stack.push_back(describe(receiver, event));
        const bool done = QApplication::notify(receiver, event);
        mark();
        m_stack.pop_back();
        return done;
    }

private:
    static QString describe(QObject *o, QEvent *e)
    {
        QString who;
        for (QObject *p = o; p && who.count(QLatin1Char('<')) < 3; p = p->parent())
            who += QStringLiteral("<%1 %2").arg(QLatin1String(p->metaObject()->className()), p->objectName());
        return QStringLiteral("event %1 to %2").arg(int(e->type())).arg(who);
    }
    void mark()
    {
        // The thread's own processor time tells work from waiting for a core or a lock.
        const qint64 now = MonoNs();
        const qint64 cpu = ThreadCpuNs();
        if (now - m_last > m_threshold && m_stalls.size() < 200)
            m_stalls << QStringLiteral("%1 ms (%2 ms on a core) in %3")
                            .arg(double(now - m_last) / 1e6, 0, 'f', 1)
                            .arg(double(cpu - m_lastCpu) / 1e6, 0, 'f', 1)
                            .arg(m_stack.empty() ? QStringLiteral("between events") : m_stack.back());
        m_last = now;
        m_lastCpu = cpu;
    }
    bool m_on = false;
    qint64 m_threshold = 0;
    qint64 m_last = 0;
    qint64 m_lastCpu = 0;
    std::vector<QString> m_stack;
    QStringList m_stalls;
};

// Runs `after` once the first event of `type` that `when` accepts has been
// handled in full by its receiver (the event is passed on to every filter and
// the receiver itself first). Watches `watched`, or every object when it is qApp.
class AfterEventProbe : public QObject
{
public:
    AfterEventProbe(QObject *watched, QEvent::Type type) : m_type(type) { watched->installEventFilter(this); }
    void arm(std::function<bool(QObject *)> when, std::function<void()> after)
    {
        m_when = std::move(when);
        m_after = std::move(after);
        m_armed = true;
    }
    void disarm() { m_armed = false; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!m_armed || m_inside || event->type() != m_type || !m_when(watched))
            return false;
        m_armed = false;
        m_inside = true;
        QCoreApplication::sendEvent(watched, event);
        m_inside = false;
        m_after();
        return true;
    }

private:
    QEvent::Type m_type;
    std::function<bool(QObject *)> m_when;
    std::function<void()> m_after;
    bool m_armed = false;
    bool m_inside = false;
};
