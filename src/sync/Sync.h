#pragma once

// Two-way sync of the book with a CardDAV address book (RFC 6352), so that no
// change of either side is lost:
// - what changed on the server since the last sync (a sync-collection report,
//   RFC 6578, or a listing of every card's ETag where the server has none or
//   forgot the token) comes here; what changed here goes there (PUT with
//   If-Match, or If-None-Match for a new card; DELETE with If-Match);
// - a contact removed here is deleted on the server; one deleted on the server
//   goes to the Recycle bin here; one restored here goes back as a new card;
//   one gone here without passing the bin waits there, as the server had it;
// - a contact changed on both sides (or whose card changed on the server while
//   this sync sent it: 412) is a conflict, settled by the account's policy or
//   the caller; the version that loses keeps what only it has;
// - everything a sync changes here is one step of the journal ("sync with
//   ann@host"), which Undo takes back (the next sync then sends the contacts
//   as they are again);
// - a failure (no connection, a wrong password, a server error, a time out,
//   the server gone in the middle) ends the sync with a one-line reason; what
//   was done is recorded, and the next sync does the rest.
//
// Run() blocks until the sync is done and may run on any thread with a
// connection of its own (Connection::open on the book's path): a window runs it
// on a worker thread, shows Progress, and answers Ask on its own thread (a
// blocking queued call) while the worker waits.

#include "interchange/ContactCard.h"
#include "store/Journal.h"
#include "sync/Accounts.h"
#include "sync/Dav.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class Connection;

namespace Sync {

enum class Resolution { Local, Server, KeepBoth };

// A contact changed on both sides, for the user to decide.
struct Conflict
{
    qint64 contactId = 0;
    QString name;                       // as the contact is named here
    ContactCard::Contact local, server; // both versions, to show side by side
    QByteArray localCard, serverCard;   // the same as vCards
};

// Asked for each conflict when the policy is Ask.
using Ask = std::function<Resolution(const Conflict &conflict)>;
// Told what the sync does ("Receiving", "Sending") and how far it has come;
// returning false stops the sync as soon as it can (nothing is lost).
using Progress = std::function<bool(const QString &stage, qint64 done, qint64 total)>;

struct Options
{
    QString password;
    std::optional<Policy> policy; // instead of the account's own
    Ask ask;                      // for Policy::Ask; without it both are kept
    Progress progress;
    QString picturesFolder;       // where pictures that come in cards are written
    QString region;               // for phone numbers when counting likely duplicates
    int timeoutMs = 30000;        // per request, without any data
};

struct Report
{
    bool ok = false;
    QString failure; // one line, when !ok
    std::optional<Dav::Certificate> certificate; // the failure is this untrusted certificate
    // Here:
    int added = 0;    // new contacts from the server
    int updated = 0;  // contacts changed to the server's version (or a merge)
    int binned = 0;   // deleted on the server: moved to the Recycle bin
    int restored = 0; // removed here but changed on the server since: back from the bin
    // On the server:
    int sent = 0;    // cards created or changed
    int deleted = 0; // cards deleted
    int conflicts = 0;
    QStringList rejected; // one line per card the server refused ("Ann Adams: ...")
    int likelyDuplicates = 0; // after a first sync into a book that had contacts
    bool listedAll = false;   // every card was listed (first sync, no or a stale token)
    ChangeSummary summary;    // what changed here, for the window
    bool changedHere = false;

    // "2 added, 1 updated, ... here; 3 sent, 0 deleted on the server; 1 conflict"
    QString text() const;
};

// Syncs the book with the account's address book. Throws StoreError when the
// book cannot be read or written.
Report Run(Connection &cn, qint64 account, const Options &options);

struct SetupResult
{
    qint64 account = 0;
    QString failure;
    std::optional<Dav::Certificate> certificate;
    QString bookName;
};

// Finds the user's address books at `server` and stores an account for the
// one named `bookName` (the first when empty; a new one of that name, or
// "Contacts", when there is none). An account of the same server and user is
// reused.
SetupResult Setup(Connection &cn, const QString &server, const QString &user, const QString &password,
                  const QString &bookName = QString(), const QString &trustedFingerprint = QString(),
                  int timeoutMs = 30000);

} // namespace Sync
