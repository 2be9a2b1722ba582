// The connection and the record set: first run, walking, changing and removing
// the current row, misuse, and files that are not a usable database.
#include "common/TestSupport.h"

#include "app/AppContext.h"
#include "store/Statements.h"
#include "store/mdlMDB.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <sqlite3.h>
#include <unistd.h>

namespace {

QString dbPath()
{
    return AppFilePath(QStringLiteral("/db/db.sqlite"));
}

QStringList firstNames(Connection &cn)
{
    QStringList names;
    Recordset rs(cn);
    for (rs.open(Statements::AllContacts()); !rs.atEnd(); rs.moveNext())
        names << rs.text("First_Name");
    return names;
}

// Content and modification time of a file (or of a folder's listing).
QString snapshot(const QString &path)
{
    const QFileInfo info(path);
    QString content;
    if (info.isDir()) {
        content = QDir(path).entryList(QDir::AllEntries | QDir::Hidden).join(QLatin1Char('|'));
    } else {
        QFile f(path);
        if (f.open(QIODevice::ReadOnly))
            content = QString::fromLatin1(f.readAll().toHex());
    }
    return content + QLatin1Char('@') + QString::number(info.lastModified().toMSecsSinceEpoch());
}

} // namespace

class tst_Recordset : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_folder = std::make_unique<TempAppFolder>(); }
    void cleanup() { m_folder.reset(); }

    void firstRunCreatesTable()
    {
        QVERIFY(!QFileInfo::exists(m_folder->file("db")));
        auto cn = Connection::open(dbPath());
        QVERIFY(QFileInfo(m_folder->file("db/db.sqlite")).isFile());
        sqlite3_stmt *st = nullptr;
        QCOMPARE(sqlite3_prepare_v2(cn->handle(), "SELECT * FROM Contacts", -1, &st, nullptr), SQLITE_OK);
        QStringList columns;
        for (int i = 0; i < sqlite3_column_count(st); ++i)
            columns << QString::fromUtf8(sqlite3_column_name(st, i));
        sqlite3_finalize(st);
        QCOMPARE(columns, QStringList({"ContactID", "First_Name", "Last_Name", "Company", "Address", "Category",
                                       "Phones", "Mails", "Websites", "Notes", "Date_Registed", "Picture"}));
    }

    void keysAreNotReused()
    {
        SeedContacts({{{"First_Name", "a"}}, {{"First_Name", "b"}}});
        auto cn = Connection::open(dbPath());
        Recordset rs(*cn);
        rs.open(Statements::AllContacts());
        rs.moveNext();
        const qint64 last = rs.field("ContactID").toLongLong();
        rs.deleteCurrent();
        rs.close();
        SeedContacts({{{"First_Name", "c"}}});
        rs.open(Statements::FirstNameLike("c"));
        QVERIFY(rs.field("ContactID").toLongLong() > last);
    }

    void walkAndRead()
    {
        SeedContacts({{{"First_Name", "a"}, {"Phones", "1:*:\r\n"}}, {{"First_Name", "b"}}});
        auto cn = Connection::open(dbPath());
        Recordset rs(*cn);
        rs.open(Statements::AllContacts());
        QVERIFY(!rs.atEnd());
        QCOMPARE(rs.field("first_name"), QVariant("a"));
        QCOMPARE(rs.field("Phones"), QVariant("1:*:\r\n"));
        QVERIFY(rs.field("Notes").isNull());
        QCOMPARE(rs.text("Notes"), QString());
        rs.moveNext();
        QCOMPARE(rs.text(1), QStringLiteral("b"));
        rs.moveNext();
        QVERIFY(rs.atEnd());
        // At the end (or closed) nothing can be read, changed or removed.
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.field("First_Name"));
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.moveNext());
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.setField("Notes", "x"));
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.deleteCurrent());
        rs.close();
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.text(1));
        rs.open(Statements::AllContacts());
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.field("NoSuchColumn"));
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.setField("ContactID", 7));
    }

    // Update and delete act on the current row, and only on it.
    void currentRowOnly_data()
    {
        QTest::addColumn<bool>("remove");
        QTest::addColumn<QStringList>("after");
        QTest::newRow("delete") << true << QStringList({"a", "c"});
        QTest::newRow("update") << false << QStringList({"a", "B!", "c"});
    }
    void currentRowOnly()
    {
        QFETCH(bool, remove);
        QFETCH(QStringList, after);
        SeedContacts({{{"First_Name", "a"}}, {{"First_Name", "b"}}, {{"First_Name", "c"}}});
        auto cn = Connection::open(dbPath());
        Recordset rs(*cn);
        rs.open(Statements::AllContacts());
        rs.moveNext();
        if (remove) {
            rs.deleteCurrent();
        } else {
            rs.setField("First_Name", "B!");
            rs.update();
        }
        rs.moveNext();
        QCOMPARE(rs.text("First_Name"), QStringLiteral("c"));
        rs.close();
        QCOMPARE(firstNames(*cn), after);
    }

    void rowRemovedMeanwhile()
    {
        SeedContacts({{{"First_Name", "a"}}});
        auto cn = Connection::open(dbPath());
        Recordset editing(*cn), other(*cn);
        editing.open(Statements::FirstNameLike("a"));
        other.open(Statements::FirstNameLike("a"));
        other.deleteCurrent();
        other.close();
        editing.setField("Notes", "lost?");
        QVERIFY_THROWS_EXCEPTION(StoreError, editing.update());
        QVERIFY_THROWS_EXCEPTION(StoreError, editing.deleteCurrent());
        editing.close();
        QCOMPARE(CountContacts(), 0);
    }

    void refusesSeveralStatements()
    {
        SeedContacts({{{"First_Name", "a"}}});
        auto cn = Connection::open(dbPath());
        Recordset rs(*cn);
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.open("SELECT * FROM Contacts; DROP TABLE Contacts"));
        QVERIFY_THROWS_EXCEPTION(StoreError, rs.open("SELECT * FROM NoSuchTable"));
        QCOMPARE(CountContacts(), 1);
    }

    // A file that is not a usable database is reported, naming it, and left as it was.
    void unusableFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("garbage") << "garbage";
        QTest::newRow("unreadable") << "unreadable";
        QTest::newRow("folder") << "folder";
    }
    void unusableFile()
    {
        QFETCH(QString, kind);
        const QString path = dbPath();
        QDir().mkpath(m_folder->file("db"));
        if (kind == "folder") {
            QDir().mkpath(path + "/inside");
        } else {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QByteArray bytes;
            for (int i = 0; i < 3000; ++i)
                bytes.append(char((i * 37 + 11) % 256));
            f.write(bytes);
        }
        // Root reads every file: look at the unreadable one as somebody else.
        const bool asNobody = kind == "unreadable" && geteuid() == 0;
        if (kind == "unreadable") {
            QFile::setPermissions(path, QFileDevice::WriteOwner);
            if (asNobody) {
                QFile::setPermissions(m_folder->path(), QFileDevice::Permissions(0x7755));
                QFile::setPermissions(m_folder->file("db"), QFileDevice::Permissions(0x7755));
            }
        }
        QTest::qWait(20); // a write now would show in the time
        const QString before = snapshot(path);
        if (asNobody && seteuid(65534) != 0)
            QSKIP("cannot drop privileges to test an unreadable file");
        QString error, file;
        try {
            Connection::open(path);
        } catch (const StoreError &e) {
            error = e.message();
            file = e.file();
        }
        if (asNobody)
            QVERIFY(seteuid(0) == 0);
        QVERIFY2(!error.isEmpty(), "no StoreError");
        QCOMPARE(file, path);
        QCOMPARE(snapshot(path), before);
        QVERIFY(!QFileInfo::exists(path + "-journal"));
    }

private:
    std::unique_ptr<TempAppFolder> m_folder;
};

QTEST_MAIN(tst_Recordset)
#include "tst_recordset.moc"
