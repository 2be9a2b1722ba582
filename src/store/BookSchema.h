#pragma once

#include <QtGlobal>

class Connection;

// The program's own data beside Contacts, in side tables of the same file,
// keyed by ContactID. Contacts keeps exactly its twelve columns, so that other
// programs that read or write the file keep working.
// - ContactMeta: every contact's stable UID (kept for contacts in the bin and
//   those the journal can bring back, too), what it brought from another
//   program that has no column (Kept: vCard lines), its last change (Rev);
// - RecycleBin: removed contacts, all their columns and the time of removal;
// - Journal, JournalRows: the changes, for undo and redo and each contact's
//   history;
// - ContactFolded: the searched columns folded, for search;
// - BookState: what the program last knew of Contacts, to notice writes of
//   other programs between two runs;
// - SyncAccount, SyncItem: CardDAV accounts and where each contact lives on
//   each account's server.
// The version of these tables is PRAGMA user_version.
namespace BookSchema {

constexpr int kVersion = 4;

enum class Status {
    Current,  // the side tables were there, as this version makes them
    Upgraded, // created or brought up to this version now
    Newer     // written by a newer version: nothing was changed
};

// Creates the side tables when missing or upgrades older ones, in one
// transaction, then reconciles them with Contacts when another program has
// written it. A file of a newer version is left exactly as it is. Throws
// StoreError.
Status Prepare(Connection &cn);

// Brings the side tables in line with Contacts, which another program may
// have written: a contact without a UID gets one, side rows of a contact that
// exists nowhere (not in Contacts, the bin or the journal) are dropped.
void Reconcile(Connection &cn);

// True when Contacts has changed since the program last wrote down its
// count and highest key (between two runs, or by another program).
bool ChangedOutside(Connection &cn);
// Writes down Contacts' count and highest key as they are now.
void NoteState(Connection &cn);

// Before the program lets go of the book: when every write of another
// connection has been looked into, notes the state of the file the program
// leaves, so that the next Prepare need not count Contacts again (a large
// book's every page) when nobody has written since. Failures are ignored:
// the next Prepare counts. The connection no longer waits for other writers
// afterwards: it is about to be closed.
void NoteLeaving(Connection &cn) noexcept;

} // namespace BookSchema
