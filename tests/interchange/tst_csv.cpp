// CSV reading (sample exports, encodings, broken files, limits), writing, the
// column mappings, and export then import of each layout.
#include "interchange/Csv.h"
#include "interchange/CsvMapping.h"
#include "store/ItemList.h"

#include <QFile>
#include <QTest>

using ContactCard::Contact;
using namespace CsvMapping;

namespace {

QByteArray sample(const QString &name)
{
    QFile f(QStringLiteral(ARDENTIA_SOURCE_DIR "/tests/interchange/samples/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QString shown(QString s)
{
    return s.replace(QLatin1String("\r\n"), QLatin1String("\\r\\n")).replace(u'\n', QLatin1String("\\n"));
}

// "UTF-8 [,] 2:a|b / 3:c|d !3:reason", or "refused: reason".
QString render(const Csv::Table &t, bool cells = true)
{
    if (!t.refused.isEmpty())
        return QStringLiteral("refused: ") + t.refused;
    QStringList rows;
    for (qsizetype r = 0; r < t.rowCount(); ++r)
        rows << QString::number(t.line(r)) + (cells ? u':' + shown(t.cells(r).join(u'|')) : QString());
    QString s = QStringLiteral("%1 [%2] %3").arg(t.encoding, t.delimiter).arg(rows.join(QLatin1String(cells ? " / " : " ")));
    for (const Csv::Problem &p : t.problems)
        s += QStringLiteral(" !%1:%2").arg(p.line).arg(p.reason);
    return s;
}

// The columns First..Notes with '|' between (lists as "item (description)"), then " + " and each kept line.
QString describe(const Contact &c)
{
    QStringList cols = c.columns.mid(0, ContactCard::Registered);
    for (int i : {ContactCard::Phones, ContactCard::Mails, ContactCard::Websites}) {
        QStringList items;
        for (const ItemEntry &e : SplitItemList(cols[i]))
            items << e.sItem + (e.sDescription.isEmpty() ? QString() : " (" + e.sDescription + u')');
        cols[i] = items.join(QLatin1String(", "));
    }
    return shown(cols.join(u'|') + (c.kept.isEmpty() ? QString() : " + " + c.kept.join(" + ")));
}

// A row as a contact, or why it is skipped; each kept line must read back as itself.
QString rowAsContact(const QString &header, const QStringList &cells)
{
    const QStringList names = header.split(u',');
    Contact c;
    QString reason;
    if (!ToContact(ForHeader(names), names, cells, c, &reason))
        return "skip: " + reason;
    for (const QString &line : c.kept) {
        VCard::Property p;
        if (!VCard::Property::fromLine(line, p) || p.toLine() != line)
            return "unreadable: " + line;
    }
    return describe(c);
}

} // namespace

class tst_Csv : public QObject
{
    Q_OBJECT

private slots:
    void sampleFiles_data()
    {
        // Rows by line and the reader's problems; the layout (Layout's value); rows the mapping skipped.
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("expected");
        QTest::newRow("web mail") << "csv-webmail.csv" << "UTF-8 [,] 2 6 7 8; 1;";
        QTest::newRow("legacy, UTF-16") << "csv-webmail-legacy.csv" << "UTF-16LE [,] 2 3 4; 2;";
        QTest::newRow("suite, 1252") << "csv-desktop.csv" << "windows-1252 [,] 2 3; 3;";
        QTest::newRow("suite, German") << "csv-desktop-de.csv" << "UTF-8 [;] 2 3; 3;";
        QTest::newRow("suite, French") << "csv-desktop-fr.csv" << "UTF-8 [,] 2; 3;";
        QTest::newRow("mail client") << "csv-mailclient.csv" << "UTF-8 [,] 2 3; 4;";
        QTest::newRow("ragged") << "csv-ragged.csv" << "UTF-8 [,] 2 3 5 6 8 !5:The row has 5 cells, the header 3: the cells beyond are left out.; 0;";
        QTest::newRow("unclosed quote") << "csv-unterminated.csv" << "UTF-8 [,] 2 4 !3:A quote opened here is never closed: the row is skipped.; 0;";
        QTest::newRow("binary") << "csv-binary.csv" << "refused: The file holds binary data, not text.; 0;";
    }
    void sampleFiles()
    {
        QFETCH(QString, file);
        QFETCH(QString, expected);
        const Csv::Table t = Csv::Read(sample(file));
        const Mapping m = ForHeader(t.header);
        QString seen = render(t, false) + QStringLiteral("; %1;").arg(int(m.layout));
        for (const Csv::Problem &p : ToContacts(t, m).skipped)
            seen += QStringLiteral(" skip %1").arg(p.line);
        QCOMPARE(seen, expected);
    }

    void sampleContacts_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("expected");
        QTest::newRow("web mail: everything") << "csv-webmail.csv" << 0 << QString::fromUtf8(
            "Ann Maria|M\u00fcller|Acme Tools|1 Main St\\nSpringfield 12345\\nUSA|Friends|+1 555 0100 (Mobile), "
            "+1 555 0101 (Work), +1 555 0102 (Fax)|ann@acme.example (Work), ann.m@mail.example (Home), annie@mail.example (Home)|"
            "https://ann.example/ (Profile)|Met at the fair.\\nLikes \"green\" tea. + N:M\u00fcller;Ann;Maria;Dr.; + NICKNAME:Annie + "
            "BDAY:1980-05-17 + TITLE:Engineer + ORG:Acme Tools;Research + ADR;TYPE=home:;;1 Main St;Springfield;;12345;USA + "
            "CATEGORIES:Friends,Tennis + X-CSV;X-COLUMN=Relation 1 - Label:Spouse + X-CSV;X-COLUMN=Relation 1 - Value:Kim");
        QTest::newRow("legacy: full name says more") << "csv-webmail-legacy.csv" << 0 << QString::fromUtf8(
            "J\u00fcrgen|Wei\u00df|Firma GmbH|Hauptstra\u00dfe 5, 10115 Berlin|Kollegen|+49 170 5550100 (Mobile)|"
            "juergen@firma.example (Work)|| + N:Wei\u00df;J\u00fcrgen;;Dr.; + FN:Dr. J\u00fcrgen Wei\u00df + BDAY:1975-02-03 + "
            "TITLE:Leiter + ADR;TYPE=work:;;Hauptstra\u00dfe 5\\, 10115 Berlin;;;; + X-CSV;X-COLUMN=Gender:male");
        QTest::newRow("suite: 1252") << "csv-desktop.csv" << 0 << QString::fromUtf8(
            "Zo\u00eb|\u00c5berg|Caf\u00e9 Ombrelle|12 Rue de la Paix\\nParis 75002\\nFrance|Business|+33 1 5550 0101 (work), "
            "+33 6 5550 0102 (mobile)|zoe@ombrelle.example|www.ombrelle.example|Prices in \u20ac \u2013 always + N:\u00c5berg;Zo\u00eb;;Mrs.; + "
            "BDAY:4/1/1970 + TITLE:Owner + ADR;TYPE=work:;;12 Rue de la Paix;Paris;;75002;France + CATEGORIES:Business,Food + "
            "X-CSV;X-COLUMN=Spouse:Henri");
        QTest::newRow("suite: home address, no date") << "csv-desktop.csv" << 1
            << "Tom|Fenwick||1 Elm Rd\\nLeeds LS1 1AA\\nUnited Kingdom||0113 555 0199 (home)|tom@fenwick.example|| + "
               "ADR;TYPE=home:;;1 Elm Rd;Leeds;;LS1 1AA;United Kingdom";
        QTest::newRow("suite: German") << "csv-desktop-de.csv" << 0 << QString::fromUtf8(
            "J\u00f6rg Peter|Sch\u00e4fer|M\u00fcller & S\u00f6hne KG|K\u00f6nigsallee 1\\nD\u00fcsseldorf 40212\\nDeutschland|Kunden|"
            "+49 211 5550100 (work), +49 171 5550101 (mobile), +49 211 5550102 (work fax)|joerg@mueller-soehne.example|"
            "www.mueller-soehne.example|Rabatt; 10 % + N:Sch\u00e4fer;J\u00f6rg;Peter;Herr; + BDAY:1.2.1968 + TITLE:Leiter + "
            "ORG:M\u00fcller & S\u00f6hne KG;Vertrieb + ADR;TYPE=work:;;K\u00f6nigsallee 1;D\u00fcsseldorf;;40212;Deutschland");
        QTest::newRow("suite: French") << "csv-desktop-fr.csv" << 0 << QString::fromUtf8(
            "\u00c9mile|Garnier|\u00c9ditions du Quai|21 bis rue de Bruxelles\\nParis 75009|Amis|+33 6 5550 0300 (mobile)|"
            "emile@quai.example||R\u00e9dige une lettre + N:Garnier;\u00c9mile;;M.; + TITLE:\u00c9crivain + "
            "ADR;TYPE=home:;;21 bis rue de Bruxelles;Paris;;75009;");
        QTest::newRow("mail client") << "csv-mailclient.csv" << 0
            << "Grace|Holloway|Elmstead Port Authority|Building 1\\nRoom 2\\nArlington VA 22201\\nUSA||555-0500 (work), 555-0501 (mobile)|"
               "grace@harbour.example|https://harbour.example/ (work)|Keeps the harbour log, they say + NICKNAME:Gracie + "
               "TITLE:Harbour Master + ADR;TYPE=work:;;Building 1\\nRoom 2;Arlington;VA;22201;USA + "
               "X-CSV;X-COLUMN=Birth Year:1906 + X-CSV;X-COLUMN=Birth Month:12 + X-CSV;X-COLUMN=Birth Day:9";
    }
    void sampleContacts()
    {
        QFETCH(QString, file);
        QFETCH(int, index);
        QFETCH(QString, expected);
        const Csv::Table t = Csv::Read(sample(file));
        const Contacts c = ToContacts(t, ForHeader(t.header));
        QCOMPARE(index < c.contacts.size() ? describe(c.contacts[index]) : QString(), expected);
    }

    void reading_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QString>("option"); // an encoding, or "sep:" and a delimiter
        QTest::addColumn<QString>("expected");
        QTest::newRow("LF") << QByteArray("a,b\n1,2\n3,4") << "" << "UTF-8 [,] 2:1|2 / 3:3|4";
        QTest::newRow("CR") << QByteArray("a,b\r1,2\r3,4\r") << "" << "UTF-8 [,] 2:1|2 / 3:3|4";
        QTest::newRow("quotes, breaks inside") << QByteArray("a,b\r\n\"x, \"\"y\"\"\",\"1\r\n2\r3\"\r\n5,6\r\n") << ""
                                               << "UTF-8 [,] 2:x, \"y\"|1\\n2\\n3 / 5:5|6";
        QTest::newRow("loose quotes") << QByteArray("a,b,c\nx\"y,\"q\"r, \"2,3\"\n") << "" << "UTF-8 [,] 2:x\"y|qr|2,3";
        QTest::newRow("semicolons") << QByteArray("a;\"b,c\";d,e\n1;2;3,4\n") << "" << "UTF-8 [;] 2:1|2|3,4";
        QTest::newRow("tabs") << QByteArray("a\tb c\n1\t2,3\n") << "" << "UTF-8 [\t] 2:1|2,3";
        QTest::newRow("sep= line") << QByteArray("sep=;\r\na,b;c\r\n1,2;3\r\n") << "" << "UTF-8 [;] 3:1,2|3";
        QTest::newRow("delimiter given") << QByteArray("a:b,c\n1:2,3\n") << "sep::" << "UTF-8 [:] 2:1|2,3";
        QTest::newRow("blank lines and rows") << QByteArray("\n\na,b\n\n , \n1,2\n") << "" << "UTF-8 [,] 6:1|2";
        QTest::newRow("short and long rows") << QByteArray("a,b,c\n1\n1,2,3,4\n1,2,3,,\n") << ""
                                             << "UTF-8 [,] 2:1|| / 3:1|2|3 / 4:1|2|3 !3:The row has 4 cells, the header 3: the cells beyond are left out.";
        QTest::newRow("UTF-16 BE") << QByteArray("\xFE\xFF\0a\0,\0b\0\n\0\xE4\0,\0" "2", 16) << "" << "UTF-16BE [,] 2:\u00e4|2";
        QTest::newRow("UTF-16 LE, no mark") << QByteArray("a\0,\0b\0\n\0\xE4\0,\0" "2\0", 14) << "" << "UTF-16LE [,] 2:\u00e4|2";
        QTest::newRow("not UTF-8") << QByteArray("a,b\n\xE4\x80,2\n") << "" << "windows-1252 [,] 2:\u00e4\u20ac|2";
        QTest::newRow("named") << QByteArray("a,b\n\xC1\xC2,2\n") << "KOI8-R" << "KOI8-R [,] 2:\u0430\u0431|2";
        QTest::newRow("a mark inside") << QByteArray("a,b\n\xEF\xBB\xBFx,1\n") << "" << "UTF-8 [,] 2:\uFEFFx|1";
        QTest::newRow("mark beats name") << QByteArray("\xEF\xBB\xBF" "a,b\n\xC3\xA4,2\n") << "KOI8-R" << "UTF-8 [,] 2:\u00e4|2";
        QTest::newRow("unclosed at the end") << QByteArray("a,b\n1,2\n\"3,4\n") << ""
                                             << "UTF-8 [,] 2:1|2 !3:A quote opened here is never closed: the row is skipped.";
        QTest::newRow("unknown name") << QByteArray("a,b\n1,2\n") << "x-martian" << "refused: Unknown character encoding \"x-martian\".";
        QTest::newRow("empty") << QByteArray() << "" << "refused: The file is empty.";
        QTest::newRow("mark and blanks") << QByteArray("\xEF\xBB\xBF \r\n\r\n,\r\n") << "" << "refused: The file is empty.";
        QTest::newRow("header only") << QByteArray("a,b\r\n\r\n") << "" << "refused: The file has a header line but no rows.";
        QTest::newRow("NUL") << QByteArray("a,b\n1,\0\n", 8) << "" << "refused: The file holds binary data, not text.";
        QTest::newRow("controls") << QByteArray("\x01\x02\x03,\x04\n\x05\x06,\x07\n") << "" << "refused: The file holds binary data, not text.";
        QTest::newRow("header unclosed") << QByteArray("a,\"b\n1,2\n") << "" << "refused: The quote opened in the header line (line 1) is never closed.";
    }
    void reading()
    {
        QFETCH(QByteArray, data);
        QFETCH(QString, option);
        QFETCH(QString, expected);
        const bool sep = option.startsWith(QLatin1String("sep:"));
        QCOMPARE(render(Csv::Read(data, Csv::Options{sep ? QString() : option, sep ? option.at(4) : QChar()})), expected);
    }

    // Wide, huge and endless input is refused or skipped, not followed.
    void limits()
    {
        QCOMPARE(render(Csv::Read(QByteArray("c,").repeated(100000) + "\n1\n")), QStringLiteral("refused: The file has more than 1000 columns."));
        const QByteArray big(Csv::kMaxCellBytes + 1, 'x');
        QCOMPARE(render(Csv::Read("a,b\n1," + big + "\n2,\"" + big + "\"\n3,4\n")),
                 QStringLiteral("UTF-8 [,] 4:3|4 !2:A cell is larger than 1 MiB: the row is skipped. !3:A cell is larger than 1 MiB: the row is skipped."));
        QCOMPARE(render(Csv::Read("a,b\n1,2" + QByteArray(",x").repeated(100000))), QStringLiteral("UTF-8 [,] 2:1|2 !2:The row has 100002 cells, the header 2: the cells beyond are left out."));
        // Short rows are padded to the header's width, so few bytes can ask for many cells.
        const QByteArray many = QByteArray("c,").repeated(999) + "c\n" + QByteArray("x\n").repeated(Csv::kMaxCells / 1000 + 1);
        QCOMPARE(render(Csv::Read(many)), QStringLiteral("refused: The file is too large: it has more than 10000000 cells."));
    }

    void writing_data()
    {
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QString>("delimiter");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("plain") << QStringList{"a", "", QString::fromUtf8("M\u00fcller")} << "," << QByteArray("a,,M\xC3\xBCller\r\n");
        QTest::newRow("quoted") << QStringList{"x,y", "say \"hi\"", "two\nlines", " lead", "trail\t", "a;b"} << ","
                                << QByteArray("\"x,y\",\"say \"\"hi\"\"\",\"two\nlines\",\" lead\",\"trail\t\",a;b\r\n");
        QTest::newRow("semicolon") << QStringList{"x,y", "a;b"} << ";" << QByteArray("x,y;\"a;b\"\r\n");
    }
    void writing()
    {
        QFETCH(QStringList, cells);
        QFETCH(QString, delimiter);
        QFETCH(QByteArray, expected);
        const QStringList header(cells.size(), QStringLiteral("h"));
        Csv::Writer w(delimiter.at(0));
        w.row(header);
        w.row(cells);
        QCOMPARE(w.data(), header.join(delimiter).toUtf8() + "\r\n" + expected);
        const Csv::Table t = Csv::Read(w.data(), Csv::Options{{}, delimiter.at(0)}); // the same cells again
        QCOMPARE(t.rowCount() ? t.cells(0) : QStringList(), cells);
    }

    void guess_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("role");
        const char *const cases[][2] = {
            {"E-Mail (work)", "mail=work"}, {"Handy", "phone=mobile"}, {"Fax privat", "phone=home%20fax"}, {"Telefon", "phone"},
            {"Phones", "phones"}, {"Vorname", "first"}, {"Family name", "last"}, {"Full Name", "name"}, {"Company Name", "company"},
            {"Job Title", "title"}, {"Work City", "city/2=work"}, {"ZIP Code", "postalcode/1"}, {"Street Address", "street/1"},
            {"Postfach", "pobox/1"}, {"Tags", "category"}, {"Geburtstag", "birthday"}, {"Birth Year", "keep"},
            {"Phonetic Last Name", "keep"}, {"E-mail Display Name", "ignore"}, {"Spouse", "keep"}, {"", "ignore"},
            {"Homepage", "website"}, {"Comments", "notes"}, {"Name Prefix", "prefix"}};
        for (const auto &c : cases)
            QTest::newRow(c[0]) << QString::fromUtf8(c[0]) << QString::fromUtf8(c[1]);
    }
    void guess()
    {
        QFETCH(QString, name);
        QFETCH(QString, role);
        QCOMPARE(ToText(Mapping{{Guess(name)}, Layout::Unknown}), role);
    }

