// The record set and the statement catalogue: the current row, files that are no database, values that
// would break a spliced statement, reading in slices of the key range, and the tree's values.
#include "support/CoreTestSupport.h"

#include "context/AppContext.h"
#include "sqlite/TextSanitize.h"
#include "store/Statements.h"
#include "store/TreeValues.h"
#include "store/mdlMDB.h"

#include <QFile>
#include <QTest>

using Keys = QList<qint64>;

// The keys of the rows read, resuming after every pause (counted).
static Keys keysOf(Recordset &rs, int *pauses = nullptr)
{
    Keys keys;
    for (; !rs.atEnd(); rs.paused() ? (++*pauses, rs.resume()) : rs.moveNext())
        if (!rs.paused())
            keys << rs.field("ContactID").toLongLong();
    return keys;
}

class tst_Recordset : public QObject
{
    Q_OBJECT

    std::optional<TempAppFolder> m_folder;
    SharedConnection m_cn;

    Keys keysOf(const QString &statement) { Recordset rs(*m_cn); rs.open(statement); return ::keysOf(rs); }

private slots:
    void init() { m_cn.reset(); m_folder.emplace(); m_cn = Connection::open(AppFilePath("/db/db.sqlite")); }

    void walkChangeAndMisuse()
    {
        SeedContacts({{{"First_Name", "a"}, {"Phones", "1:*:\r\n"}}, {{"First_Name", "b"}}, {{"First_Name", "c"}}});
        Recordset rs(*m_cn), other(*m_cn);
        rs.open(Statements::AllContacts());
        QCOMPARE(rs.columnCount(), ContactColumns().size()); // every column, in order
        for (int i = 0; i < rs.columnCount(); ++i)
            QCOMPARE(rs.columnIndex(qPrintable(ContactColumns().at(i).toLower())), i);
        QVERIFY(rs.field("Phones") == "1:*:\r\n" && rs.field("Notes").isNull() && rs.text("Notes").isEmpty());
        rs.moveNext();
        rs.setField("First_Name", "B!");
        rs.update(); // the current row, and only it
        rs.moveNext();
        rs.deleteCurrent();
        rs.moveNext(); // at the end: nothing to read, change or remove
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.field("First_Name"));
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.moveNext());
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.setField("Notes", "x"));
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.deleteCurrent());
        QCOMPARE(QueryText("SELECT group_concat(First_Name) FROM Contacts"), QStringLiteral("a,B!"));
        for (const char *bad : {"SELECT * FROM Contacts; DROP TABLE Contacts", "SELECT * FROM NoSuchTable", " "})
            QVERIFY_THROWS_EXCEPTION(StoreError, rs.open(bad));
        // A row removed meanwhile is neither saved nor removed again; keys are not reused.
        rs.open(Statements::FirstNameLike("b"));
        other.open(Statements::FirstNameLike("b"));
        other.deleteCurrent();
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.field("NoSuchColumn"));
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.setField("ContactID", 7));
        rs.setField("Notes", "lost?");
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.update());
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.deleteCurrent());
        rs.addNew();
        rs.update();
        QVERIFY(rs.currentKey() == 4 && CountContacts() == 2);
        // A file that is not a database is reported, naming it, and left as it was.
        const QString junk = m_folder->file("junk.sqlite");
        QString reported;
        QVERIFY(WriteFile(junk, QByteArray(3000, 'Z')));
        try { Connection::open(junk); } catch (const StoreError &e) { reported = e.message().isEmpty() ? "" : e.file(); }
        QFile f(junk);
        QVERIFY(reported == junk && f.open(QIODevice::ReadOnly) && f.readAll() == QByteArray(3000, 'Z'));
    }
    // Stored through add, found through the catalogue; the table survives.
    void hostileValues_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("O'Brien") << "O'Brien";
        QTest::newRow("injection") << "'; DROP TABLE Contacts; --";
        QTest::newRow("quotes and wildcards") << "50% 'off' \"all\" a_b \\";
        QTest::newRow("NUL") << QString::fromUtf16(u"nul\0'inside", 11);
        QTest::newRow("lone surrogate") << QStringLiteral("x") + QChar(0xD800) + QStringLiteral("'y");
    }
    void hostileValues()
    {
        QFETCH(QString, value);
        SeedContacts({{{"First_Name", "Other"}, {"Category", "Plain"}}});
        Recordset rs(*m_cn);
        rs.open(Statements::AllContacts());
        rs.addNew();
        for (const char *column : {"Last_Name", "Address", "Category", "Notes"})
            rs.setField(column, value);
        rs.update();
        const Keys only{rs.currentKey()};
        rs.open(Statements::ContactById(only[0]));
        QCOMPARE(rs.text("Notes"), SanitizedText(value));
        QCOMPARE(keysOf(Statements::ContactsInCategory(value)), only);
        QCOMPARE(keysOf(Statements::SearchOneField("Address", value)), only);
        QCOMPARE(keysOf(Statements::SearchAllFields(value)), only);
        QCOMPARE(keysOf(Statements::LastNameLike(value.left(1))), only);
        QCOMPARE(keysOf(Statements::ContactsInCategory("Plain")).size(), 1);
    }
    // A letter node means that very character, "%" and "_" too, in either case.
    void letterNodes()
    {
        SeedContacts({{{"First_Name", "%off"}, {"Last_Name", "_x"}}, {{"First_Name", "_x"}, {"Last_Name", "\\y"}},
                      {{"First_Name", "\\y"}, {"Last_Name", "ärger"}}, {{"First_Name", "Émile"}, {"Last_Name", "%off"}}});
        const Keys found = keysOf(Statements::FirstNameLike("%")) + keysOf(Statements::FirstNameLike("_")) +
                           keysOf(Statements::FirstNameLike("\\")) + keysOf(Statements::LastNameLike("%"));
        QCOMPARE(found + keysOf(Statements::LastNameLike("_")), Keys({1, 2, 3, 4, 1}));
        QCOMPARE(keysOf(Statements::LastNameLike("Ä")) + keysOf(Statements::FirstNameLike("é")), Keys({3, 4}));
    }
    // Read in slices, or paused and resumed at every slice's end, a statement gives the rows it gives whole.
    void slices()
    {
        bool pause = false;
        int betweens = 0, pauses = 0;
        Recordset rs(*m_cn);
        rs.readInSlices([&] { return ++betweens < 1000 && !pause; });
        rs.prepare(Statements::ContactsInCategory("Home"));
        rs.start();
        QVERIFY(rs.atEnd() && !rs.paused() && betweens == 0); // an empty table
        // Dense keys across several slice ends, negative ones, sparse ones, and many empty slices.
        m_cn->exec("WITH RECURSIVE k(x) AS (SELECT -5 UNION ALL SELECT x + iif(x < 40000, 1, 17) FROM k WHERE x < 70000) "
                   "INSERT INTO Contacts (ContactID, First_Name, Category) SELECT x, iif(x % 3, 'Anna', 'Bert'), "
                   "iif(x % 5, 'Work', 'Home') FROM (SELECT x FROM k UNION ALL SELECT 1000000)");
        for (const Statements::Query &query : {Statements::FirstNameLike("b"), Statements::ContactsInCategory("Home"),
                                               Statements::SearchOneField("First_Name", "zz"),
                                               Statements::SearchAllFields("nn"), {Statements::AllContacts().text, true}}) {
            const Keys whole = keysOf(query.text);
            for (const bool p : {true, false}) { // unpaused last, for the far key below
                pause = p;
                betweens = pauses = 0;
                rs.prepare(query);
                rs.start();
                if (pause && whole.isEmpty()) {
                    QVERIFY(rs.paused() && !rs.atEnd());
                    QVERIFY_THROWS_EXCEPTION(StoreError, rs.field("ContactID"));
                    QVERIFY_THROWS_EXCEPTION(StoreError, rs.moveNext());
                }
                QCOMPARE(::keysOf(rs, &pauses), whole);
                QVERIFY2(betweens > 3 && pauses == (pause ? betweens : 0), qPrintable(query.text));
            }
        }
        // A far key is a few slices away, not one per 8192 keys between: such a list would never fill.
        m_cn->exec("INSERT INTO Contacts (ContactID, Category) VALUES (1099511627776, 'x')");
        betweens = 0;
        rs.prepare(Statements::ContactsInCategory("x"));
        rs.start();
        QVERIFY2(!rs.paused() && rs.currentKey() == 1099511627776, "the far key is read");
    }
    // "a" and "A" are two letters, a 4-byte character one; null and empty values give none.
    void treeValues()
    {
        SeedContacts({{{"First_Name", "anna"}, {"Category", "Work"}}, {{"First_Name", "Anna"}, {"Category", ""}},
                      {{"First_Name", ""}}, {{"Category", "Home"}}, {{"First_Name", "😀x"}, {"Category", "Work"}},
                      {{"First_Name", "😁"}, {"Category", "Home"}}, {{"First_Name", "émile"}, {"Category", "work"}},
                      {{"First_Name", "Émile"}}, {{"First_Name", "abe"}}});
        const std::atomic<bool> cancel{true}; // set before the walk: it gives nothing
        TreeValues tree, cancelled;
        tree.collect(*m_cn, "First_Name", "Category");
        cancelled.collect(*m_cn, "First_Name", "Category", &cancel);
        QCOMPARE(tree.letters(), QStringList({"a", "A", "😀", "😁", "é", "É"}));
        QCOMPARE(tree.categories(), QStringList({"Work", "Home", "work"}));
        QCOMPARE(cancelled.letters() + cancelled.categories(), QStringList());
    }
};

QTEST_GUILESS_MAIN(tst_Recordset)
#include "tst_recordset.moc"
