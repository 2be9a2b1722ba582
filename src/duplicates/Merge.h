#pragma once

#include "store/Journal.h"

#include <QList>
#include <QString>

class Connection;

namespace Duplicates {

// One contact kept, the others merged into it.
struct MergeGroup
{
    qint64 keep = 0;
    QList<qint64> others;
};

// Merges each group into its kept contact, all in one undoable step, losing
// nothing: the kept contact gets every phone, mail and site of the others it
// lacks (with their descriptions; phones compared as the network sees them,
// numbers without "+" dialled in `region`, the system's when empty), their
// notes that differ from its own, their kept card lines, and the first value
// of theirs for each of its empty fields. The others go to the Recycle bin.
// Throws StoreError ("no longer exists" when a contact is not in Contacts).
ChangeSummary Merge(Connection &cn, const QList<MergeGroup> &groups, const QString &region = QString());

// The kept contact as Merge would leave it (its columns First_Name ...
// Picture and kept lines), nothing written.
ContactState MergedPreview(Connection &cn, const MergeGroup &group, const QString &region = QString());

} // namespace Duplicates
