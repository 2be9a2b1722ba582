#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

class Connection;

// Where a contact is: in Contacts, in the Recycle bin, or nowhere.
enum class Place { Nowhere = 0, Contacts = 1, Bin = 2 };

// A contact's columns after its key, as text, in table order (First_Name ...
// Picture), with where it was.
struct ContactState
{
    Place place = Place::Nowhere;
    QStringList columns;
    QString removedAt;
    QString kept; // ContactMeta.Kept
    QString value(const char *column) const;
};

// What a change did to the contacts it touched: their first and last names and
// category before and after it, for the tree to follow (when the change
// touched few contacts; `many` otherwise).
struct ChangeSummary
{
    struct Keys
    {
        bool present = false; // in Contacts
        QString first, last, category;
    };
    QList<Keys> before, after;
    QList<qint64> contacts;
    bool many = false;
};

// One change the user makes to the contacts, kept so that it can be undone and
// redone and so that each contact has a history. Everything the step changes,
// and the record of it, is written in one transaction: a crash leaves the old
// state or the new, never half. A step keeps each touched contact's state
// from before the change; undoing it puts those states back (keeping the ones
// it replaces, for redo). Beginning a step drops the steps undone before it.
class JournalStep
{
public:
    // Throws StoreError.
    JournalStep(Connection &cn, const QString &name);
    // Rolls back everything unless committed.
    ~JournalStep();
    JournalStep(const JournalStep &) = delete;
    JournalStep &operator=(const JournalStep &) = delete;

    // Keeps the contact's present state as its state before this step; call
    // it before changing the contact. The first call for a contact counts.
    void keepBefore(qint64 contactId);
    // The contacts with keys in [first, last] were added by this step: they
    // were nowhere before it. Each gets a UID unless the caller gave them
    // theirs (with the time of the change as their Rev).
    void keepAdded(qint64 first, qint64 last, bool giveUids = true);
    // Ends the step; what it did, for the tree.
    ChangeSummary commit();

private:
    struct Private;
    Connection &m_cn;
    std::unique_ptr<Private> d;
};

namespace Journal {

struct StepInfo
{
    qint64 step = 0;
    QString name;
    QString at; // ISO time
};

// The step Undo would undo: the last one done. None when there is none.
std::optional<StepInfo> NextUndo(Connection &cn);
// The step Redo would redo: the first one undone after the last done.
std::optional<StepInfo> NextRedo(Connection &cn);
// Undoes or redoes that step, in one transaction. Throws StoreError.
ChangeSummary Undo(Connection &cn);
ChangeSummary Redo(Connection &cn);

// The contact's earlier versions, newest first: each one's state and the step
// that replaced it (its name and time).
struct Version
{
    StepInfo replacedBy;
    ContactState state;
};
QList<Version> History(Connection &cn, qint64 contactId);

// Forgets steps beyond the newest `keepSteps`, and those done before
// `keepDays` days ago; deletes for good the contacts removed to the bin before
// then. Returns how many contacts left the bin.
int Prune(Connection &cn, int keepDays, int keepSteps);

} // namespace Journal
