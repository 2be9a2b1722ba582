// The engine wrappers: nested transactions, one statement at a time, and text
// the engine would cut or refuse bound safely.
#include "support/CoreTestSupport.h"

#include "sqlite/Database.h"
#include "sqlite/Statement.h"
#include "sqlite/Transaction.h"

#include <QTest>

#include <sqlite3.h>

class tst_Sqlite : public QObject
{
    Q_OBJECT

    TempAppFolder m_folder;
    Database m_db;

    void insert(qint64 x) { QCOMPARE(Statement(m_db.handle(), "INSERT INTO t VALUES (?)").bind(1, x).step(), SQLITE_DONE); }

private slots:
    void initTestCase()
    {
        QCOMPARE(m_db.open(m_folder.file("t.sqlite"), Database::Mode::ReadWriteCreate, 50), SQLITE_OK);
        QCOMPARE(m_db.exec("CREATE TABLE t (x)"), SQLITE_OK);
    }
    // An inner rollback undoes only its part; the outer one decides (0 rollback, 1 commit, 2 destructor).
    void nested()
    {
        const struct { bool innerCommits; int outer; QString kept; } cases[] = {
            {false, 1, "1,3"}, {true, 1, "1,2,3"}, {true, 0, ""}, {true, 2, ""}};
        for (const auto &c : cases) {
            QCOMPARE(m_db.exec("DELETE FROM t"), SQLITE_OK);
            {
                Transaction tx(m_db.handle());
                insert(1);
                {
                    Transaction inner(m_db.handle());
                    insert(2);
                    QVERIFY(tx.active() && inner.active() && (!c.innerCommits || inner.commit()));
                } // rolled back here unless committed
                insert(3);
                QVERIFY(c.outer != 1 || tx.commit());
                if (c.outer == 0)
                    tx.rollback();
            }
            Statement st(m_db.handle(), "SELECT group_concat(x) FROM (SELECT x FROM t ORDER BY x)");
            QVERIFY(sqlite3_get_autocommit(m_db.handle()) && st.step() == SQLITE_ROW);
            QCOMPARE(st.text(0), c.kept);
        }
    }
    // BEGIN IMMEDIATE: a second writer is refused at once, not in the middle of its change.
    void secondWriterRefused()
    {
        Database other;
        QCOMPARE(other.open(m_folder.file("t.sqlite"), Database::Mode::ReadWrite, 50), SQLITE_OK);
        Transaction first(m_db.handle()), second(other.handle());
        QVERIFY(first.active() && !second.active() && !second.commit() && (second.beginResult() & 0xff) == SQLITE_BUSY);
    }
    void oneStatementOnly()
    {
        const struct { QByteArray sql; bool prepared, tail; } cases[] = {
            {"SELECT 1 ;\r\n\t; ", true, false}, {"SELECT 1; DROP TABLE t", true, true}, {"  ", false, false}, {"SELEKT 1", false, false}};
        for (const auto &c : cases) {
            Statement st(m_db.handle(), c.sql);
            QVERIFY2(st.isPrepared() == c.prepared && (st.prepareResult() == SQLITE_OK) == c.prepared && st.hadTail() == c.tail &&
                         st.step() == (c.prepared ? SQLITE_ROW : st.prepareResult()), c.sql.constData());
        }
        QCOMPARE(m_db.exec("SELECT x FROM t"), SQLITE_OK); // the table is still there
    }
    // NULs dropped, lone surrogates replaced, pairs kept; the empty text (even without bytes) is not NULL.
    void textBoundSafely()
    {
        const QString typed = QChar(0xDC00) + QString::fromUtf16(u"a\0b", 3) + QChar(0xD800) + QStringLiteral("\U0001F600");
        Statement st(m_db.handle(), "SELECT ?1, typeof(?2) || typeof(?3)");
        QCOMPARE(st.bind(1, typed).bind(2, QStringLiteral("")).bindUtf8(3, QByteArrayView()).step(), SQLITE_ROW);
        QCOMPARE(st.text(0) + st.text(1), QStringLiteral("\uFFFDab\uFFFD\U0001F600texttext"));
    }
};

QTEST_GUILESS_MAIN(tst_Sqlite)
#include "tst_sqlite.moc"
