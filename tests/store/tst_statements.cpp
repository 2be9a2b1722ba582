// The statement catalogue: exact texts for ordinary values, and values that
// would break a spliced statement stored and found again.
#include "common/TestSupport.h"

#include "app/AppContext.h"
#include "store/Statements.h"
#include "store/TextSanitize.h"
#include "store/mdlMDB.h"

#include <QTest>

namespace {

// The ContactIDs the statement yields, in order.
QList<qint64> keysOf(Connection &cn, const QString &statement)
{
    QList<qint64> keys;
    Recordset rs(cn);
    for (rs.open(statement); !rs.atEnd(); rs.moveNext())
        keys << rs.field("ContactID").toLongLong();
    return keys;
}

} // namespace

class tst_Statements : public QObject
{
    Q_OBJECT

private slots:
    void catalogueTexts_data()
    {
        QTest::addColumn<QString>("built");
        QTest::addColumn<QString>("expected");
        QTest::newRow("3") << Statements::FirstNameLike("M") << "SELECT * FROM Contacts WHERE First_Name like 'M%'";
        QTest::newRow("4") << Statements::LastNameLike("Ö") << "SELECT * FROM Contacts WHERE Last_Name like 'Ö%'";
        QTest::newRow("5") << Statements::ContactsInCategory("Friends")
                           << "SELECT * FROM Contacts WHERE Category ='Friends'";
        QTest::newRow("9") << Statements::SearchOneField("Company", "acme b")
                           << "SELECT * FROM Contacts WHERE Company like '%acme b%'";
        QTest::newRow("10") << Statements::SearchAllFields("x y")
                            << "SELECT * FROM Contacts WHERE First_Name like '%x y%' or Last_Name like '%x y%' or "
                               "Company like '%x y%' or Phones like '%x y%' or Mails like '%x y%' or Category like "
                               "'%x y%' or Address like '%x y%' or Websites like '%x y%' or Notes like '%x y%'";
        QTest::newRow("quote doubled") << Statements::ContactsInCategory("O'Brien")
                                       << "SELECT * FROM Contacts WHERE Category ='O''Brien'";
    }
    void catalogueTexts()
    {
        QFETCH(QString, built);
        QFETCH(QString, expected);
        QCOMPARE(built, expected);
    }

    void hostileValues_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("O'Brien") << "O'Brien";
        QTest::newRow("injection") << "'; DROP TABLE Contacts; --";
        QTest::newRow("quotes and wildcards") << "50% 'off' \"all\" a_b";
        QTest::newRow("non-ascii") << "Émile Ärger Σοφία Дмитрий 𝔸";
        QTest::newRow("embedded NUL") << QString::fromUtf16(u"nul\0inside", 10);
        QTest::newRow("lone surrogate") << QStringLiteral("x") + QChar(0xD800) + QStringLiteral("y");
        QTest::newRow("100 000 characters") << QString(100000, QLatin1Char('n')) + QStringLiteral("'end");
    }
    // Stored through add and update, found through the catalogue; the table survives.
    void hostileValues()
    {
        QFETCH(QString, value);
        TempAppFolder folder;
        SeedContacts({{{"First_Name", "Other"}, {"Category", "Plain"}}});
        auto cn = Connection::open(AppFilePath("/db/db.sqlite"));
        const QString stored = SanitizedText(value);

        qint64 key = 0;
        {
            Recordset rs(*cn);
            rs.open(Statements::AllContacts());
            rs.addNew();
            for (const char *column : {"First_Name", "Last_Name", "Company", "Category", "Notes"})
                rs.setField(column, value);
            rs.update();
            key = rs.currentKey();
        }
        QCOMPARE(keysOf(*cn, Statements::ContactsInCategory(value)), QList<qint64>{key});
        QCOMPARE(keysOf(*cn, Statements::SearchOneField("Notes", value)), QList<qint64>{key});
        QCOMPARE(keysOf(*cn, Statements::SearchAllFields(value)), QList<qint64>{key});
        QVERIFY(keysOf(*cn, Statements::FirstNameLike(value.left(1))).contains(key));
        QCOMPARE(keysOf(*cn, Statements::ContactsInCategory("Plain")).size(), 1);
        {
            Recordset rs(*cn);
            rs.open(Statements::ContactById(key));
            QCOMPARE(rs.text("Notes"), stored);
            QCOMPARE(rs.text("Company"), stored);
            rs.setField("Address", value);
            rs.setField("Category", value + value);
            rs.update();
        }
        QCOMPARE(keysOf(*cn, Statements::ContactsInCategory(value + value)), QList<qint64>{key});
        QCOMPARE(keysOf(*cn, Statements::SearchOneField("Address", value)), QList<qint64>{key});
        QCOMPARE(CountContacts(), 2);
    }

    void distinctAndColumnStatements()
    {
        TempAppFolder folder;
        auto cn = Connection::open(AppFilePath("/db/db.sqlite"));
        QCOMPARE(keysOf(*cn, Statements::AllContacts()).size(), 0);
        SeedContacts({{{"First_Name", "A"}, {"Category", "x"}},
                      {{"First_Name", "B"}, {"Category", "x"}},
                      {{"First_Name", "C"}},
                      {{"First_Name", "D"}, {"Category", ""}}});
        QStringList categories;
        Recordset rs(*cn);
        for (rs.open(Statements::DistinctColumn("Category")); !rs.atEnd(); rs.moveNext())
            categories << (rs.field(0).isNull() ? QStringLiteral("<null>") : rs.text(0));
        categories.sort();
        QCOMPARE(categories, QStringList({"", "<null>", "x"}));
        int names = 0;
        for (rs.open(Statements::ColumnValues("First_Name")); !rs.atEnd(); rs.moveNext())
            ++names;
        QCOMPARE(names, 4);
        QCOMPARE(keysOf(*cn, Statements::ContactById(999)).size(), 0);
    }
};

QTEST_MAIN(tst_Statements)
#include "tst_statements.moc"
