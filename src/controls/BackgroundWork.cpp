#include "controls/BackgroundWork.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>

#include <QCoreApplication>
#include <QThread>

Progress::Progress(QWidget *parent, const QString &text)
{
    m_dialog = new QProgressDialog(text, QStringLiteral("Cancel"), 0, 1000, parent);
    m_dialog->setObjectName(QStringLiteral("dlgProgress"));
    m_dialog->setWindowModality(Qt::WindowModal);
    m_dialog->setMinimumDuration(400);
    m_dialog->setAutoClose(false);
    m_dialog->setAutoReset(false);
    m_clock.start();
}

Progress::~Progress()
{
    delete m_dialog.data();
}

void GiveWayToTheWindow()
{
    // Per thread on Linux; threads started from this one inherit it.
    setpriority(PRIO_PROCESS, id_t(syscall(SYS_gettid)), 10);
}

void SettleFreedMemory()
{
    // A request too large for the small-block lists makes the allocator merge
    // the thread's freed small blocks first (volatile: the pair must not be
    // left out by the compiler).
    void *volatile block = std::malloc(64 * 1024);
    std::free(block);
}

bool Progress::operator()(qint64 done, qint64 total)
{
    if (!m_dialog)
        return false;
    if (m_clock.elapsed() >= 10) {
        m_dialog->setValue(total > 0 ? int(qMin<qint64>(1000, done * 1000 / total)) : 0);
        QCoreApplication::processEvents();
        m_clock.restart();
    }
    return m_dialog && !m_dialog->wasCanceled();
}

void BackgroundWork::wait(Progress &progress)
{
    while (!m_finished) {
        if (!progress(m_reached, m_total))
            m_cancel = true;
        QThread::msleep(5);
    }
    m_thread.join();
}
