// Cards into the book and out again: what lands in which column and what is
// kept beside it, re-import by UID, one undoable step, round trips through all
// three versions, and exports read back by independent readers.
#include "support/CoreTestSupport.h"

#include "context/AppContext.h"
#include "interchange/ContactCard.h"
#include "interchange/Csv.h"
#include "interchange/CsvMapping.h"
#include "interchange/Export.h"
#include "interchange/Import.h"
#include "sqlite/Transaction.h"
#include "store/ItemList.h"
#include "store/Journal.h"
#include "store/RecycleBin.h"
#include "store/mdlMDB.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

using namespace ContactCard;

namespace {

// A card as a desktop address book writes it: labels by group, a picture, a
// second address, a birthday; the second one as an old phone does, in 2.1.
const QByteArray kCards =
    "BEGIN:VCARD\r\nVERSION:3.0\r\nPRODID:-//Example//Book//EN\r\n"
    "N:M\xC3\xBCller;Ann;Maria;Dr.;\r\nFN:Dr. Ann Maria M\xC3\xBCller\r\nORG:Acme;Sales\r\n"
    "item1.TEL;type=pref:+1 555 0100\r\nitem1.X-ABLabel:_$!<Mobile>!$_\r\nTEL;TYPE=work,voice:555 0200\r\n"
    "EMAIL;TYPE=INTERNET;TYPE=HOME:ann@example.org\r\nURL:https://example.org/ann\r\n"
    "ADR;TYPE=home:;;1 Main St;Springfield;IL;62704;USA\r\nADR;TYPE=work:;;9 Mill Rd;Shelbyville;;;\r\n"
    "CATEGORIES:Work,Golf\r\nNOTE:Met at the fair\\, 2019\\nCall back\r\nBDAY:1980-02-29\r\n"
    "X-CUSTOM;X-P=a\\,b:value\\;with\\;semicolons\r\n"
    "PHOTO;ENCODING=b;TYPE=PNG:iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==\r\n"
    "UID:6f1c2f9e-3b7a-4d2c-9e51-0a7b3c4d5e6f\r\nREV:2020-01-01T00:00:00Z\r\nEND:VCARD\r\n"
    "\r\njunk between cards\r\n"
    "BEGIN:VCARD\r\nVERSION:2.1\r\nN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:G=C3=BCnther;Bo\r\n"
    "TEL;HOME;VOICE:555-0300\r\nTEL;CELL:555-0301\r\nEND:VCARD\r\n"
    "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Nameless Corp\r\nEND:VCARD\r\n";

struct Book
{
    std::optional<TempAppFolder> folder{std::in_place};
    SharedConnection cn;
    Book() { mdlMDB::OpenDatabase(QStringLiteral("/db/db.sqlite"), cn); }
    QString pictures() const { return folder->file(QStringLiteral("pictures")); }
    Import::Result import(const QByteArray &data)
    {
        return Import::Write(*cn, Import::ReadData(*cn, data, QStringLiteral("cards.vcf")), pictures());
    }
    QByteArray exported(VCard::Version v)
    {
        QBuffer out;
        out.open(QIODevice::WriteOnly);
        Export::Write(*cn, out, v, Export::Choice());
        return out.data();
    }
};

// Every contact of the open book with its kept lines, UID aside.
QString contents(Connection &cn)
{
    Q_UNUSED(cn);
    return QueryText(QStringLiteral(
        "SELECT group_concat(r, '#') FROM (SELECT quote(First_Name) || quote(Last_Name) || quote(Company) ||"
        " quote(Address) || quote(Category) || quote(Phones) || quote(Mails) || quote(Websites) || quote(Notes) ||"
        " quote(length(Picture) > 0) || quote(m.Kept) || hex(m.Uid) AS r FROM Contacts c JOIN ContactMeta m USING"
        " (ContactID) ORDER BY First_Name)"));
}

} // namespace

