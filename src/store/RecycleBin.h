#pragma once

#include "store/Journal.h"

#include <QString>

class Connection;

// Removed contacts wait in the Recycle bin, every column kept with the time of
// removal, until they are restored (with the same ContactID) or deleted for
// good. Each operation is one undoable step; all throw StoreError, and one
// whose contact is not where it should be says "no longer exists".
namespace RecycleBin {

// "Ann Adams": how a step names a contact (its first and last name).
QString DisplayName(Connection &cn, qint64 contactId);

ChangeSummary Remove(Connection &cn, qint64 contactId);
ChangeSummary Restore(Connection &cn, qint64 contactId);
ChangeSummary DeleteForGood(Connection &cn, qint64 contactId);
// Deletes every contact in the bin for good; nothing when it is empty.
ChangeSummary Empty(Connection &cn);
int Count(Connection &cn);

} // namespace RecycleBin
