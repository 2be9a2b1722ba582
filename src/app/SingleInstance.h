#pragma once

#include <QLockFile>
#include <QString>

#include <memory>

// One running instance per executable and user: a lock file in the user's
// runtime folder, keyed by the executable's path. A lock left by a process
// that no longer runs is taken over.
class SingleInstanceGuard
{
public:
    explicit SingleInstanceGuard(const QString &executablePath);
    // True when this process now holds the lock; false when another instance runs.
    bool tryAcquire();
    QString lockPath() const { return m_path; }

private:
    QString m_path;
    std::unique_ptr<QLockFile> m_lock;
};