class tst_Import : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // What each property becomes; what the columns cannot hold is kept.
    void mapping()
    {
        Book book;
        const Import::Plan plan = Import::ReadData(*book.cn, kCards, QStringLiteral("cards.vcf"));
        QCOMPARE(plan.added, 3);
        QCOMPARE(plan.skipped.size(), 0);
        const Contact &ann = plan.contacts.at(0);
        QCOMPARE(ann.columns.at(First), QStringLiteral("Ann Maria"));
        QCOMPARE(ann.columns.at(Last), QString::fromUtf8("M\xC3\xBCller"));
        QCOMPARE(ann.columns.at(Company), QStringLiteral("Acme"));
        QCOMPARE(ann.columns.at(Address), QStringLiteral("1 Main St\nSpringfield IL 62704\nUSA"));
        QCOMPARE(ann.columns.at(Category), QStringLiteral("Work"));
        QCOMPARE(SplitItemList(ann.columns.at(Phones)),
                 (QList<ItemEntry>{{"+1 555 0100", "Mobile"}, {"555 0200", "work, voice"}}));
        QCOMPARE(SplitItemList(ann.columns.at(Mails)), (QList<ItemEntry>{{"ann@example.org", "home"}}));
        QCOMPARE(GetFirstItem(ann.columns.at(Websites)), QStringLiteral("https://example.org/ann"));
        QCOMPARE(ann.columns.at(Notes), QStringLiteral("Met at the fair, 2019\nCall back"));
        QCOMPARE(ann.uid, QStringLiteral("6f1c2f9e-3b7a-4d2c-9e51-0a7b3c4d5e6f"));
        QCOMPARE(ann.photoType, QStringLiteral("png"));
        const QString kept = ann.kept.join('|');
        for (const char *line : {"N:M\xC3\xBC" "ller;Ann;Maria;Dr.;", "FN:Dr. Ann Maria M\xC3\xBC" "ller", "ORG:Acme;Sales",
                                 "ADR;TYPE=work:;;9 Mill Rd;Shelbyville;;;", "CATEGORIES:Work,Golf", "BDAY:1980-02-29"})
            QVERIFY2(kept.contains(QString::fromUtf8(line)), qPrintable(kept));
        QVERIFY2(!kept.contains("TEL") && !kept.contains("PRODID") && !kept.contains("REV") && !kept.contains("X-ABLabel"),
                 qPrintable(kept));
        QCOMPARE(plan.contacts.at(1).columns.at(Last), QString::fromUtf8("G\xC3\xBCnther"));
        QCOMPARE(SplitItemList(plan.contacts.at(1).columns.at(Phones)),
                 (QList<ItemEntry>{{"555-0300", "home, voice"}, {"555-0301", "cell"}}));
        // No N: the formatted name is the visible name.
        QCOMPARE(plan.contacts.at(2).columns.at(First), QStringLiteral("Nameless Corp"));
    }

    // Written as one step: a second import of the same cards updates by UID,
    // undo takes each import back whole, a card of a contact in the bin brings it back.
    void writeUpdateUndo()
    {
        Book book;
        const Import::Result first = book.import(kCards);
        QCOMPARE(first.added, 3);
        QCOMPARE(CountContacts(), 3);
        const QString picture = QueryText("SELECT Picture FROM Contacts WHERE Company = 'Acme'");
        QVERIFY(picture.startsWith(book.pictures()) && QFile::exists(picture));
        QCOMPARE(QueryText("SELECT lower(hex(Uid)) FROM ContactMeta JOIN Contacts USING (ContactID) WHERE Company = 'Acme'"),
                 QStringLiteral("6f1c2f9e3b7a4d2c9e510a7b3c4d5e6f"));
        const QString id = QueryText("SELECT ContactID FROM Contacts WHERE Company = 'Acme'");
        const QString before = contents(*book.cn);

        QByteArray changed = kCards;
        changed.replace("Met at the fair", "Seen again");
        const Import::Plan plan = Import::ReadData(*book.cn, changed, "again.vcf");
        QCOMPARE(plan.added, 2); // the cards without a UID are new each time
        QCOMPARE(plan.updated, 1);
        Import::Write(*book.cn, plan, book.pictures());
        QCOMPARE(QueryText("SELECT ContactID FROM Contacts WHERE Notes LIKE 'Seen again%'"), id);
        QCOMPARE(CountContacts(), 5);
        // The import folded the search text of what it wrote, new and updated, and left the triggers on.
        const QString fresh = QueryText("SELECT group_concat(ContactID) FROM (SELECT c.ContactID FROM Contacts c JOIN"
                                        " ContactFolded f USING (ContactID) WHERE f.Folded = fold_contact(c.First_Name,"
                                        " c.Last_Name, c.Company, c.Phones, c.Mails, c.Category, c.Address, c.Websites,"
                                        " c.Notes) ORDER BY c.ContactID)");
        QCOMPARE(fresh, QueryText("SELECT group_concat(ContactID) FROM (SELECT ContactID FROM Contacts ORDER BY ContactID)"));
        QCOMPARE(QueryText("SELECT count(*) FROM BookState WHERE Name = 'folded-by-writer'"), QStringLiteral("0"));
        QCOMPARE(Journal::NextUndo(*book.cn)->name, QStringLiteral("import of 3 contacts"));
        Journal::Undo(*book.cn);
        QCOMPARE(contents(*book.cn), before);
        Journal::Undo(*book.cn);
        QCOMPARE(CountContacts(), 0);
        Journal::Redo(*book.cn);
        QCOMPARE(contents(*book.cn), before);

        RecycleBin::Remove(*book.cn, id.toLongLong());
        QCOMPARE(Import::ReadData(*book.cn, kCards, "x").updated, 1);
        book.import(kCards);
        QCOMPARE(QueryText("SELECT count(*) FROM RecycleBin"), QStringLiteral("0"));
        QCOMPARE(QueryText("SELECT ContactID FROM Contacts WHERE Company = 'Acme'"), id);
    }

    // A card carries its contact's picture when the file is there: pictures
    // missing, in a folder that is gone or in one that is there, cost the
    // others nothing.
    void picturesWhereThey()
    {
        Book book;
        const QByteArray png = QByteArray::fromBase64(
            "iVBORw0KGgoAAAANSUhEUgAAAAEAAAABCAYAAAAfFcSJAAAADUlEQVR42mNk+M9QDwADhgGAWjR9awAAAABJRU5ErkJggg==");
        const QString there = book.folder->file("there"), gone = book.folder->file("gone");
        QVERIFY(QDir().mkpath(there) && WriteFile(there + "/b.png", png) && WriteFile(book.folder->file("c.png"), png));
        const QStringList pictures = {gone + "/a.png", gone + "/a2.png", there + "/missing.png", there + "/b.png",
                                      gone + "/sub/d.png", book.folder->file("c.png")};
        for (const QString &p : pictures)
            book.cn->exec(QStringLiteral("INSERT INTO Contacts (First_Name, Picture) VALUES ('P%1', '%2')")
                              .arg(pictures.indexOf(p)).arg(p));
        const QByteArray data = book.exported(VCard::Version::V30);
        QCOMPARE(data.count("\r\nPHOTO;"), 2);
        for (const char *name : {"P3", "P5"}) {
            const qsizetype at = data.indexOf(QByteArray("FN:") + name);
            QVERIFY2(at > 0 && data.indexOf("PHOTO;", at) < data.indexOf("END:VCARD", at), name);
        }
    }

    // Nothing is written for a file that is not vCard, or when cancelled.
    void refusedAndCancelled()
    {
        Book book;
        const QString csv = book.folder->file("list.vcf");
        QVERIFY(WriteFile(csv, "First,Last\nAnn,Adams\n"));
        const Import::Plan refused = Import::Read(*book.cn, {csv});
        QVERIFY(refused.refused.contains("not a vCard file") && refused.contacts.isEmpty());
        QByteArray many;
        for (int i = 0; i < 2000; ++i)
            many += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Many;N" + QByteArray::number(i) + "\r\nEND:VCARD\r\n";
        const Import::Plan plan = Import::ReadData(*book.cn, many, "many.vcf");
        QCOMPARE(plan.added, 2000);
        int calls = 0;
        const Import::Result r = Import::Write(*book.cn, plan, book.pictures(), [&](qint64, qint64) { return ++calls < 3; });
        QVERIFY(r.cancelled);
        QCOMPARE(CountContacts(), 0);
        QVERIFY(!Journal::NextUndo(*book.cn));
        QVERIFY(Import::ReadData(*book.cn, many, "many.vcf", [](qint64, qint64) { return false; }).cancelled);
    }

    // A large file is read in two halves side by side: it gives what one
    // reading from start to end gives (the same file with its END lines in
    // lower case cannot be cut, and is read so): cards skipped, with their
    // lines, in both halves, and a UID given twice across them.
    void largeFileReadInHalves()
    {
        Book book;
        QByteArray cut, whole;
        const QByteArray note = "NOTE:" + QByteArray(400, 'n') + "\r\n";
        for (int i = 0; i < 11000; ++i) {
            QByteArray card = "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Half;H" + QByteArray::number(i) + "\r\n" + note;
            if (i == 60 || i == 10500)
                card += "UID:twice\r\n";
            // No END: skipped, reported at its BEGIN line.
            const bool broken = i == 100 || i == 9000;
            cut += card + (broken ? "" : "END:VCARD\r\n");
            whole += card + (broken ? "" : "end:vcard\r\n");
        }
        QVERIFY(cut.size() > 4 << 20);
        const Import::Plan a = Import::ReadData(*book.cn, cut, "cut.vcf");
        const Import::Plan b = Import::ReadData(*book.cn, whole, "cut.vcf");
        QCOMPARE(a.added, 11000 - 2 - 1);
        QCOMPARE(a.added, b.added);
        QCOMPARE(a.skipped.size(), 2);
        for (int k = 0; k < 2; ++k) {
            QCOMPARE(a.skipped[k].line, b.skipped[k].line);
            QCOMPARE(a.skipped[k].reason, b.skipped[k].reason);
        }
        QVERIFY(a.skipped[1].line > 9000 * 5);
        QCOMPARE(a.contacts.size(), b.contacts.size());
        for (qsizetype i = 0; i < a.contacts.size(); ++i)
            QCOMPARE(a.contacts[i].columns, b.contacts[i].columns);
        // The later card of the UID won, in the earlier one's place.
        QCOMPARE(a.contacts[60].columns[ContactCard::First], QStringLiteral("H10500"));
        int calls = 0;
        QVERIFY(Import::ReadData(*book.cn, cut, "cut.vcf", [&](qint64, qint64) { return ++calls < 3; }).cancelled);
    }

    // A large CSV table is made into contacts in two halves side by side: in
    // the file's order, empty rows skipped with their lines in both halves.
    void largeCsvInHalves()
    {
        Book book;
        // The web-mail layout: a row that is only in the "* myContacts" group holds nothing.
        const QStringList header = CsvMapping::ExportHeader(CsvMapping::ExportLayout::WebMail);
        Csv::Writer w;
        w.row(header);
        const int n = 24000;
        for (int i = 0; i < n; ++i) {
            QStringList row(header.size());
            if (i == 100 || i == 15000)
                row[header.indexOf(QStringLiteral("Labels"))] = QStringLiteral("* myContacts");
            else
                row[0] = QStringLiteral("F%1").arg(i);
            w.row(row);
        }
        const QByteArray csv = w.take();
        const QString file = book.folder->file("rows.csv");
        QVERIFY(WriteFile(file, csv));
        const Import::Plan plan = Import::Read(*book.cn, {file});
        QVERIFY2(plan.refused.isEmpty(), qPrintable(plan.refused));
        QCOMPARE(plan.added, n - 2);
        QCOMPARE(plan.skipped.size(), 2);
        QCOMPARE(plan.skipped[0].line, 102);
        QCOMPARE(plan.skipped[1].line, 15002);
        for (int i = 0, k = 0; i < n; ++i) {
            if (i == 100 || i == 15000)
                continue;
            QCOMPARE(plan.contacts[k++].columns[ContactCard::First], QStringLiteral("F%1").arg(i));
        }
        int calls = 0;
        QVERIFY(Import::Read(*book.cn, {file}, [&](qint64, qint64) { return ++calls < 3; }).cancelled);
    }

    // New contacts are written many to a statement: each keeps its own UID,
    // kept lines and folded search text, with an update among them and a
    // last run shorter than the others.
    void manyNewAtOnce()
    {
        Book book;
        book.import("BEGIN:VCARD\r\nVERSION:3.0\r\nN:Old;One\r\nUID:aaaaaaaa-0000-4000-8000-000000000000\r\nEND:VCARD\r\n");
        QByteArray cards;
        for (int i = 1; i <= 40; ++i) {
            if (i == 20) // the contact already in the book, changed
                cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Old;Changed\r\nUID:aaaaaaaa-0000-4000-8000-000000000000\r\nEND:VCARD\r\n";
            const QByteArray n = QByteArray::number(i).rightJustified(2, '0');
            cards += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Card;P" + n + "\r\nNICKNAME:nick" + n +
                     "\r\nUID:aaaaaaaa-0000-4000-8000-0000000000" + n + "\r\nEND:VCARD\r\n";
        }
        const Import::Result r = book.import(cards);
        QCOMPARE(r.added, 40);
        QCOMPARE(r.updated, 1);
        QCOMPARE(QueryText("SELECT group_concat(x, ' ') FROM (SELECT c.First_Name || '=' || substr(lower(hex(m.Uid)), 31)"
                           " || '=' || m.Kept AS x FROM Contacts c JOIN ContactMeta m USING (ContactID)"
                           " WHERE c.Last_Name = 'Card' ORDER BY c.ContactID)"),
                 [] {
                     QStringList expected;
                     for (int i = 1; i <= 40; ++i) {
                         const QString n = QString::number(i).rightJustified(2, u'0');
                         expected << QStringLiteral("P%1=%1=NICKNAME:nick%1").arg(n);
                     }
                     return expected.join(u' ');
                 }());
        QCOMPARE(QueryText("SELECT First_Name FROM Contacts WHERE ContactID = 1"), QStringLiteral("Changed"));
        QCOMPARE(QueryText("SELECT count(*) FROM Contacts c JOIN ContactFolded f USING (ContactID) WHERE f.Folded ="
                           " fold_contact(c.First_Name, c.Last_Name, c.Company, c.Phones, c.Mails, c.Category,"
                           " c.Address, c.Websites, c.Notes)"),
                 QStringLiteral("41"));
        QCOMPARE(QueryText("SELECT count(*) FROM ContactMeta"), QStringLiteral("41"));
    }

    // An export of many contacts is read and made into text in runs on two
    // threads, side by side through connections of their own when the book is
    // large enough: every contact once and in order, in both kinds of file,
    // with keys missing in between and for one category; inside a transaction
    // of the caller's, what it has changed. A cancel leaves the file as it
    // was; a device that stops taking bytes is a failure.
    void largeExportInOrder()
    {
        Book book;
        QByteArray many;
        const int n = 12000;
        for (int i = 0; i < n; ++i)
            many += "BEGIN:VCARD\r\nVERSION:3.0\r\nN:Many;N" + QByteArray::number(i) + "\r\nEND:VCARD\r\n";
        QCOMPARE(book.import(many).added, n);
        // Keys missing here and there, a run of them in the middle; two in three in a category.
        book.cn->exec(QStringLiteral("DELETE FROM Contacts WHERE ContactID % 7 = 3 OR ContactID BETWEEN 5000 AND 6999;"
                                     "UPDATE Contacts SET Category = 'Most' WHERE ContactID % 3 <> 0"));
        auto exported = [&](Export::Format format, const Export::Choice &choice) {
            QBuffer out;
            out.open(QIODevice::WriteOnly);
            const Export::Result r = Export::Write(*book.cn, out, format, choice);
            return std::make_pair(r.written, out.data());
        };
        Export::Choice most;
        most.kind = Export::Choice::Kind::Category;
        most.category = QStringLiteral("Most");
        for (const bool category : {false, true}) {
            QList<int> kept; // the contacts the file must hold, in order
            for (int id = 1; id <= n; ++id) {
                if (id % 7 != 3 && (id < 5000 || id > 6999) && (!category || id % 3 != 0))
                    kept << id - 1; // contact N<i> has key i + 1
            }
            QVERIFY(kept.size() > 5000); // enough to be read side by side
            for (const Export::Format format : {Export::Format::VCard30, Export::Format::CsvPlain}) {
                const auto [written, data] = exported(format, category ? most : Export::Choice());
                QCOMPARE(written, kept.size());
                QCOMPARE(data.count(format == Export::Format::CsvPlain ? ",Many" : "N:Many;"), qsizetype(kept.size()));
                qsizetype at = 0;
                for (const int i : kept) {
                    const QByteArray name = format == Export::Format::CsvPlain ? "\nN" + QByteArray::number(i) + ",Many"
                                                                              : "N:Many;N" + QByteArray::number(i) + ";";
                    const qsizetype next = data.indexOf(name, at);
                    QVERIFY2(next > at, qPrintable(QString::number(i)));
                    at = next;
                }
            }
        }
        {
            Transaction t(book.cn->handle());
            book.cn->exec(QStringLiteral("UPDATE Contacts SET First_Name = 'Changed' WHERE First_Name = 'N11999'"));
            const QByteArray data = exported(Export::Format::VCard30, Export::Choice()).second;
            QVERIFY(data.contains("N:Many;Changed;") && !data.contains("N:Many;N11999;"));
            t.rollback();
        }

        const QString file = book.folder->file("all.vcf");
        QVERIFY(WriteFile(file, "before"));
        int calls = 0;
        const Export::Result cancelled = Export::WriteFile(*book.cn, file, VCard::Version::V30, Export::Choice(),
                                                           [&](qint64, qint64) { return ++calls < 2; });
        QVERIFY(cancelled.cancelled);
        QFile kept(file);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("before"));

        // Takes the first 50 000 bytes, then no more.
        class Full : public QBuffer
        {
        protected:
            qint64 writeData(const char *data, qint64 len) override
            {
                if (size() + len > 50000) {
                    setErrorString(QStringLiteral("No space left on device"));
                    return -1;
                }
                return QBuffer::writeData(data, len);
            }
        } full;
        full.open(QIODevice::WriteOnly);
        const Export::Result failed = Export::Write(*book.cn, full, VCard::Version::V30, Export::Choice());
        QCOMPARE(failed.failure, QStringLiteral("No space left on device"));
        QVERIFY(!failed.cancelled && failed.written < 2000);
    }

    // Import, export, import again: the same contacts and the same kept lines.
    void roundTrip_data()
    {
        QTest::addColumn<int>("version");
        QTest::newRow("3.0") << int(VCard::Version::V30);
        QTest::newRow("4.0") << int(VCard::Version::V40);
        QTest::newRow("2.1") << int(VCard::Version::V21);
    }
    void roundTrip()
    {
        QFETCH(int, version);
        QByteArray written;
        QString original;
        {
            Book book;
            book.import(kCards);
            // A description of its own, text that needs escaping, a long line that folds.
            book.cn->exec(QString::fromUtf8("UPDATE Contacts SET Phones = Phones || '+44 20 7946 0958:*:Desk; 2nd floor, left' || char(13, 10),"
                                            " Notes = Notes || ' \\ ; , ' || hex(randomblob(60)) || ' \xF0\x9F\x98\x80'"
                                            " WHERE Company = 'Acme'"));
            original = contents(*book.cn);
            written = book.exported(VCard::Version(version));
        }
        Book again;
        const Import::Result r = again.import(written);
        QCOMPARE(r.added, 3);
        const QString back = contents(*again.cn);
        if (back != original) { // the first difference, readable
            qsizetype at = 0;
            while (at < back.size() && at < original.size() && back.at(at) == original.at(at))
                ++at;
            QFAIL(qPrintable(QStringLiteral("differs at %1:\n  read back: %2\n  original:  %3")
                                 .arg(at).arg(back.mid(at - 20, 160), original.mid(at - 20, 160))));
        }
        for (const QByteArray &line : written.split('\n'))
            QVERIFY2(line.size() <= 76, line.constData()); // 75 octets and the CR
    }

    // Our CSV layouts read back as the same contacts; a file of no known
    // exporter is refused without a dialog to ask, naming its columns.
    void csvRoundTrip_data()
    {
        QTest::addColumn<int>("format");
        QTest::newRow("web-mail layout") << int(Export::Format::CsvWebMail);
        QTest::newRow("one row per contact") << int(Export::Format::CsvPlain);
    }
    void csvRoundTrip()
    {
        QFETCH(int, format);
        const QString columns = QStringLiteral(
            "SELECT group_concat(r, '#') FROM (SELECT quote(First_Name) || quote(Last_Name) || quote(Company) ||"
            " quote(Address) || quote(Category) || quote(Phones) || quote(Mails) || quote(Websites) || quote(Notes)"
            " AS r FROM Contacts ORDER BY First_Name)");
        QString original;
        QByteArray written;
        {
            Book book;
            book.import(kCards);
            original = QueryText(columns);
            QBuffer out;
            out.open(QIODevice::WriteOnly);
            Export::Write(*book.cn, out, Export::Format(format), Export::Choice());
            written = out.data();
        }
        Book again;
        const QString file = again.folder->file("contacts.csv");
        QVERIFY(WriteFile(file, written));
        const Import::Plan plan = Import::Read(*again.cn, {file});
        QVERIFY2(plan.refused.isEmpty() && plan.skipped.isEmpty(), qPrintable(plan.refused));
        Import::Write(*again.cn, plan, again.pictures());
        QCOMPARE(QueryText(columns), original);

        QVERIFY(WriteFile(file, "Vorname;Telefon privat;Lieblingsfarbe\r\nAnn;555;blau\r\n"));
        const Import::Plan unknown = Import::Read(*again.cn, {file});
        QVERIFY2(unknown.refused.contains("Lieblingsfarbe") && unknown.contacts.isEmpty(), qPrintable(unknown.refused));
    }

    // The web-mail layout has as many columns as the fullest of the chosen
    // contacts needs: lists counted, and the addresses a contact brought
    // beyond its first.
    void webMailColumnsFitTheChosen()
    {
        Book book;
        book.import(kCards); // Ann: two phones, two addresses (one kept)
        book.cn->exec(QStringLiteral("UPDATE Contacts SET Mails = 'a@x' || char(13, 10) || 'b@x:*:home' ||"
                                     " char(13, 10) || char(13, 10) || 'c@x' || char(13, 10), Category = 'Friends'"
                                     " WHERE Last_Name LIKE 'G%nther'"));
        // The book's last key holds the most web sites (the count is shared out by keys).
        book.cn->exec(QStringLiteral("INSERT INTO Contacts (First_Name, Websites) VALUES ('Web', 'a.example' ||"
                                     " char(13, 10) || 'b.example:*:blog' || char(13, 10))"));
        const qint64 ann = QueryText(QStringLiteral("SELECT ContactID FROM Contacts WHERE Company = 'Acme'")).toLongLong();
        auto header = [&](const Export::Choice &choice) {
            QBuffer out;
            out.open(QIODevice::WriteOnly);
            Export::Write(*book.cn, out, Export::Format::CsvWebMail, choice);
            return QString::fromUtf8(out.data().left(out.data().indexOf('\n')));
        };
        auto columns = [](const QString &h, const char *kind) { return int(h.count(QLatin1String(kind))); };
        Export::Choice all, friends, annOnly;
        friends.kind = Export::Choice::Kind::Category;
        friends.category = QStringLiteral("Friends");
        annOnly.kind = Export::Choice::Kind::Contacts;
        annOnly.contacts = {ann};
        const struct { Export::Choice choice; int mails, phones, addresses, websites; } cases[] = {
            {all, 3, 2, 2, 2}, {friends, 3, 2, 1, 1}, {annOnly, 1, 2, 2, 1}};
        for (const auto &c : cases) {
            const QString h = header(c.choice);
            QCOMPARE(columns(h, " - Value"), c.mails + c.phones + c.websites);
            QCOMPARE(columns(h, "Website "), 2 * c.websites);
            QCOMPARE(columns(h, "E-mail "), 2 * c.mails);
            QCOMPARE(columns(h, "Phone "), 2 * c.phones);
            QCOMPARE(columns(h, " - Formatted"), c.addresses);
        }
    }

    // Independent readers take our 3.0 and 4.0 files and see the same names,
    // numbers and addresses.
    void outsideReaders_data()
    {
        QTest::addColumn<int>("version");
        QTest::newRow("3.0") << int(VCard::Version::V30);
        QTest::newRow("4.0") << int(VCard::Version::V40);
    }
    void outsideReaders()
    {
        QFETCH(int, version);
        Book book;
        book.import(kCards);
        const QString file = book.folder->file("out/contacts.vcf");
        QDir().mkpath(book.folder->file("out"));
        QVERIFY(Export::WriteFile(*book.cn, file, VCard::Version(version), Export::Choice()).failure.isEmpty());

        const char *script =
            "import sys, vobject\n"
            "for c in vobject.readComponents(open(sys.argv[1], encoding='utf-8').read()):\n"
            "    tels = ','.join(t.value for t in c.contents.get('tel', []))\n"
            "    adr = c.adr.value.street.replace('\\n', '/') if hasattr(c, 'adr') else ''\n"
            "    print('%s|%s|%s|%s' % (c.fn.value, c.n.value.family, tels, adr))\n";
        QProcess py;
        // The system's interpreter, which the setup script gave the reader.
        py.start("/usr/bin/python3", {"-c", script, file});
        QVERIFY(py.waitForFinished(30000));
        QVERIFY2(py.exitCode() == 0, py.readAllStandardError().constData());
        const QStringList seen = QString::fromUtf8(py.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(seen.size(), 3);
        QVERIFY2(seen.contains(QString::fromUtf8("Dr. Ann Maria M\xC3\xBCller|M\xC3\xBCller|+1 555 0100,555 0200|1 Main St")),
                 qPrintable(seen.join('\n')));
        QVERIFY2(seen.contains(QString::fromUtf8("Bo G\xC3\xBCnther|G\xC3\xBCnther|555-0300,555-0301|")), qPrintable(seen.join('\n')));

        // khard, with a configuration of its own pointing at a folder of one card a file.
        QDir().mkpath(book.folder->file("khard"));
        for (const QString &id : QueryText("SELECT group_concat(ContactID) FROM Contacts").split(',')) {
            Export::Choice one;
            one.kind = Export::Choice::Kind::Contacts;
            one.contacts = {id.toLongLong()};
            Export::WriteFile(*book.cn, book.folder->file("khard/" + id + ".vcf"), VCard::Version(version), one);
        }
        const QString config = book.folder->file("khard.conf");
        QVERIFY(WriteFile(config, "[addressbooks]\n[[book]]\npath = " + book.folder->file("khard").toUtf8() +
                                      "\n[general]\ndebug = no\ndefault_action = list\neditor = true\nmerge_editor = true\n"));
        QProcess khard;
        khard.start("khard", {"-c", config, "list", "--parsable"});
        QVERIFY(khard.waitForFinished(30000));
        const QString listed = QString::fromUtf8(khard.readAllStandardOutput());
        QVERIFY2(khard.exitCode() == 0 && listed.contains("Bo") && listed.contains("Nameless Corp") &&
                     listed.contains(QString::fromUtf8("M\xC3\xBCller")),
                 qPrintable(listed + khard.readAllStandardError()));
    }
};

QTEST_GUILESS_MAIN(tst_Import)
#include "tst_import.moc"