    void mappingText()
    {
        const QStringList header = Csv::Read(sample("csv-webmail.csv")).header;
        Mapping m = ForHeader(header);
        m.roles[3] = Role{Field::Phone, QStringLiteral("a;b=c@d/e"), 0, -1};
        Mapping back;
        QVERIFY(FromText(ToText(m), header.size(), back));
        QCOMPARE(back.roles, m.roles);
        QVERIFY(!FromText(ToText(m), header.size() - 1, back));
        for (const char *bad : {"first;bogus", "first;label", "first;label@2", "first;phone@1"})
            QVERIFY2(!FromText(QString::fromLatin1(bad), 2, back), bad);
        QCOMPARE(Key(header), Key(QStringList(header).replaceInStrings(QStringLiteral("Notes"), QStringLiteral(" Notes "))));
        QVERIFY(Key(header) != Key(QStringList(header).replaceInStrings(QStringLiteral("Notes"), QStringLiteral("Note"))));
        QVERIFY(Key(header).contains(QRegularExpression(QStringLiteral("^csv-[0-9a-f]{16}$"))));
    }

    void rows_data()
    {
        QTest::addColumn<QString>("header");
        QTest::addColumn<QStringList>("cells");
        QTest::addColumn<QString>("expected");
        QTest::newRow("last word is the last name") << "Name,Mail" << QStringList{" Ann  Maria Smith ", "a@x.example"}
                                                    << "Ann Maria|Smith|||||a@x.example||";
        QTest::newRow("one word is a first name") << "Name,Mail" << QStringList{"Maelle", "m@x.example"} << "Maelle||||||m@x.example||";
        QTest::newRow("last name first") << "Name" << QStringList{"Smith, Ann"} << "Ann|Smith|||||||";
        QTest::newRow("labels paired") << "Phone 1 - Label,Phone 1 - Value" << QStringList{"Home ::: * Work", "1 :::  ::: 2"}
                                       << "|||||1 (Home), 2|||";
        QTest::newRow("one label for all") << "Phone 1 - Type,Phone 1 - Value" << QStringList{"* Mobile", "1 ::: 2"}
                                           << "|||||1 (Mobile), 2 (Mobile)|||";
        QTest::newRow("own labels dropped") << "Name,Labels" << QStringList{"Al", "* starred ::: Friends ::: Family; Work"}
                                            << "Al||||Friends|||| + CATEGORIES:Friends,Family,Work";
        QTest::newRow("kept column") << "Name,Spouse \"Kim\"; and: more" << QStringList{"Al", "Jo, Li; \\ and\nmore"}
                                     << "Al|||||||| + X-CSV;X-COLUMN=\"Spouse ^'Kim^'; and: more\":Jo\\, Li\\; \\\\ and\\nmore";
        QTest::newRow("notes and a birthday only") << "Name,Notes,Birthday" << QStringList{"", "a note", "1990-01-01"}
                                                   << "||||||||a note + BDAY:1990-01-01";
        QTest::newRow("nothing at all") << "Name,Notes" << QStringList{" ", ""} << "skip: The row holds nothing to import.";
        QTest::newRow("company only") << "Company,Phone" << QStringList{"Acme", "1"} << "Acme||Acme|||1|||";
        QTest::newRow("second address kept") << "Name,Home Street,Home City,Business Street,Business City"
                                             << QStringList{"Al", "1 A St", "Ay", "2 B St", "Bee"}
                                             << "Al|||1 A St\\nAy||||| + ADR;TYPE=home:;;1 A St;Ay;;; + ADR;TYPE=work:;;2 B St;Bee;;;";
        QTest::newRow("text beats other parts") << "Name,Address 1 - Formatted,Address 1 - City"
                                                << QStringList{"Al", "1 Main St, Springfield", "Springfield"}
                                                << "Al|||1 Main St, Springfield|||||";
        QTest::newRow("plain lists") << "First Name,Phones" << QStringList{"Al", "555 (home); 556 (Desk (2nd floor)); 557 (ext) ()"}
                                     << "Al|||||555 (home), 556 (Desk (2nd floor)), 557 (ext)|||";
    }
    void rows()
    {
        QFETCH(QString, header);
        QFETCH(QStringList, cells);
        QFETCH(QString, expected);
        QCOMPARE(rowAsContact(header, cells), expected);
    }

