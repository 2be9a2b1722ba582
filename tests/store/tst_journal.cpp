// The program's side tables: UIDs, the Recycle bin, undo and redo, history,
// pruning; a book written elsewhere, and a crash in the middle of a change.
#include "support/CoreTestSupport.h"

#include "context/AppContext.h"
#include "store/BookSchema.h"
#include "store/Journal.h"
#include "store/RecycleBin.h"
#include "store/SearchText.h"
#include "store/Statements.h"
#include "store/mdlMDB.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTest>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

const QString kBook = QStringLiteral("/db/db.sqlite");

// Every row of a table, every column as it is stored (hex of its bytes, or NULL), in key order.
QString dump(const char *table)
{
    return QueryText(QStringLiteral("SELECT group_concat(r, '|') FROM (SELECT ContactID || ':' || "
                                    "quote(CAST(First_Name AS BLOB)) || quote(Last_Name) || quote(Category) || "
                                    "quote(Phones) || quote(Notes) || quote(Date_Registed) AS r FROM %1 "
                                    "ORDER BY ContactID)")
                         .arg(QLatin1String(table)));
}

// A step that changes one contact's notes.
ChangeSummary editNotes(Connection &cn, qint64 id, const QString &notes)
{
    JournalStep step(cn, QStringLiteral("edit of %1").arg(id));
    step.keepBefore(id);
    cn.exec(QStringLiteral("UPDATE Contacts SET Notes = '%1' WHERE ContactID = %2").arg(notes).arg(id));
    return step.commit();
}

// Adds `n` contacts in one step, as an import does.
ChangeSummary addMany(Connection &cn, int n)
{
    JournalStep step(cn, QStringLiteral("import of %1 contacts").arg(n));
    const qint64 first = QueryText("SELECT coalesce(max(ContactID), 0) + 1 FROM Contacts").toLongLong();
    cn.exec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < %1) "
                           "INSERT INTO Contacts (First_Name, Last_Name, Category) SELECT 'n' || i, 'Many', 'Imported' "
                           "FROM k").arg(n));
    step.keepAdded(first, first + n - 1);
    return step.commit();
}

// The contacts a folded search finds, in the order it gives them.
QString foundBy(Connection &cn, const QString &column, const QString &text)
{
    SearchText::Refresh(cn);
    return QueryText(QStringLiteral("SELECT group_concat(ContactID) FROM (%1)").arg(Statements::SearchFolded(column, text).text));
}

// Runs SQL as another program would: the sqlite3 tool, without the program's functions.
bool otherProgram(const QString &sql)
{
    QProcess cli;
    cli.start(QStringLiteral("sqlite3"), {AppFilePath(kBook), sql});
    return cli.waitForFinished() && cli.exitCode() == 0 && cli.readAllStandardError().isEmpty();
}
} // namespace

class tst_Journal : public QObject
{
    Q_OBJECT

    std::optional<TempAppFolder> m_folder;
    SharedConnection m_cn;

    void open()
    {
        m_cn.reset();
        m_cn = Connection::open(AppFilePath(kBook));
        QCOMPARE(int(BookSchema::Prepare(*m_cn)), int(BookSchema::Status::Current));
    }

private slots:
    void init()
    {
        m_cn.reset();
        m_folder.emplace();
        SeedContacts({{{"First_Name", "Ann"}, {"Last_Name", "Adams"}, {"Category", "Work"}, {"Notes", "one"}},
                      {{"First_Name", "Bob"}, {"Last_Name", "Brown"}, {"Category", "Home"}}});
        // Written in an 8-bit code page by another program: the bytes must survive every move.
        Connection::open(AppFilePath(kBook))->exec("UPDATE Contacts SET First_Name = CAST(x'4DFC6C6C6572' AS TEXT) "
                                                   "WHERE ContactID = 2");
        m_cn = Connection::open(AppFilePath(kBook));
        QCOMPARE(int(BookSchema::Prepare(*m_cn)), int(BookSchema::Status::Upgraded));
    }
    void cleanup() { m_cn.reset(); }

