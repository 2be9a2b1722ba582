#include "app/SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

SingleInstanceGuard::SingleInstanceGuard(const QString &executablePath)
{
    // The runtime folder is the user's own. Without one the lock goes to the
    // shared temporary folder, where the user id in the name keeps one user's
    // running copy from turning another user's start away.
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty())
        folder = QDir::tempPath();
    QDir().mkpath(folder);
    const QByteArray key = QFileInfo(executablePath).absoluteFilePath().toUtf8();
    const QString hash =
        QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha1).toHex().left(16));
    m_path = folder + QStringLiteral("/ardentia-%1-%2.lock").arg(::getuid()).arg(hash);
}

bool SingleInstanceGuard::tryAcquire()
{
    m_lock = std::make_unique<QLockFile>(m_path);
    // Never steal a live instance's lock by age; a dead holder's lock is stale.
    m_lock->setStaleLockTime(0);
    if (m_lock->tryLock(0))
        return true;
    if (m_lock->error() == QLockFile::LockFailedError) {
        qint64 pid = 0;
        QString host, app;
        if (!m_lock->getLockInfo(&pid, &host, &app)) {
            // Unreadable or half-written lock: a crashed start. Take it over.
            if (m_lock->removeStaleLockFile() && m_lock->tryLock(0))
                return true;
        }
        return false;
    }
    // The runtime folder cannot hold a lock: run rather than refuse to start.
    return true;
}
