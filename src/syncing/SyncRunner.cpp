#include "syncing/SyncRunner.h"

#include "controls/BackgroundWork.h"
#include "store/Connection.h"
#include "store/StoreError.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

SyncRunner::SyncRunner(QString bookPath, QString picturesFolder, QString region, QObject *parent)
    : QObject(parent), m_bookPath(std::move(bookPath)), m_pictures(std::move(picturesFolder)), m_region(std::move(region))
{
    qRegisterMetaType<SyncRunner::Job>("SyncRunner::Job");
    qRegisterMetaType<Sync::Report>("Sync::Report");
}

SyncRunner::~SyncRunner()
{
    // Nobody is told any more; a conflict still asked keeps both.
    disconnect(this, nullptr, nullptr, nullptr);
    ask = nullptr;
    m_stop = true;
    wait();
}

void SyncRunner::wait()
{
    // The sync may be waiting for this thread to answer a conflict.
    while (m_thread.joinable() && !m_threadDone) {
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        QThread::msleep(5);
    }
    if (m_thread.joinable())
        m_thread.join();
}

bool SyncRunner::start(const QList<Job> &jobs, std::optional<Sync::Policy> policy)
{
    if (m_running)
        return false;
    wait();
    m_running = true;
    m_stop = false;
    m_threadDone = false;
    m_thread = std::thread([this, jobs, policy] {
        GiveWayToTheWindow();
        for (const Job &job : jobs) {
            if (m_stop)
                break;
            Sync::Report report;
            try {
                SharedConnection cn = Connection::open(m_bookPath);
                Sync::Options options;
                options.password = job.password;
                options.policy = policy;
                options.picturesFolder = m_pictures;
                options.region = m_region;
                options.progress = [this, job](const QString &stage, qint64 done, qint64 total) {
                    const QString text = total > 0 ? QStringLiteral("Syncing %1: %2 %3 of %4").arg(job.name, stage).arg(done).arg(total)
                                                   : QStringLiteral("Syncing %1: %2").arg(job.name, stage);
                    QMetaObject::invokeMethod(this, [this, text] { emit progress(text); }, Qt::QueuedConnection);
                    return !m_stop.load();
                };
                if (policy == Sync::Policy::Ask) {
                    options.ask = [this](const Sync::Conflict &conflict) {
                        Sync::Resolution answer = Sync::Resolution::KeepBoth;
                        // The window asks on its own thread; this one waits.
                        QMetaObject::invokeMethod(
                            this, [&] { answer = ask ? ask(conflict) : Sync::Resolution::KeepBoth; },
                            Qt::BlockingQueuedConnection);
                        return answer;
                    };
                }
                report = Sync::Run(*cn, job.account, options);
            } catch (const StoreError &e) {
                report.ok = false;
                report.failure = e.message();
            }
            QMetaObject::invokeMethod(this, [this, job, report] { emit accountDone(job, report); }, Qt::QueuedConnection);
        }
        QMetaObject::invokeMethod(this, [this] {
            m_running = false;
            emit finished();
        }, Qt::QueuedConnection);
        m_threadDone = true;
    });
    return true;
}