    // The folded text follows every change, ours or another program's, and
    // a search over one column never matches in another.
    void foldedSearchFollowsEveryWriter()
    {
        QCOMPARE(foundBy(*m_cn, {}, u"ann"_s), u"1"_s);
        QVERIFY(otherProgram(u"INSERT INTO Contacts (First_Name, Last_Name, Notes) VALUES ('Åsa', 'Öberg', 'Ann''s friend');"
                             " UPDATE Contacts SET Last_Name = 'ÅDAMS-Straße' WHERE ContactID = 1;"_s));
        QCOMPARE(foundBy(*m_cn, {}, u"asa"_s), u"3"_s);
        QCOMPARE(foundBy(*m_cn, {}, u"ann"_s), u"1,3"_s);
        QCOMPARE(foundBy(*m_cn, u"First_Name"_s, u"ann"_s), u"1"_s);
        QCOMPARE(foundBy(*m_cn, u"Last_Name"_s, u"adams-strasse"_s), u"1"_s);
        QCOMPARE(foundBy(*m_cn, u"Last_Name"_s, u"adams%e"_s), u"1"_s);
        // A pattern never reaches from one column into the next.
        QCOMPARE(foundBy(*m_cn, {}, u"ann%adams"_s), QString());
        QCOMPARE(foundBy(*m_cn, u"Last_Name"_s, u"oberg"_s), u"3"_s);
        QCOMPARE(foundBy(*m_cn, u"Notes"_s, u"öberg"_s), QString());
        // Our own change, its undo, a removal to the bin and back.
        editNotes(*m_cn, 2, u"Zoë"_s);
        QCOMPARE(foundBy(*m_cn, u"Notes"_s, u"ZOE"_s), u"2"_s);
        Journal::Undo(*m_cn);
        QCOMPARE(foundBy(*m_cn, u"Notes"_s, u"zoe"_s), QString());
        RecycleBin::Remove(*m_cn, 3);
        QCOMPARE(foundBy(*m_cn, {}, u"asa"_s), QString());
        Journal::Undo(*m_cn);
        QCOMPARE(foundBy(*m_cn, {}, u"asa"_s), u"3"_s);
        // Another program deletes: the folded row goes with the contact.
        QVERIFY(otherProgram(u"DELETE FROM Contacts WHERE ContactID = 3"_s));
        QCOMPARE(QueryText("SELECT count(*) FROM ContactFolded"), u"2"_s);
        QCOMPARE(foundBy(*m_cn, {}, u"asa"_s), QString());
    }

