#include "mainwindow/TreeLoader.h"

#include "store/Connection.h"
#include "store/StoreError.h"
#include "store/TreeValues.h"

#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <mutex>
#include <thread>

namespace {
constexpr int kStartAtLatestMs = 100;
} // namespace

// What the two threads share with the loader.
struct TreeLoader::Work
{
    QString path;
    QString letterColumn;
    std::thread threads[2];
    TreeValues values[2];
    std::mutex mutex;
    Connection *running[2] = {nullptr, nullptr};
    int done = 0;
    std::atomic<bool> stop{false};
};

TreeLoader::TreeLoader(QWidget *paintedFirst, const QString &path, const QString &letterColumn, QObject *parent)
    : QObject(parent), m_paintedFirst(paintedFirst), m_work(std::make_shared<Work>())
{
    m_work->path = path;
    m_work->letterColumn = letterColumn;
    paintedFirst->installEventFilter(this);
    QTimer::singleShot(kStartAtLatestMs, this, [this] { start(); });
}

TreeLoader::~TreeLoader()
{
    {
        std::lock_guard<std::mutex> lock(m_work->mutex);
        // The flag stops a walk between rows; the interruption stops a
        // statement in the middle of a step.
        m_work->stop = true;
        for (Connection *cn : m_work->running) {
            if (cn)
                cn->interrupt();
        }
    }
    for (std::thread &t : m_work->threads) {
        if (t.joinable())
            t.join();
    }
}

bool TreeLoader::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::Paint)
        start();
    return QObject::eventFilter(watched, event);
}

void TreeLoader::start()
{
    if (m_started)
        return;
    m_started = true;
    m_paintedFirst->removeEventFilter(this);
    const QPointer<TreeLoader> self(this);
    for (int i = 0; i < 2; ++i) {
        m_work->threads[i] = std::thread([work = m_work, i, self] {
            try {
                std::shared_ptr<Connection> cn = Connection::openForWalking(work->path);
                {
                    std::lock_guard<std::mutex> lock(work->mutex);
                    if (work->stop)
                        return;
                    work->running[i] = cn.get();
                }
                if (i == 0)
                    work->values[i].collect(*cn, work->letterColumn, QString(), &work->stop);
                else
                    work->values[i].collect(*cn, QString(), QStringLiteral("Category"), &work->stop);
                std::lock_guard<std::mutex> lock(work->mutex);
                work->running[i] = nullptr;
            } catch (const StoreError &) {
                // Suppressed, as when the values are read at once.
            }
            std::lock_guard<std::mutex> lock(work->mutex);
            if (!work->stop && ++work->done == 2) {
                // Back on the window's thread; a loader deleted meanwhile has
                // joined this thread before the call could run.
                QMetaObject::invokeMethod(
                    self.data(),
                    [self, work] {
                        if (self)
                            emit self->ready(work->values[0].letterCounts(), work->values[1].categoryCounts());
                    },
                    Qt::QueuedConnection);
            }
        });
    }
}
