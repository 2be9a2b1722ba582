#pragma once

// A sync run for a window: on a thread of its own, through a connection of its
// own to the book, while the window stays responsive. Progress and the end
// arrive as signals on the thread that made the runner; a conflict under the
// Ask policy is put to the asker on that thread too, while the sync waits.

#include "sync/Sync.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class SyncRunner : public QObject
{
    Q_OBJECT

public:
    // Syncs `account` of the book at `bookPath` (the file the window has open).
    // The options' progress and ask are the runner's own: use the signal and
    // setAsker().
    SyncRunner(const QString &bookPath, qint64 account, const Sync::Options &options, QObject *parent = nullptr);
    // Stops a running sync (it ends as soon as it can, nothing lost) and waits for it.
    ~SyncRunner() override;

    // Called on the runner's thread for each conflict under the Ask policy (a
    // dialog shows both versions); without one both are kept.
    void setAsker(std::function<Sync::Resolution(const Sync::Conflict &)> asker) { m_asker = std::move(asker); }

    void start();
    // The sync stops at its next step; what was done is kept.
    void cancel() { m_cancel = true; }
    bool running() const { return m_thread.joinable(); }
    // The result, once finished() was emitted.
    const Sync::Report &report() const { return m_report; }

signals:
    void progress(const QString &stage, qint64 done, qint64 total);
    void finished();

private:
    void work();

    const QString m_bookPath;
    const qint64 m_account;
    Sync::Options m_options;
    std::function<Sync::Resolution(const Sync::Conflict &)> m_asker;
    std::atomic<bool> m_cancel{false};
    std::thread m_thread;
    Sync::Report m_report;
};