    // An existing book gets its side tables and a random RFC 4122 UID per
    // contact; Contacts stays as it was, for any other program.
    void upgradeAndOtherPrograms()
    {
        QCOMPARE(QueryText("PRAGMA user_version"), QString::number(BookSchema::kVersion));
        QCOMPARE(QueryText("SELECT count(DISTINCT Uid) FROM ContactMeta WHERE length(Uid) = 16 AND typeof(Uid) = "
                           "'blob' AND substr(hex(Uid), 13, 1) = '4' AND substr(hex(Uid), 17, 1) IN ('8','9','A','B')"),
                 QStringLiteral("2"));
        QProcess cli;
        cli.start(QStringLiteral("sqlite3"), {AppFilePath(kBook), QStringLiteral("SELECT count(*), "
                                              "group_concat(Last_Name) FROM Contacts; PRAGMA integrity_check;")});
        QVERIFY(cli.waitForFinished());
        QCOMPARE(cli.readAllStandardOutput(), QByteArray("2|Adams,Brown\nok\n"));
        // Another program adds one and deletes one: the new one gets a UID, the gone one's goes.
        const QString annUid = QueryText("SELECT hex(Uid) FROM ContactMeta WHERE ContactID = 1");
        Connection::open(AppFilePath(kBook))->exec("DELETE FROM Contacts WHERE ContactID = 2; "
                                                   "INSERT INTO Contacts (Last_Name) VALUES ('Cole')");
        QVERIFY(BookSchema::ChangedOutside(*m_cn));
        open();
        QCOMPARE(QueryText("SELECT group_concat(ContactID) FROM (SELECT ContactID FROM ContactMeta ORDER BY ContactID)"),
                 QStringLiteral("1,3"));
        QCOMPARE(QueryText("SELECT hex(Uid) FROM ContactMeta WHERE ContactID = 1"), annUid);
        QVERIFY(!BookSchema::ChangedOutside(*m_cn));
        // A book of a newer version is not touched at all.
        m_cn->exec("PRAGMA user_version = 9");
        m_cn.reset();
        QFile file(AppFilePath(kBook));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray before = file.readAll();
        file.close();
        m_cn = Connection::open(AppFilePath(kBook));
        QCOMPARE(int(BookSchema::Prepare(*m_cn)), int(BookSchema::Status::Newer));
        m_cn.reset();
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), before);
    }

    // A book the program left in line is not counted again at the next open;
    // a write of another program, before or after the program left it, is
    // still found and the side tables follow it.
    void leftInLine()
    {
        auto hasUid = [](const char *last) {
            return QueryText(QStringLiteral("SELECT count(*) FROM ContactMeta m JOIN Contacts c USING (ContactID)"
                                            " WHERE c.Last_Name = '%1'").arg(QLatin1String(last))) == "1";
        };
        auto metaRows = [] { return QueryText("SELECT count(*) FROM ContactMeta"); };
        // Written while the program has the book open, not yet looked into.
        QVERIFY(otherProgram(u"INSERT INTO Contacts (Last_Name) VALUES ('Cole'); DELETE FROM Contacts WHERE ContactID = 2"_s));
        BookSchema::NoteLeaving(*m_cn);
        open();
        QVERIFY(hasUid("Cole"));
        QCOMPARE(metaRows(), u"2"_s);
        // Left in line: the file's change counter is what the next open compares.
        BookSchema::NoteLeaving(*m_cn);
        m_cn.reset();
        QCOMPARE(QueryText("SELECT Value FROM BookState WHERE Name = 'left'"),
                 QString::number(FileChangeCounter(AppFilePath(kBook))));
        // Written after the program left it.
        QVERIFY(otherProgram(u"INSERT INTO Contacts (Last_Name) VALUES ('Dane'); DELETE FROM Contacts WHERE Last_Name = 'Cole'"_s));
        open();
        QVERIFY(hasUid("Dane"));
        QCOMPARE(metaRows(), u"2"_s);
    }

    // Removal, restore and deletion move every column and byte, keep the
    // key and the UID; each is a step that undo and redo move exactly.
    void binUndoAndRedo()
    {
        const QString start = dump("Contacts"), uid = QueryText("SELECT hex(Uid) FROM ContactMeta WHERE ContactID = 2");
        ChangeSummary s = RecycleBin::Remove(*m_cn, 2);
        QCOMPARE(s.contacts, QList<qint64>{2});
        QVERIFY(s.before.at(0).present && !s.after.at(0).present && s.before.at(0).category == "Home");
        QCOMPARE(QueryText("SELECT count(*) FROM Contacts"), QStringLiteral("1"));
        QCOMPARE(dump("RecycleBin"), start.section('|', 1));
        QVERIFY(QueryText("SELECT RemovedAt FROM RecycleBin") > QStringLiteral("2026"));
        QVERIFY_THROWS_EXCEPTION(StoreError, RecycleBin::Remove(*m_cn, 2)); // no longer there
        QCOMPARE(Journal::NextUndo(*m_cn)->name, "removal of " + QString::fromUtf8("M\xFCller Brown"));
        editNotes(*m_cn, 1, "two");
        RecycleBin::Restore(*m_cn, 2);
        QCOMPARE(dump("Contacts"), QString(start).replace("'one'", "'two'"));
        QCOMPARE(QueryText("SELECT hex(Uid) FROM ContactMeta WHERE ContactID = 2"), uid);
        RecycleBin::Remove(*m_cn, 2);
        RecycleBin::DeleteForGood(*m_cn, 2);
        const QString end = dump("Contacts");
        // Undone in order, step by step, back to the start; then redone.
        QStringList states;
        for (int i = 0; i < 5; ++i) {
            states.prepend(dump("Contacts") + "#" + dump("RecycleBin"));
            Journal::Undo(*m_cn);
        }
        QVERIFY(!Journal::NextUndo(*m_cn));
        QCOMPARE(dump("Contacts"), QString(start).replace("'two'", "'one'"));
        QCOMPARE(dump("RecycleBin"), QString());
        for (const QString &state : states) {
            Journal::Redo(*m_cn);
            QCOMPARE(dump("Contacts") + "#" + dump("RecycleBin"), state);
        }
        QCOMPARE(dump("Contacts"), end);
        // Undo survives a restart; a new change after an undo ends what could be redone.
        open();
        Journal::Undo(*m_cn);
        QCOMPARE(QueryText("SELECT count(*) FROM RecycleBin"), QStringLiteral("1"));
        editNotes(*m_cn, 1, "three");
        QVERIFY(!Journal::NextRedo(*m_cn));
        RecycleBin::Empty(*m_cn);
        QCOMPARE(Journal::NextUndo(*m_cn)->name, QStringLiteral("emptying the Recycle bin"));
        Journal::Undo(*m_cn);
        QCOMPARE(RecycleBin::Count(*m_cn), 1);
    }

    // A large step is one step: undone and redone whole, with the same keys and UIDs.
    void largeStepAndHistory()
    {
        ChangeSummary s = addMany(*m_cn, 5000);
        QVERIFY(s.many);
        const char *uidsSql = "SELECT sum(length(Uid)) || (SELECT hex(Uid) FROM ContactMeta WHERE ContactID = 3000) "
                              "FROM ContactMeta";
        const QString uids = QueryText(uidsSql);
        QVERIFY(uids.startsWith("80032"));
        Journal::Undo(*m_cn);
        QCOMPARE(CountContacts(), 2);
        QVERIFY(!BookSchema::ChangedOutside(*m_cn)); // the noted count followed it
        Journal::Redo(*m_cn);
        QCOMPARE(QueryText("SELECT count(*) || ',' || max(ContactID) FROM Contacts"), QStringLiteral("5002,5002"));
        QCOMPARE(QueryText(uidsSql), uids);
        // Each earlier version of a contact, newest first, with the step that replaced it.
        editNotes(*m_cn, 1, "two");
        editNotes(*m_cn, 1, "three");
        const QList<Journal::Version> h = Journal::History(*m_cn, 1);
        QCOMPARE(h.size(), 2);
        QCOMPARE(h.at(0).state.value("Notes") + h.at(1).state.value("Notes"), QStringLiteral("twoone"));
        QCOMPARE(h.at(0).replacedBy.name, QStringLiteral("edit of 1"));
        Journal::Undo(*m_cn); // an undone change is no longer history
        QCOMPARE(Journal::History(*m_cn, 1).size(), 1);
    }

    // Old steps and old removals go; the rest stays.
    void prune()
    {
        RecycleBin::Remove(*m_cn, 2);
        for (int i = 0; i < 5; ++i)
            editNotes(*m_cn, 1, QString::number(i));
        m_cn->exec("UPDATE RecycleBin SET RemovedAt = '2000-01-01 00:00:00'");
        QCOMPARE(Journal::Prune(*m_cn, 90, 3), 1);
        QCOMPARE(QueryText("SELECT count(*) FROM Journal"), QStringLiteral("3"));
        QCOMPARE(QueryText("SELECT count(*) FROM RecycleBin"), QStringLiteral("0"));
        QCOMPARE(QueryText("SELECT count(*) FROM ContactMeta"), QStringLiteral("1")); // the deleted one's UID went
        m_cn->exec("UPDATE Journal SET At = '2000-01-01 00:00:00' WHERE Step < (SELECT max(Step) FROM Journal)");
        QCOMPARE(Journal::Prune(*m_cn, 90, 1000), 0);
        QCOMPARE(QueryText("SELECT count(*) FROM Journal"), QStringLiteral("1"));
    }

    // Killed in the middle of a change, the book holds the old state, whole.
    void crashMidChange()
    {
        m_cn.reset();
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--change-and-wait"), AppFilePath(kBook)});
        QVERIFY(child.waitForReadyRead(20000));
        QCOMPARE(child.readLine(), QByteArray("changing\n"));
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished());
        open();
        QCOMPARE(QueryText("PRAGMA integrity_check"), QStringLiteral("ok"));
        QCOMPARE(CountContacts(), 2);
        QVERIFY(!Journal::NextUndo(*m_cn));
    }
};

// The child of crashMidChange: adds contacts in one step, says so half-way and
// waits to be killed before the step ends.
static int changeAndWait(const QString &book)
{
    auto cn = Connection::open(book);
    BookSchema::Prepare(*cn);
    JournalStep step(*cn, QStringLiteral("import"));
    cn->exec(QStringLiteral("WITH RECURSIVE k(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM k WHERE i < 20000) "
                            "INSERT INTO Contacts (Last_Name) SELECT 'x' FROM k"));
    step.keepAdded(3, 20002);
    std::fputs("changing\n", stdout);
    std::fflush(stdout);
    for (;;)
        ::pause();
}

int main(int argc, char *argv[])
{
    if (argc == 3 && qstrcmp(argv[1], "--change-and-wait") == 0)
        return changeAndWait(QString::fromLocal8Bit(argv[2]));
    QCoreApplication app(argc, argv);
    tst_Journal test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_journal.moc"
