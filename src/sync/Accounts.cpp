#include "sync/Accounts.h"

#include "sqlite/Statement.h"
#include "store/Connection.h"
#include "store/DateText.h"

#include <QDateTime>
#include <QEventLoop>
#include <QFile>
#include <QUrl>

#include <qt6keychain/keychain.h>

#include <sqlite3.h>

namespace Sync {

namespace {

const char kService[] = "Ardentia";

const char kSelect[] = "SELECT Account, Server, User, BookUrl, BookName, SyncToken, TrustedCert, Policy, LastSync,"
                       " LastResult FROM SyncAccount";

Account accountAt(const Statement &st)
{
    Account a;
    a.id = st.int64(0);
    a.server = st.text(1);
    a.user = st.text(2);
    a.bookUrl = st.text(3);
    a.bookName = st.text(4);
    a.syncToken = st.text(5);
    a.trustedCertificate = st.text(6);
    PolicyFromName(st.text(7), a.policy);
    a.lastSync = st.text(8);
    a.lastResult = st.text(9);
    return a;
}

QList<Account> select(Connection &cn, const QByteArray &where, const QStringList &values)
{
    Statement st(cn.handle(), QByteArray(kSelect) + where + " ORDER BY Account");
    for (int i = 0; i < values.size(); ++i)
        st.bind(i + 1, values.at(i));
    QList<Account> out;
    int rc;
    while ((rc = st.step()) == SQLITE_ROW)
        out << accountAt(st);
    if (rc != SQLITE_DONE)
        cn.fail(rc);
    return out;
}

void run(Connection &cn, const char *sql, qint64 id, const QString &text)
{
    Statement st(cn.handle(), sql);
    st.bind(1, id);
    if (text.isNull())
        st.bindNull(2);
    else
        st.bind(2, text);
    const int rc = st.step();
    if (rc != SQLITE_DONE)
        cn.fail(rc);
}

// Runs a keyring job to its end.
bool finish(QKeychain::Job &job, QString *problem)
{
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    job.setAutoDelete(false);
    job.start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (job.error() == QKeychain::NoError)
        return true;
    if (problem) {
        switch (job.error()) {
        case QKeychain::EntryNotFound:
            *problem = QStringLiteral("no password is stored for it");
            break;
        case QKeychain::NoBackendAvailable:
            *problem = QStringLiteral("no keyring is running");
            break;
        case QKeychain::AccessDenied:
            *problem = QStringLiteral("the keyring refused access");
            break;
        default:
            *problem = QStringLiteral("the keyring failed: ") + job.errorString();
        }
    }
    return false;
}

} // namespace

QString PolicyName(Policy policy)
{
    switch (policy) {
    case Policy::KeepBoth:
        return QStringLiteral("keep-both");
    case Policy::Local:
        return QStringLiteral("local");
    case Policy::Server:
        return QStringLiteral("server");
    case Policy::Ask:
        return QStringLiteral("ask");
    }
    return QString();
}

bool PolicyFromName(const QString &name, Policy &policy)
{
    for (Policy p : {Policy::KeepBoth, Policy::Local, Policy::Server, Policy::Ask}) {
        if (name == PolicyName(p)) {
            policy = p;
            return true;
        }
    }
    return false;
}

QString Account::key() const
{
    const QUrl url = QUrl::fromUserInput(server);
    return user + QLatin1Char('@') + (url.host().isEmpty() ? server : url.authority());
}

namespace Accounts {

QList<Account> List(Connection &cn)
{
    return select(cn, QByteArray(), {});
}

std::optional<Account> Get(Connection &cn, qint64 id)
{
    const QList<Account> found = select(cn, " WHERE Account = ?1", {QString::number(id)});
    return found.isEmpty() ? std::nullopt : std::optional<Account>(found.first());
}

std::optional<Account> Find(Connection &cn, const QString &server, const QString &user)
{
    const QList<Account> found = select(cn, " WHERE Server = ?1 AND User = ?2", {server, user});
    return found.isEmpty() ? std::nullopt : std::optional<Account>(found.first());
}

qint64 Add(Connection &cn, const Account &a)
{
    Statement st(cn.handle(), "INSERT INTO SyncAccount (Server, User, BookUrl, BookName, TrustedCert, Policy)"
                              " VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
    st.bind(1, a.server).bind(2, a.user).bind(3, a.bookUrl).bind(4, a.bookName).bind(6, PolicyName(a.policy));
    if (a.trustedCertificate.isEmpty())
        st.bindNull(5);
    else
        st.bind(5, a.trustedCertificate);
    const int rc = st.step();
    if (rc != SQLITE_DONE)
        cn.fail(rc);
    return sqlite3_last_insert_rowid(cn.handle());
}

void SetPolicy(Connection &cn, qint64 id, Policy policy)
{
    run(cn, "UPDATE SyncAccount SET Policy = ?2 WHERE Account = ?1", id, PolicyName(policy));
}

void SetTrustedCertificate(Connection &cn, qint64 id, const QString &fingerprint)
{
    run(cn, "UPDATE SyncAccount SET TrustedCert = ?2 WHERE Account = ?1", id,
        fingerprint.isEmpty() ? QString() : fingerprint);
}

void SetSyncToken(Connection &cn, qint64 id, const QString &token)
{
    run(cn, "UPDATE SyncAccount SET SyncToken = ?2 WHERE Account = ?1", id, token.isEmpty() ? QString() : token);
}

void NoteResult(Connection &cn, qint64 id, const QString &result)
{
    run(cn, "UPDATE SyncAccount SET LastResult = ?2 WHERE Account = ?1", id, result);
    run(cn, "UPDATE SyncAccount SET LastSync = ?2 WHERE Account = ?1", id, StoredDateTime(QDateTime::currentDateTime()));
}

void Remove(Connection &cn, qint64 id)
{
    for (const char *sql : {"DELETE FROM SyncItem WHERE Account = ?1", "DELETE FROM SyncAccount WHERE Account = ?1"}) {
        Statement st(cn.handle(), sql);
        st.bind(1, id);
        const int rc = st.step();
        if (rc != SQLITE_DONE)
            cn.fail(rc);
    }
}

} // namespace Accounts

namespace Password {

std::optional<QString> Read(const QString &key, QString *problem)
{
    QKeychain::ReadPasswordJob job(QString::fromLatin1(kService));
    job.setKey(key);
    job.setInsecureFallback(false);
    if (!finish(job, problem))
        return std::nullopt;
    return job.textData();
}

bool Store(const QString &key, const QString &password, QString *problem)
{
    QKeychain::WritePasswordJob job(QString::fromLatin1(kService));
    job.setKey(key);
    job.setInsecureFallback(false);
    job.setTextData(password);
    return finish(job, problem);
}

void Forget(const QString &key)
{
    QKeychain::DeletePasswordJob job(QString::fromLatin1(kService));
    job.setKey(key);
    job.setInsecureFallback(false);
    finish(job, nullptr);
}

std::optional<QString> FromFile(const QString &path, QString *problem)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (problem)
            *problem = QStringLiteral("the password file %1 cannot be read: %2").arg(path, f.errorString());
        return std::nullopt;
    }
    QByteArray line = f.readLine(4096);
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

} // namespace Password

} // namespace Sync
