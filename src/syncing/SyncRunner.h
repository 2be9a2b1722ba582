#pragma once

#include "sync/Sync.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <optional>
#include <memory>
#include <thread>

// Runs the syncs of the book's accounts on a thread of its own, one account
// after the other, so that the window goes on answering: it reports each
// stage as it goes and each account's result when done. A conflict the
// account's policy leaves to the user is asked on the window's thread while
// the sync waits.
class SyncRunner : public QObject
{
    Q_OBJECT
public:
    struct Job
    {
        qint64 account = 0;
        QString name; // "user@host (book)", for the messages
        QString password;
    };

    SyncRunner(QString bookPath, QString picturesFolder, QString region, QObject *parent = nullptr);
    ~SyncRunner() override;

    // Starts syncing the accounts; false when a sync is already running.
    bool start(const QList<Job> &jobs, std::optional<Sync::Policy> policy);
    bool running() const { return m_running; }
    // Asks the running sync to stop as soon as it can (nothing is lost).
    void stop() { m_stop = true; }
    // Waits for the running sync to end.
    void wait();

    // Decides a conflict, on the window's thread (for the policy Ask).
    std::function<Sync::Resolution(const Sync::Conflict &)> ask;

signals:
    void progress(const QString &text);
    // One account done; `report.ok` false with its reason on failure.
    void accountDone(const SyncRunner::Job &job, const Sync::Report &report);
    // Every account done.
    void finished();

private:
    QString m_bookPath, m_pictures, m_region;
    std::thread m_thread;
    std::atomic<bool> m_stop{false}, m_threadDone{true};
    bool m_running = false;
};
