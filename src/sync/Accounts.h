#pragma once

// The CardDAV accounts the book syncs with, kept in the book itself
// (SyncAccount), and their passwords, kept in the desktop's keyring.

#include <QList>
#include <QString>

#include <optional>

class Connection;

namespace Sync {

// What an unattended sync does with a contact changed on both sides: keep both
// (the server's version becomes a contact of its own beside ours; the default),
// this computer's version wins, the server's wins, or ask (a window asks; a
// sync without one keeps both).
enum class Policy { KeepBoth, Local, Server, Ask };
QString PolicyName(Policy policy); // "keep-both", "local", "server", "ask"
bool PolicyFromName(const QString &name, Policy &policy);

struct Account
{
    qint64 id = 0;
    QString server;   // the address the user gave
    QString user;
    QString bookUrl;  // the address book's URL
    QString bookName;
    QString syncToken;
    QString trustedCertificate; // SHA-256 fingerprint of a certificate the user trusts
    Policy policy = Policy::KeepBoth;
    QString lastSync;   // ISO time of the last sync
    QString lastResult; // its one-line result

    // The password's key in the keyring: "user@host".
    QString key() const;
};

namespace Accounts {

// Throw StoreError.
QList<Account> List(Connection &cn);
std::optional<Account> Get(Connection &cn, qint64 id);
// The account of this user at this server address, if there is one.
std::optional<Account> Find(Connection &cn, const QString &server, const QString &user);
// Stores a new account; its id.
qint64 Add(Connection &cn, const Account &account);
void SetPolicy(Connection &cn, qint64 id, Policy policy);
void SetTrustedCertificate(Connection &cn, qint64 id, const QString &fingerprint);
void SetSyncToken(Connection &cn, qint64 id, const QString &token);
void NoteResult(Connection &cn, qint64 id, const QString &result);
// Forgets the account and where its contacts live on the server; the
// contacts stay.
void Remove(Connection &cn, qint64 id);

} // namespace Accounts

// The password of an account, in the desktop's keyring (service "Ardentia",
// key Account::key()). Never written anywhere else.
namespace Password {

// The stored password; nothing when there is none or no keyring answers
// (`problem` then says why).
std::optional<QString> Read(const QString &key, QString *problem = nullptr);
// False when no keyring takes it (`problem` says why).
bool Store(const QString &key, const QString &password, QString *problem = nullptr);
void Forget(const QString &key);
// The first line of a file, for the command line; nothing when it cannot be read.
std::optional<QString> FromFile(const QString &path, QString *problem = nullptr);

} // namespace Password

} // namespace Sync
