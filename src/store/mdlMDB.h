#pragma once

#include "store/Connection.h"
#include "store/Recordset.h"
#include "store/StoreError.h"

#include <QString>

// The process's one connection, alive from the main window's load to its unload.
SharedConnection &SharedDb();

namespace mdlMDB {
// Opens application folder + relativePath into `cn` with the program's side
// tables ready (see BookSchema); throws StoreError when the book cannot be
// opened. A book whose side tables cannot be used is still opened: the
// connection says why (Connection::sideTablesProblem). `mapped`: see
// Connection::open.
void OpenDatabase(const QString &relativePath, SharedConnection &cn, bool mapped = false);
// Closes and releases the connection; the reference becomes empty. Whoever
// still reads through it keeps it open until they are done.
void CloseDatabase(SharedConnection &cn);
} // namespace mdlMDB
