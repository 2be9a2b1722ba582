// Finding contacts that are one person, and merging them without losing a thing.
#include "support/CoreTestSupport.h"

#include "context/AppContext.h"
#include "duplicates/Finder.h"
#include "duplicates/Merge.h"
#include "duplicates/Phone.h"
#include "store/BookSchema.h"
#include "store/Connection.h"
#include "store/StoreError.h"

#include <QTest>

using namespace Duplicates;

namespace {

const QString kBook = QStringLiteral("/db/db.sqlite");

ContactRow person(const QString &first, const QString &last, const QString &phones = {},
                  const QString &mails = {}, const QString &company = {})
{
    ContactRow row{{"First_Name", first}, {"Last_Name", last}};
    if (!phones.isEmpty())
        row.insert("Phones", phones + ":*:\r\n");
    if (!mails.isEmpty())
        row.insert("Mails", mails + ":*:\r\n");
    if (!company.isEmpty())
        row.insert("Company", company);
    return row;
}

// Every stored byte the merge may touch (Rev aside: undo dates it anew).
QString dump()
{
    return QueryText("SELECT group_concat(r, '|') FROM (SELECT ContactID || quote(CAST(First_Name AS BLOB)) || "
                     "quote(CAST(Last_Name || Company || Address || Category || Phones || Mails || Websites || "
                     "Notes || Date_Registed || Picture AS BLOB)) AS r FROM Contacts UNION ALL SELECT 'bin' || "
                     "ContactID || RemovedAt || quote(CAST(Phones || Mails || Notes AS BLOB)) FROM RecycleBin "
                     "UNION ALL SELECT 'meta' || ContactID || quote(Uid) || quote(CAST(Kept AS BLOB)) "
                     "FROM ContactMeta ORDER BY 1)");
}

} // namespace

class tst_Duplicates : public QObject
{
    Q_OBJECT

    std::optional<TempAppFolder> m_folder;
    SharedConnection m_cn;

    void open(const QList<ContactRow> &rows)
    {
        m_cn.reset();
        m_folder.emplace();
        SeedContacts(rows);
        m_cn = Connection::open(AppFilePath(kBook));
        BookSchema::Prepare(*m_cn);
    }

private slots:
    void cleanup() { m_cn.reset(); }