    // Each layout written and read again gives the same contact columns; the
    // web-mail layout also gives the same kept lines when every entry has a column.
    void exportRoundTrip_data()
    {
        QTest::addColumn<int>("layout");
        QTest::addColumn<bool>("fitted");
        QTest::newRow("web mail, fitted") << int(ExportLayout::WebMail) << true;
        QTest::newRow("web mail, entries sharing columns") << int(ExportLayout::WebMail) << false;
        QTest::newRow("plain") << int(ExportLayout::Plain) << false;
    }
    void exportRoundTrip()
    {
        QFETCH(int, layout);
        QFETCH(bool, fitted);
        const ExportLayout l = ExportLayout(layout);
        auto entries = [](std::initializer_list<ItemEntry> e) { return GetList(QList<ItemEntry>(e)); };
        QList<Contact> contacts(3);
        contacts[0].columns = {"Ann Maria", QString::fromUtf8("M\u00fcller"), "Acme Tools", "1 Main St\nSpringfield 12345\nUSA",
                               "Friends",
                               entries({{"+1 555 0100", "mobile"}, {"+1 555 0101", "Desk, 2nd floor"}, {"555 (ext 3)", ""}}),
                               entries({{"ann@acme.example", "work"}, {"ann@mail.example", ""}}),
                               entries({{"https://ann.example/", ""}}), " Met at the fair, \"twice\".\nLikes tea; green.", "", ""};
        contacts[0].kept = {QString::fromUtf8("N:M\u00fcller;Ann;Maria;Dr.;"), "NICKNAME:Annie", "BDAY:1980-05-17",
                            "TITLE:Engineer", "ORG:Acme Tools;Research", "ADR;TYPE=home:;;1 Main St;Springfield;;12345;USA",
                            "ADR;TYPE=work:;;2 Side Rd;Oakdale;;54321;USA", "CATEGORIES:Friends,Tennis"};
        contacts[1].columns = {"Nameless Corp", "", "Nameless Corp", "", "", entries({{"555-0300", "work"}}), "", "", "", "", ""};
        contacts[2].columns = {"", "", "", "", "", "", entries({{"x@example.org", ""}}), "", "", "", ""};
        Shape shape;
        if (fitted) {
            for (const Contact &c : contacts)
                shape.fit(c.columns, c.kept);
            QVERIFY(shape.phones == 3 && shape.addresses == 2);
        }
        Csv::Writer w;
        w.row(ExportHeader(l, shape));
        for (const Contact &c : contacts)
            w.row(ExportRow(l, c.columns, c.kept, shape));
        const Csv::Table t = Csv::Read(w.data());
        QVERIFY2(t.refused.isEmpty() && t.problems.isEmpty(), qPrintable(render(t)));
        const Mapping m = ForHeader(t.header);
        QCOMPARE(m.layout, l == ExportLayout::Plain ? Layout::Plain : Layout::WebMail);
        const Contacts back = ToContacts(t, m);
        QCOMPARE(back.contacts.size(), contacts.size());
        for (int i = 0; i < contacts.size(); ++i) {
            QCOMPARE(back.contacts[i].columns, contacts[i].columns);
            if (l == ExportLayout::WebMail && fitted)
                QCOMPARE(back.contacts[i].kept, contacts[i].kept);
        }
    }
};

QTEST_GUILESS_MAIN(tst_Csv)
#include "tst_csv.moc"
