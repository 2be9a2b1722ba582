#include "store/mdlMDB.h"

#include "context/AppContext.h"

SharedConnection &SharedDb()
{
    static SharedConnection shared;
    return shared;
}

void mdlMDB::OpenDatabase(const QString &relativePath, SharedConnection &cn)
{
    cn.reset();
    cn = Connection::open(AppFilePath(relativePath));
}

void mdlMDB::CloseDatabase(SharedConnection &cn)
{
    cn.reset();
}