    void phones_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("region");
        QTest::addColumn<QString>("e164");
        QTest::addColumn<bool>("possible");
        QTest::newRow("national") << "020 7946 0018" << "GB" << "+442079460018" << true;
        QTest::newRow("international") << "+44 (0)20 7946-0018" << "US" << "+442079460018" << true;
        QTest::newRow("00 prefix") << "0049 30 901820" << "DE" << "+4930901820" << true;
        QTest::newRow("region in lower case") << "(201) 555-0123" << "us" << "+12015550123" << true;
        QTest::newRow("too short") << "12" << "GB" << "" << false;
        QTest::newRow("too long") << "+1 201 555 0123 4567 89" << "US" << "" << false;
        QTest::newRow("no such country") << "+999 1234 5678" << "GB" << "" << false;
        QTest::newRow("words") << "call me" << "GB" << "" << false;
        QTest::newRow("no region") << "020 7946 0018" << "" << "" << false;
        QTest::newRow("letters") << "1-800-FLOWERS" << "US" << "+18003569377" << true;
        QTest::newRow("extension") << "+44 20 7946 0018 ext. 12" << "GB" << "+442079460018" << true;
        QTest::newRow("extension as x") << "020 7946 0018x12" << "GB" << "+442079460018" << true;
    }
    void phones()
    {
        QFETCH(QString, number);
        QFETCH(QString, region);
        QFETCH(QString, e164);
        QFETCH(bool, possible);
        QCOMPARE(Phone::ToE164(number, region), e164);
        QCOMPARE(Phone::ToE164(QStringList{number, number}, region), QStringList({e164, e164}));
        QCOMPARE(Phone::PossiblyValid(number, region), possible);
        QCOMPARE(Phone::DefaultRegion().size(), 2);
        // The finder reads only numbers whose endings meet: one number, one ending.
        if (!e164.isEmpty())
            QVERIFY2(e164.endsWith(Phone::DialledDigits(number).right(7)), qPrintable(Phone::DialledDigits(number)));
    }

    void findGroups()
    {
        QList<ContactRow> rows = {
            person("Álvaro", "Núñez"),                                               // 1
            person("ALVARO", "nunez", "", "", "Other Ltd"),                          // 2: same name only
            person("Søren", "Kierkegaard", "", "soren@example.dk"),                  // 3
            person("Kierkegaard", "Soren", "", "SOREN@Example.DK"),                  // 4: swapped, mail case
            person("Ann", "Adams", "020 7946 0001"),                                 // 5
            person("Annie", "Walker", "+44 20 7946 0001"),                           // 6: national vs +44
            person("Bob", "Brown", "", "bob.brown@example.org"),                     // 7
            person("Robert", "Brown", "", "Bob.Brown@EXAMPLE.org"),                  // 8
            person("Jonathan", "Smith", "", "", "Initech"),                          // 9
            person("Jonathon", "Smith", "", "", "INITECH"),                          // 10: typo, company
            person("Maria", "García", "+44 20 7946 0002"),                           // 11
            person("Mario", "Garcia", "02079460002"),                                // 12: typo, phone
            person("John", "Smith", "", "", "Acme"),                                 // 13
            person("John", "Smith", "", "", "Globex"),                               // 14
            person("john", "SMITH"),                                                 // 15: three namesakes
            person("Chen", "Wei", "", "wei@example.cn"),                             // 16
            person("陈", "伟", "+86 10 1234 5678", "WEI@example.cn"),                // 17
            person("W.", "Chen", "+861012345678"),                                   // 18: 16-17-18 chained
            person("Desk", "One", "1-2"),                                            // 19
            person("Desk", "Two", "(12)"),                                           // 20: unreadable, same digits
            person("Peter", "Parker"),                                               // 21
            person("Peter", "Barker"),                                               // 22: one letter, nothing else
            person("Karl", "Meyer", "", "", "Umbrella"),                             // 23
            person("Carl", "Meyer", "", "", "umbrella"),                             // 24: first letter differs
            person("Νίκος", "Παπαδόπουλος"),                                         // 25
            person("ΝΙΚΟΣ", "ΠΑΠΑΔΟΠΟΥΛΟΣ"),                                         // 26: Greek accents, sigma
            person("", ""),                                                          // 27
            person("", ""),                                                          // 28: no name: nothing
            person("Eve", "Stone", "020 7946 0003", "eve@example.com"),              // 29
            person("Eva", "Stone", "020 7946 0004", "eva@example.com", "Initech"),   // 30: no shared field
        };
        // Colleagues with names far apart, and strangers: no group.
        const QStringList firsts = {"Ada", "Alan", "Grace", "Linus", "Edsger", "Barbara", "Donald", "Niklaus",
                                    "Frances", "Ken", "Dennis", "Margaret"};
        for (int i = 0; i < firsts.size(); ++i)
            rows << person(firsts[i], QStringLiteral("Fill%1").arg(QChar('A' + i)),
                           QStringLiteral("+44 161 496 %1").arg(1000 + i), firsts[i] + "@example.net", "Initech");
        open(rows);
        const QList<Group> groups = FindDuplicates(*m_cn, "GB");
        struct Expected
        {
            QList<qint64> ids;
            const char *reason;
            bool strong;
        };
        const QList<Expected> expected = {
            {{1, 2}, "same name only", false},
            {{3, 4}, "same name and mail address", true},
            {{5, 6}, "same phone number", true},
            {{7, 8}, "same mail address", true},
            {{9, 10}, "names differ by one letter, same company", false},
            {{11, 12}, "names differ by one letter, same phone number", true},
            {{13, 14, 15}, "same name only", false},
            {{16, 17, 18}, "same mail address and phone number", true},
            {{19, 20}, "same phone number", true},
            {{23, 24}, "names differ by one letter, same company", false},
            {{25, 26}, "same name only", false},
        };
        QCOMPARE(groups.size(), expected.size());
        for (qsizetype i = 0; i < groups.size(); ++i) {
            QCOMPARE(groups[i].contacts, expected[i].ids);
            QCOMPARE(groups[i].reason, QString::fromUtf8(expected[i].reason));
            QCOMPARE(groups[i].strong, expected[i].strong);
        }
        // Progress runs to its end, and stopping it gives nothing.
        qint64 last = -1, end = 0;
        bool ordered = true;
        FindDuplicates(*m_cn, "GB", [&](qint64 done, qint64 total) {
            ordered = ordered && done >= last && done <= total;
            last = done;
            end = total;
            return true;
        });
        QVERIFY(ordered);
        QCOMPARE(last, end);
        QVERIFY(FindDuplicates(*m_cn, "GB", [](qint64, qint64) { return false; }).isEmpty());
    }

    void mergeLosesNothing()
    {
        open({{{"First_Name", "Al"}, {"Phones", "020 7946 0001:*:work\r\n"}, {"Mails", "al@example.org:*:\r\n"},
               {"Notes", "met at the fair"}, {"Category", "Work"}},
              {{"First_Name", "Alan"}, {"Last_Name", "Ash"}, {"Company", "Initech"}, {"Notes", "likes tea\nand cake"},
               {"Phones", "+44 20 7946 0001:*:mobile\r\n0161 496 0000:*:home\r\n"},
               {"Mails", "AL@Example.org:*:old\r\nal.ash@example.net:*:private\r\n"},
               {"Websites", "https://ash.example:*:blog\r\n"}},
              {{"First_Name", "A."}, {"Address", "1 High Street"}, {"Notes", "met at the fair"},
               {"Picture", "al.jpg"}, {"Category", "Home"}},
              {{"First_Name", "Zoë"}, {"Mails", "zoe@example.org:*:\r\n"}},
              {{"First_Name", "Zoe"}, {"Mails", "ZOE@example.org:*:work\r\nzoe@example.com:*:\r\n"}},
              {{"First_Name", "Untouched"}}});
        m_cn->exec("UPDATE ContactMeta SET Kept = 'NICKNAME:Al' WHERE ContactID = 1;"
                   "UPDATE ContactMeta SET Kept = 'NICKNAME:Al\nX-GENDER:M' WHERE ContactID = 2;"
                   "UPDATE ContactMeta SET Kept = 'BDAY:1970-01-01' WHERE ContactID = 3;");
        const QString before = dump();
        const QList<MergeGroup> groups = {{1, {2, 3, 1, 2}}, {4, {5}}};
        const ContactState preview = MergedPreview(*m_cn, groups[0], "GB");
        QCOMPARE(dump(), before);

        Merge(*m_cn, groups, "GB");
        QCOMPARE(Journal::NextUndo(*m_cn)->name, QStringLiteral("merge of 3 duplicates"));
        QCOMPARE(QueryText("SELECT group_concat(ContactID) FROM Contacts"), QStringLiteral("1,4,6"));
        QCOMPARE(QueryText("SELECT group_concat(ContactID) FROM RecycleBin"), QStringLiteral("2,3,5"));
        const QStringList kept = {"Al", "Ash", "Initech", "1 High Street", "Work",
                                  "020 7946 0001:*:work\r\n0161 496 0000:*:home\r\n",
                                  "al@example.org:*:\r\nal.ash@example.net:*:private\r\n",
                                  "https://ash.example:*:blog\r\n", "met at the fair\n\nlikes tea\nand cake", "",
                                  "al.jpg"};
        const QStringList columns = ContactColumns().mid(1);
        for (qsizetype i = 0; i < columns.size(); ++i) {
            QCOMPARE(QueryText("SELECT " + columns[i] + " FROM Contacts WHERE ContactID = 1"), kept[i]);
            QCOMPARE(preview.columns[i], kept[i]);
        }
        QCOMPARE(preview.kept, QStringLiteral("NICKNAME:Al\nX-GENDER:M\nBDAY:1970-01-01"));
        QCOMPARE(QueryText("SELECT Kept FROM ContactMeta WHERE ContactID = 1"), preview.kept);
        QCOMPARE(QueryText("SELECT Mails FROM Contacts WHERE ContactID = 4"),
                 QStringLiteral("zoe@example.org:*:\r\nzoe@example.com:*:\r\n"));
        // The others wait in the bin whole.
        QCOMPARE(QueryText("SELECT Phones || Websites || Notes FROM RecycleBin WHERE ContactID = 2"),
                 QStringLiteral("+44 20 7946 0001:*:mobile\r\n0161 496 0000:*:home\r\nhttps://ash.example:*:blog\r\n"
                                "likes tea\nand cake"));

        const QString after = dump();
        Journal::Undo(*m_cn);
        QCOMPARE(dump(), before);
        Journal::Redo(*m_cn);
        QCOMPARE(dump(), after);
    }

    // A contact gone meanwhile stops the whole merge; nothing is written.
    void mergeOfGoneContact()
    {
        open({{{"First_Name", "A"}}, {{"First_Name", "B"}}, {{"First_Name", "C"}}});
        const QString before = dump();
        QVERIFY_THROWS_EXCEPTION(StoreError, Merge(*m_cn, {{1, {2}}, {3, {9}}}, "GB"));
        QVERIFY_THROWS_EXCEPTION(StoreError, MergedPreview(*m_cn, {9, {1}}, "GB"));
        QCOMPARE(dump(), before);
        QVERIFY(!Journal::NextUndo(*m_cn));
    }
};

QTEST_GUILESS_MAIN(tst_Duplicates)
#include "tst_duplicates.moc"
