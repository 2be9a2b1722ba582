#include "store/BookSchema.h"

#include "sqlite/Statement.h"
#include "sqlite/Transaction.h"
#include "store/Connection.h"
#include "store/SearchText.h"
#include "store/StoreError.h"

#include <sqlite3.h>

#include <optional>

namespace {

// The columns of a contact's state, as Contacts has them after its key.
#define CONTACT_COLUMNS                                                                                                \
    "First_Name, Last_Name, Company, Address, Category, Phones, Mails, Websites, Notes, Date_Registed, Picture"

// Columns without a declared type keep every value exactly as Contacts held it.
const char kCreate[] =
    "CREATE TABLE ContactMeta (ContactID INTEGER PRIMARY KEY, Uid NOT NULL);"
    "CREATE UNIQUE INDEX ContactMetaUid ON ContactMeta (Uid);"
    "CREATE TABLE RecycleBin (ContactID INTEGER PRIMARY KEY, " CONTACT_COLUMNS ", RemovedAt TEXT NOT NULL);"
    "CREATE TABLE Journal (Step INTEGER PRIMARY KEY AUTOINCREMENT, Name TEXT NOT NULL, At TEXT NOT NULL,"
    " Undone INTEGER NOT NULL DEFAULT 0);"
    // Phase 0 is a contact's state before its step, 1 after it; Place 0 is
    // nowhere, 1 in Contacts, 2 in the bin.
    "CREATE TABLE JournalRows (Step INTEGER NOT NULL, ContactID INTEGER NOT NULL, Phase INTEGER NOT NULL,"
    " Place INTEGER NOT NULL, RemovedAt, " CONTACT_COLUMNS ", PRIMARY KEY (Step, ContactID, Phase)) WITHOUT ROWID;"
    "CREATE INDEX JournalRowsByContact ON JournalRows (ContactID);"
    "CREATE TABLE BookState (Name TEXT PRIMARY KEY, Value) WITHOUT ROWID;";

// Version 2: what a contact brought from another program that has no column
// (vCard lines, kept verbatim for export), and when it last changed; the
// journal keeps the former too.
// The journal's rows are ordered by step and phase, so that one phase of a
// large step (an import) is read in one run.
const char kUpgrade2[] =
    "ALTER TABLE ContactMeta ADD COLUMN Kept;"
    "ALTER TABLE ContactMeta ADD COLUMN Rev;"
    "CREATE TABLE JournalRows2 (Step INTEGER NOT NULL, ContactID INTEGER NOT NULL, Phase INTEGER NOT NULL,"
    " Place INTEGER NOT NULL, RemovedAt, Kept, " CONTACT_COLUMNS ", PRIMARY KEY (Step, Phase, ContactID)) WITHOUT ROWID;"
    "INSERT INTO JournalRows2 (Step, ContactID, Phase, Place, RemovedAt, " CONTACT_COLUMNS ") SELECT Step, ContactID,"
    " Phase, Place, RemovedAt, " CONTACT_COLUMNS " FROM JournalRows;"
    "DROP TABLE JournalRows;"
    "ALTER TABLE JournalRows2 RENAME TO JournalRows;"
    "CREATE INDEX JournalRowsByContact ON JournalRows (ContactID);";

// Version 3: the searched columns folded for search (store/SearchText.h).
// The triggers are plain SQL, so that a contact another program adds or
// changes is marked for folding too; NULL is "not folded yet", found through
// its own small index. A writer that folds itself (an import) says so for
// the time of its transaction, which no other program ever sees.
#define FOLDED_BY_OTHERS " WHEN NOT EXISTS (SELECT 1 FROM BookState WHERE Name = 'folded-by-writer')"
const char kUpgrade3[] =
    "CREATE TABLE ContactFolded (ContactID INTEGER PRIMARY KEY, Folded TEXT);"
    "CREATE INDEX ContactFoldedMissing ON ContactFolded (ContactID) WHERE Folded IS NULL;"
    "INSERT INTO ContactFolded (ContactID) SELECT ContactID FROM Contacts;"
    "CREATE TRIGGER ContactsFoldAdded AFTER INSERT ON Contacts" FOLDED_BY_OTHERS " BEGIN"
    " UPDATE ContactFolded SET Folded = NULL WHERE ContactID = new.ContactID;"
    " INSERT INTO ContactFolded (ContactID) SELECT new.ContactID"
    "  WHERE NOT EXISTS (SELECT 1 FROM ContactFolded WHERE ContactID = new.ContactID);"
    " END;"
    "CREATE TRIGGER ContactsFoldChanged AFTER UPDATE OF ContactID, First_Name, Last_Name, Company, Phones, Mails,"
    " Category, Address, Websites, Notes ON Contacts" FOLDED_BY_OTHERS " BEGIN"
    " DELETE FROM ContactFolded WHERE ContactID = old.ContactID AND old.ContactID IS NOT new.ContactID;"
    " UPDATE ContactFolded SET Folded = NULL WHERE ContactID = new.ContactID;"
    " INSERT INTO ContactFolded (ContactID) SELECT new.ContactID"
    "  WHERE NOT EXISTS (SELECT 1 FROM ContactFolded WHERE ContactID = new.ContactID);"
    " END;"
    "CREATE TRIGGER ContactsFoldRemoved AFTER DELETE ON Contacts BEGIN"
    " DELETE FROM ContactFolded WHERE ContactID = old.ContactID;"
    " END;";

// Version 4: CardDAV sync. Per account the server, the user, the address book
// and its sync token, a certificate the user chose to trust, the policy for
// conflicts nobody is there to decide ('keep-both', 'local', 'server', 'ask')
// and how the last sync went; per contact and account where the card lives on
// the server (Href, ETag), the card as last synced (the common ancestor when
// both sides changed) and a digest of the contact as it was then, which tells
// whether it has changed here since.
const char kUpgrade4[] =
    "CREATE TABLE SyncAccount (Account INTEGER PRIMARY KEY AUTOINCREMENT, Server TEXT NOT NULL, User TEXT NOT NULL,"
    " BookUrl TEXT, BookName TEXT, SyncToken TEXT, TrustedCert TEXT, Policy TEXT NOT NULL DEFAULT 'keep-both',"
    " LastSync TEXT, LastResult TEXT);"
    "CREATE TABLE SyncItem (Account INTEGER NOT NULL, ContactID INTEGER NOT NULL, Href TEXT NOT NULL, ETag TEXT,"
    " Card TEXT, Digest BLOB, PRIMARY KEY (Account, ContactID)) WITHOUT ROWID;"
    "CREATE UNIQUE INDEX SyncItemHref ON SyncItem (Account, Href);"
    "CREATE INDEX SyncItemContact ON SyncItem (ContactID);";

int userVersion(Connection &cn)
{
    Statement st(cn.handle(), "PRAGMA user_version");
    if (st.step() != SQLITE_ROW)
        cn.fail(st.prepareResult() ? st.prepareResult() : SQLITE_ERROR);
    return int(st.int64(0));
}

void run(Connection &cn, const char *sql)
{
    const int rc = sqlite3_exec(cn.handle(), sql, nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        cn.fail(rc);
}

// The file's change counter, which every write transaction of any program
// raises by one in the rollback journal's modes (not in WAL mode: none then).
// Read through the engine's own handle of the file (a handle of our own,
// closed, would let go of the engine's locks); the caller holds a lock.
std::optional<quint32> changeCounter(Connection &cn)
{
    {
        Statement mode(cn.handle(), "PRAGMA journal_mode");
        if (mode.step() != SQLITE_ROW)
            return std::nullopt;
        const QByteArray m = mode.utf8(0).toByteArray().toLower();
        if (m != "delete" && m != "truncate" && m != "persist")
            return std::nullopt;
    }
    sqlite3_file *file = nullptr;
    if (sqlite3_file_control(cn.handle(), "main", SQLITE_FCNTL_FILE_POINTER, &file) != SQLITE_OK || !file ||
        !file->pMethods)
        return std::nullopt;
    unsigned char b[4];
    if (file->pMethods->xRead(file, b, 4, 24) != SQLITE_OK)
        return std::nullopt;
    return quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | quint32(b[3]);
}

// Whether nobody has written the file since the program last left it with
// its side tables in line (NoteLeaving).
bool untouchedSinceLeft(Connection &cn)
{
    Transaction reading(cn.handle());
    if (!reading.active())
        return false;
    Statement st(cn.handle(), "SELECT Value FROM BookState WHERE Name = 'left'");
    if (st.step() != SQLITE_ROW)
        return false;
    const std::optional<quint32> now = changeCounter(cn);
    return now && st.columnType(0) == SQLITE_INTEGER && st.int64(0) == qint64(*now);
}

} // namespace

namespace BookSchema {

Status Prepare(Connection &cn)
{
    const int found = userVersion(cn);
    if (found > kVersion)
        return Status::Newer;
    Status status = Status::Current;
    if (found < kVersion) {
        Transaction t(cn.handle());
        if (!t.active())
            cn.fail(t.beginResult());
        // Another process may have upgraded it meanwhile.
        const int now = userVersion(cn);
        if (now == 0)
            run(cn, kCreate);
        if (now < 2)
            run(cn, kUpgrade2);
        if (now < 3)
            run(cn, kUpgrade3);
        if (now < 4)
            run(cn, kUpgrade4);
        if (now < kVersion)
            run(cn, "PRAGMA user_version = 4");
        if (!t.commit())
            cn.fail(t.commitResult());
        status = Status::Upgraded;
    }
    const qint64 version = cn.dataVersion();
    if (status == Status::Upgraded || (!untouchedSinceLeft(cn) && ChangedOutside(cn))) {
        Reconcile(cn);
        NoteState(cn);
    }
    cn.setLookedIntoVersion(version);
    SearchText::Refresh(cn);
    return status;
}

void NoteLeaving(Connection &cn) noexcept
{
    try {
        if (!cn.sideTablesUsable() || cn.lookedIntoVersion() < 0 || !sqlite3_get_autocommit(cn.handle()))
            return;
        // Closing does not wait for another writer: the next start counts.
        sqlite3_busy_timeout(cn.handle(), 0);
        // Begun at once for writing, so that no other writer can commit
        // meanwhile: the counter read is the one this commit raises by one.
        Transaction t(cn.handle());
        if (!t.active() || cn.dataVersion() != cn.lookedIntoVersion())
            return;
        const std::optional<quint32> counter = changeCounter(cn);
        if (!counter)
            return;
        Statement st(cn.handle(), "INSERT OR REPLACE INTO BookState VALUES ('left', ?1)");
        st.bind(1, qint64(quint32(*counter + 1)));
        if (st.step() == SQLITE_DONE)
            t.commit();
    } catch (const StoreError &) {
    }
}

void Reconcile(Connection &cn)
{
    Transaction t(cn.handle());
    if (!t.active())
        cn.fail(t.beginResult());
    run(cn, "INSERT INTO ContactMeta (ContactID, Uid) SELECT ContactID, new_uid() FROM Contacts"
            " WHERE ContactID NOT IN (SELECT ContactID FROM ContactMeta)");
    run(cn, "DELETE FROM ContactMeta WHERE ContactID NOT IN (SELECT ContactID FROM Contacts)"
            " AND ContactID NOT IN (SELECT ContactID FROM RecycleBin)"
            " AND ContactID NOT IN (SELECT ContactID FROM JournalRows)");
    // Rows written while the triggers were missing (a copy of the file made
    // by a tool that drops them).
    run(cn, "INSERT INTO ContactFolded (ContactID) SELECT ContactID FROM Contacts"
            " WHERE ContactID NOT IN (SELECT ContactID FROM ContactFolded)");
    run(cn, "DELETE FROM ContactFolded WHERE ContactID NOT IN (SELECT ContactID FROM Contacts)");
    run(cn, "DELETE FROM SyncItem WHERE ContactID NOT IN (SELECT ContactID FROM Contacts)"
            " AND ContactID NOT IN (SELECT ContactID FROM RecycleBin)"
            " AND ContactID NOT IN (SELECT ContactID FROM JournalRows)");
    if (!t.commit())
        cn.fail(t.commitResult());
}

bool ChangedOutside(Connection &cn)
{
    Statement st(cn.handle(), "SELECT (SELECT count(*) FROM Contacts) IS (SELECT Value FROM BookState WHERE Name = 'count')"
                              " AND (SELECT max(ContactID) FROM Contacts) IS (SELECT Value FROM BookState WHERE Name = 'last')");
    if (st.step() != SQLITE_ROW)
        cn.fail(st.prepareResult() ? st.prepareResult() : SQLITE_ERROR);
    return st.int64(0) == 0;
}

void NoteState(Connection &cn)
{
    run(cn, "INSERT OR REPLACE INTO BookState VALUES ('count', (SELECT count(*) FROM Contacts)),"
            " ('last', (SELECT max(ContactID) FROM Contacts))");
}

} // namespace BookSchema
