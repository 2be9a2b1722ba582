#include "store/mdlMDB.h"

#include "context/AppContext.h"
#include "store/BookSchema.h"

SharedConnection &SharedDb()
{
    static SharedConnection shared;
    return shared;
}

void mdlMDB::OpenDatabase(const QString &relativePath, SharedConnection &cn, bool mapped)
{
    cn.reset();
    const QString path = AppFilePath(relativePath);
    cn = Connection::open(path, mapped);
    // The program's side tables, made ready. A newer version's book is only
    // read; one whose side tables cannot be written works without them.
    try {
        if (BookSchema::Prepare(*cn) == BookSchema::Status::Newer) {
            cn = Connection::openForReading(path);
            cn->setSideTablesProblem(QStringLiteral("This contact book was written by a newer version of Ardentia. "
                                                    "It is opened for reading only, so that nothing the newer "
                                                    "version keeps in it is changed."));
        }
    } catch (const StoreError &e) {
        cn->setSideTablesProblem(QStringLiteral("The Recycle bin and undo cannot be used with this contact book.\n\n") +
                                 e.message());
    }
}

void mdlMDB::CloseDatabase(SharedConnection &cn)
{
    // Nobody else is reading through it: what the program leaves is noted.
    if (cn && cn.use_count() == 1)
        BookSchema::NoteLeaving(*cn);
    cn.reset();
}
