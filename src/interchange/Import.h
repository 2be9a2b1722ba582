#pragma once

// Bringing cards into the book: first read and weighed (how many are new, how
// many update a contact the book has, which were skipped and why), nothing
// written; then written as one step of the journal, so that one Undo takes the
// whole import back, and a cancel or failure leaves nothing of it.

#include "interchange/ContactCard.h"
#include "interchange/CsvMapping.h"
#include "store/Journal.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class Connection;

namespace Import {

// Told how far the work has come (0..total); returning false cancels it.
using Progress = std::function<bool(qint64 done, qint64 total)>;

struct Skipped
{
    QString file;
    int line = 0;
    QString reason;
};

struct Plan
{
    QList<ContactCard::Contact> contacts;
    QList<qint64> existing; // per contact: the ContactID it updates, 0 when new
    int added = 0;
    int updated = 0;
    QList<Skipped> skipped;
    // Set when a file cannot be imported at all (not vCard, unreadable): then
    // nothing may be written.
    QString refused;
    bool cancelled = false;
};

// Asked when a CSV file's header is of no exporter the program knows: may
// change the mapping (it starts from a guess, or what was chosen before for
// the same header); false refuses the file. Without it such a file is refused
// with its columns named.
using ChooseMapping = std::function<bool(const QString &file, const Csv::Table &table, CsvMapping::Mapping &mapping)>;

// Reads the files (vCard; CSV by a .csv, .tsv or .txt name, or by its content
// when the name says neither) and finds which cards update contacts of the
// book (by UID). A card whose UID came twice updates the earlier one.
Plan Read(Connection &cn, const QStringList &files, const Progress &progress = {}, const ChooseMapping &choose = {});

// The mapping last chosen for a CSV header set (CsvMapping::Key), kept in the
// book; empty when none.
QString RememberedMapping(Connection &cn, const QString &key);
void RememberMapping(Connection &cn, const QString &key, const QString &mapping);
// The same for cards already in memory (a drop, a test).
Plan ReadData(Connection &cn, const QByteArray &data, const QString &name, const Progress &progress = {});

struct Result
{
    int added = 0;
    int updated = 0;
    bool cancelled = false;
    ChangeSummary summary; // for the tree to follow
};

// Writes the plan as one undoable step. Embedded pictures go to
// `picturesFolder`. Throws StoreError; a cancel rolls everything back.
Result Write(Connection &cn, const Plan &plan, const QString &picturesFolder, const Progress &progress = {});

// "3 added, 1 updated, 2 skipped", as the user is told.
QString Summary(int added, int updated, int skipped);

} // namespace Import
