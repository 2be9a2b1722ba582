#include "sync/SyncRunner.h"

#include "store/Connection.h"
#include "store/StoreError.h"

#include <chrono>
#include <future>

SyncRunner::SyncRunner(const QString &bookPath, qint64 account, const Sync::Options &options, QObject *parent)
    : QObject(parent), m_bookPath(bookPath), m_account(account), m_options(options)
{
}

SyncRunner::~SyncRunner()
{
    m_cancel = true;
    if (m_thread.joinable())
        m_thread.join();
}

void SyncRunner::start()
{
    if (m_thread.joinable())
        return;
    m_cancel = false;
    m_report = Sync::Report();
    m_thread = std::thread([this] { work(); });
}

void SyncRunner::work()
{
    Sync::Options options = m_options;
    options.progress = [this](const QString &stage, qint64 done, qint64 total) {
        emit progress(stage, done, total);
        return !m_cancel;
    };
    if (m_asker) {
        options.ask = [this](const Sync::Conflict &conflict) {
            // Asked on the runner's thread; the sync waits, but gives up
            // (keeping both) when the runner is going away.
            auto answer = std::make_shared<std::promise<Sync::Resolution>>();
            std::future<Sync::Resolution> future = answer->get_future();
            QMetaObject::invokeMethod(
                this, [this, answer, conflict] { answer->set_value(m_asker(conflict)); }, Qt::QueuedConnection);
            while (future.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
                if (m_cancel)
                    return Sync::Resolution::KeepBoth;
            }
            return future.get();
        };
    }
    Sync::Report report;
    try {
        SharedConnection cn = Connection::open(m_bookPath);
        report = Sync::Run(*cn, m_account, options);
    } catch (const StoreError &e) {
        report.ok = false;
        report.failure = e.message();
    }
    QMetaObject::invokeMethod(
        this,
        [this, report] {
            if (m_thread.joinable())
                m_thread.join();
            m_report = report;
            emit finished();
        },
        Qt::QueuedConnection);
}
