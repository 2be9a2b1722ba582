#include "store/RecycleBin.h"

#include "sqlite/Statement.h"
#include "store/Connection.h"
#include "store/DateText.h"
#include "store/StoreError.h"

#include <QDateTime>

#include <sqlite3.h>

namespace {

const char kColumns[] =
    "First_Name, Last_Name, Company, Address, Category, Phones, Mails, Websites, Notes, Date_Registed, Picture";

void run(Connection &cn, const QByteArray &sql, qint64 id, const QString &text = QString())
{
    Statement st(cn.handle(), sql);
    st.bind(1, id);
    if (!text.isNull())
        st.bind(2, text);
    const int rc = st.step();
    if (rc != SQLITE_DONE)
        cn.fail(rc);
}

[[noreturn]] void gone(Connection &cn)
{
    throw StoreError(SQLITE_NOTFOUND, QStringLiteral("The contact no longer exists in the database."), cn.path());
}

} // namespace

namespace RecycleBin {

QString DisplayName(Connection &cn, qint64 contactId)
{
    Statement st(cn.handle(), "SELECT trim(coalesce(First_Name, '') || ' ' || coalesce(Last_Name, '')) FROM"
                              " (SELECT First_Name, Last_Name FROM Contacts WHERE ContactID = ?1 UNION ALL"
                              " SELECT First_Name, Last_Name FROM RecycleBin WHERE ContactID = ?1) LIMIT 1");
    st.bind(1, contactId);
    const QString name = st.step() == SQLITE_ROW ? st.text(0) : QString();
    return name.isEmpty() ? QStringLiteral("a contact without a name") : name;
}

ChangeSummary Remove(Connection &cn, qint64 contactId)
{
    JournalStep step(cn, QStringLiteral("removal of ") + DisplayName(cn, contactId));
    step.keepBefore(contactId);
    run(cn, QByteArray("INSERT INTO RecycleBin (ContactID, ") + kColumns + ", RemovedAt) SELECT ContactID, " +
                kColumns + ", ?2 FROM Contacts WHERE ContactID = ?1",
        contactId, StoredDateTime(QDateTime::currentDateTime()));
    if (sqlite3_changes(cn.handle()) == 0)
        gone(cn);
    run(cn, "DELETE FROM Contacts WHERE ContactID = ?1", contactId);
    return step.commit();
}

ChangeSummary Restore(Connection &cn, qint64 contactId)
{
    JournalStep step(cn, QStringLiteral("restore of ") + DisplayName(cn, contactId));
    step.keepBefore(contactId);
    run(cn, QByteArray("INSERT INTO Contacts (ContactID, ") + kColumns + ") SELECT ContactID, " + kColumns +
                " FROM RecycleBin WHERE ContactID = ?1",
        contactId);
    if (sqlite3_changes(cn.handle()) == 0)
        gone(cn);
    run(cn, "DELETE FROM RecycleBin WHERE ContactID = ?1", contactId);
    return step.commit();
}

ChangeSummary DeleteForGood(Connection &cn, qint64 contactId)
{
    JournalStep step(cn, QStringLiteral("deletion of ") + DisplayName(cn, contactId));
    step.keepBefore(contactId);
    run(cn, "DELETE FROM RecycleBin WHERE ContactID = ?1", contactId);
    if (sqlite3_changes(cn.handle()) == 0)
        gone(cn);
    return step.commit();
}

ChangeSummary Empty(Connection &cn)
{
    if (Count(cn) == 0)
        return ChangeSummary();
    JournalStep step(cn, QStringLiteral("emptying the Recycle bin"));
    {
        Statement ids(cn.handle(), "SELECT ContactID FROM RecycleBin");
        while (ids.step() == SQLITE_ROW)
            step.keepBefore(ids.int64(0));
    }
    run(cn, "DELETE FROM RecycleBin WHERE ?1", 1);
    return step.commit();
}

int Count(Connection &cn)
{
    Statement st(cn.handle(), "SELECT count(*) FROM RecycleBin");
    const int rc = st.step();
    if (rc != SQLITE_ROW)
        cn.fail(rc);
    return int(st.int64(0));
}

} // namespace RecycleBin
