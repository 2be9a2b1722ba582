#pragma once

#include <QElapsedTimer>
#include <QPointer>
#include <QProgressDialog>
#include <QString>

#include <atomic>
#include <functional>
#include <thread>

class QWidget;

// A progress bar with Cancel that keeps the window answering: the work calls
// it often, and it lets the event loop run every few milliseconds.
class Progress
{
public:
    Progress(QWidget *parent, const QString &text);
    ~Progress();
    void setText(const QString &text)
    {
        if (m_dialog)
            m_dialog->setLabelText(text);
    }
    bool operator()(qint64 done, qint64 total);
    std::function<bool(qint64, qint64)> callback()
    {
        return [this](qint64 done, qint64 total) { return (*this)(done, total); };
    }

private:
    QPointer<QProgressDialog> m_dialog;
    QElapsedTimer m_clock;
};

// Makes the calling thread give way to the window's: work beside the window
// (and the threads it starts, which inherit this) runs on whatever processor
// time the window leaves, so that on a machine with few cores the window is
// never kept waiting for one.
void GiveWayToTheWindow();

// Merges what the calling thread has freed into reusable memory now. The
// allocator otherwise leaves freed small blocks unmerged until the thread
// ends, and a job that freed a large import's contacts would then keep
// whoever joins it (the window) waiting tens of milliseconds.
void SettleFreedMemory();

// Work on a thread of its own while the window shows its progress and
// answers; Cancel on the progress bar asks the work to stop.
class BackgroundWork
{
public:
    using Job = std::function<void(const std::atomic<bool> &cancel, std::atomic<qint64> &reached,
                                   std::atomic<qint64> &total)>;
    explicit BackgroundWork(Job job)
        : m_thread([this, job = std::move(job)] {
              GiveWayToTheWindow();
              job(m_cancel, m_reached, m_total);
              SettleFreedMemory();
              m_finished = true;
          })
    {
    }
    ~BackgroundWork()
    {
        if (m_thread.joinable())
            m_thread.join();
    }
    void wait(Progress &progress);

private:
    std::atomic<bool> m_cancel{false}, m_finished{false};
    std::atomic<qint64> m_reached{0}, m_total{1};
    std::thread m_thread;
};
