// vCard reading (sample exports, line forms, encodings, broken cards) and
// writing (folding, escapes, the forms of each version, round trips).
#include "interchange/ContactCard.h"
#include "interchange/Csv.h"
#include "interchange/CsvMapping.h"
#include "interchange/VCard.h"
#include "store/ItemList.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTest>

#include <functional>

using namespace VCard;

namespace {

QByteArray sample(const QString &name)
{
    QFile f(QStringLiteral(ARDENTIA_SOURCE_DIR "/tests/interchange/samples/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// "12 item1.ADR;TYPE=HOME,pref = | | Street | City": the line, the head and
// the value as the mapping sees it (parts for compounds, "<n bytes ..>" for binary).
QString describe(const Property &p)
{
    QString s = QString::number(p.line) + u' ' + (p.group.isEmpty() ? QString() : p.group + u'.') + p.name;
    for (const Param &param : p.params)
        s += u';' + param.name + (param.values.isEmpty() ? QString() : u'=' + param.values.join(u','));
    QString v;
    if (!p.binary.isEmpty())
        v = QStringLiteral("<%1 bytes %2..%3>").arg(p.binary.size()).arg(p.binary.left(2).toHex(), p.binary.right(2).toHex());
    else if (QStringList{"N", "ADR", "ORG"}.contains(p.name))
        v = p.components().join(QLatin1String(" | "));
    else if (QStringList{"CATEGORIES", "NICKNAME"}.contains(p.name))
        v = p.list().join(QLatin1String(" | "));
    else
        v = p.text().size() > 60 ? p.text().left(40) + QLatin1String("...") : p.text();
    return s + QLatin1String(" = ") + v;
}

// Every result of reading `data`: "card 1 3.0 x12" (line, version, properties) or "skip 7: reason".
QStringList results(QByteArrayView data, QList<Card> *cards = nullptr)
{
    QStringList out;
    Reader reader(data);
    Card card;
    Problem problem;
    for (;;) {
        const Reader::Result r = reader.next(card, problem);
        if (r == Reader::Result::End)
            break;
        if (r == Reader::Result::Skipped) {
            out << QStringLiteral("skip %1: %2").arg(problem.line).arg(problem.reason);
            continue;
        }
        out << QStringLiteral("card %1%2 x%3")
                   .arg(card.line)
                   .arg(card.version.isEmpty() ? QString() : u' ' + card.version)
                   .arg(card.properties.size());
        if (cards)
            cards->append(card);
    }
    if (reader.position() != data.size())
        out << QStringLiteral("stopped at %1").arg(reader.position());
    return out;
}

QByteArray wrap(const QByteArray &lines)
{
    return "BEGIN:VCARD\r\n" + lines + "\r\nEND:VCARD\r\n";
}

bool same(const Property &a, const Property &b)
{
    return a.group == b.group && a.name == b.name && a.params == b.params && a.value == b.value && a.binary == b.binary;
}

const char *const kSamples[] = {"addressbook30.vcf", "webmail30.vcf", "mailclient21.vcf", "mobile21.vcf",
                                "oldphone21.vcf",    "contacts40.vcf", "broken.vcf"};

} // namespace

class tst_VCard : public QObject
{
    Q_OBJECT

private slots:
    void sampleFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("expected");
        QTest::newRow("address book") << "addressbook30.vcf" << "card 1 3.0 x12; card 20 3.0 x5";
        QTest::newRow("web mail") << "webmail30.vcf"
                                  << "card 1 3.0 x4; card 9 3.0 x4; card 17 3.0 x4; card 25 3.0 x3; card 32 3.0 x4; "
                                     "card 40 3.0 x2";
        QTest::newRow("mail program") << "mailclient21.vcf" << "card 1 2.1 x10; card 16 2.1 x3";
        QTest::newRow("phone") << "mobile21.vcf" << "card 1 2.1 x6; card 17 2.1 x3";
        QTest::newRow("old phone") << "oldphone21.vcf" << "card 1 2.1 x7";
        QTest::newRow("4.0") << "contacts40.vcf" << "card 1 4.0 x10; card 15 4.0 x3";
        QTest::newRow("broken") << "broken.vcf"
                                << "card 2 3.0 x1; skip 7: The card has no END:VCARD before the next BEGIN:VCARD.; "
                                   "card 10 3.0 x1; skip 17: A line has no colon.; skip 23: Unknown encoding \"UUENCODE\".; "
                                   "skip 27: Unknown character set \"X-MARTIAN\".; card 29 3.0 x1; "
                                   "skip 33: The file ends before the card's END:VCARD.";
    }
    void sampleFiles()
    {
        QFETCH(QString, file);
        QFETCH(QString, expected);
        const QByteArray data = sample(file);
        QVERIFY(!data.isEmpty());
        QVERIFY(LooksLikeVCard(data));
        QCOMPARE(results(data).join(QLatin1String("; ")), expected);
    }

    // Property `key` ("TEL#1" is the second TEL) of card `card` of a sample.
    void sampleProperties_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("card");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const struct { const char *file; int card; const char *key, *expected; } rows[] = {
            {"addressbook30.vcf", 0, "N", "4 N = Lindqvist | Åsa | Maria | Dr. | "},
            {"addressbook30.vcf", 0, "TEL", "7 item1.TEL;TYPE=pref = +46 8 555 01 23"},
            {"addressbook30.vcf", 0, "X-ABLABEL", "8 item1.X-ABLABEL = Boat phone"},
            {"addressbook30.vcf", 0, "TEL#1", "9 TEL;TYPE=CELL,VOICE,pref = +46 70 555 0199"},
            {"addressbook30.vcf", 0, "ADR", "12 item3.ADR;TYPE=HOME,pref =  |  | Strandvägen 7\nTrappa 2 | Stockholm |  | 114 56 | Sweden"},
            {"addressbook30.vcf", 0, "NOTE", "13 NOTE = Prefers calls after 10:00; never on Sundays, please."},
            {"addressbook30.vcf", 0, "PHOTO", "14 PHOTO;TYPE=JPEG = <206 bytes ffd8..ffd9>"},
            {"addressbook30.vcf", 1, "URL", "24 item1.URL;TYPE=pref = https://okafor.example/portfolio"},
            {"addressbook30.vcf", 1, "BDAY", "26 BDAY;VALUE=date = 1984-02-29"},
            {"webmail30.vcf", 0, "CATEGORIES", "6 CATEGORIES = Friends | Book club"},
            {"webmail30.vcf", 1, "FN", "11 FN = José Alvarez"},
            {"webmail30.vcf", 2, "CATEGORIES", "22 CATEGORIES = Smith, Jones & Co | Work"},
            {"webmail30.vcf", 5, "EMAIL", "43 EMAIL;TYPE=INTERNET,WORK = support@service.example"},
            {"mailclient21.vcf", 0, "N", "3 N;LANGUAGE=de = Müller | Jürgen"},
            {"mailclient21.vcf", 0, "ORG", "5 ORG = Bäckerei Müller GmbH"},
            {"mailclient21.vcf", 0, "TEL#1", "7 TEL;TYPE=HOME,VOICE = +49 30 5550 9876"},
            {"mailclient21.vcf", 0, "ADR", "8 ADR;TYPE=WORK =  |  | Hauptstraße 12\nHinterhaus | Berlin |  | 10115 | Deutschland"},
            {"mailclient21.vcf", 0, "LABEL", "9 LABEL;TYPE=WORK = Hauptstraße 12\nHinterhaus\n10115 Berlin\nDeutschland"},
            {"mailclient21.vcf", 0, "NOTE", "12 NOTE = Liefert jeden Morgen Brötchen – außer sonntags."},
            {"mailclient21.vcf", 0, "REV", "14 REV = 20240115T093000Z"},
            {"mailclient21.vcf", 1, "NOTE", "20 NOTE = “Budget”: €50 par mois"},
            {"mobile21.vcf", 0, "N", "3 N = 山田 | 太郎 |  |  | "},
            {"mobile21.vcf", 0, "FN", "5 FN = 山田太郎"},
            {"mobile21.vcf", 0, "TEL", "7 TEL;TYPE=CELL = 090-5555-0123"},
            {"mobile21.vcf", 0, "PHOTO", "10 PHOTO;TYPE=JPEG = <206 bytes ffd8..ffd9>"},
            {"mobile21.vcf", 1, "ADR", "21 ADR;TYPE=HOME =  |  | Gartenweg 3\n2. Stock | Graz |  | 8010 | Österreich"},
            {"oldphone21.vcf", 0, "N", "3 N = 鈴木 | 花子"},
            {"oldphone21.vcf", 0, "TEL", "5 TEL;TYPE=PREF,CELL = 09055550001"},
            {"oldphone21.vcf", 0, "NOTE", "8 NOTE = 誕生日は五月"},
            {"oldphone21.vcf", 0, "PHOTO", "9 PHOTO;TYPE=GIF = <56 bytes 4749..5859>"},
            {"contacts40.vcf", 0, "FN", "5 FN = Renée \"Nell\" O'Connor"},
            {"contacts40.vcf", 0, "NICKNAME", "7 NICKNAME = Nell | Ren"},
            {"contacts40.vcf", 0, "TEL", "8 TEL;VALUE=uri;TYPE=voice,cell;PREF=1 = tel:+1-555-555-0100"},
            {"contacts40.vcf", 0, "ADR", "10 ADR;LABEL=12 Harbour Road\nSuite \"B\"\nCobh;TYPE=home =  |  | 12 Harbour Road | Cobh |  | P24 | Ireland"},
            {"contacts40.vcf", 0, "PHOTO", "11 PHOTO = data:image/png;base64,iVBORw0KGgoAAQIDBA..."},
            {"contacts40.vcf", 0, "X-SHOE-SIZE", "13 X-SHOE-SIZE;X-NOTE=^^caret = 42"},
            {"contacts40.vcf", 1, "KIND", "17 KIND = group"},
        };
        for (const auto &r : rows)
            QTest::addRow("%s %d %s", r.file, r.card, r.key) << r.file << r.card << r.key << QString::fromUtf8(r.expected);
    }
    void sampleProperties()
    {
        QFETCH(QString, file);
        QFETCH(int, card);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QList<Card> cards;
        results(sample(file), &cards);
        QVERIFY(card < cards.size());
        const QList<const Property *> all = cards[card].all(key.section(u'#', 0, 0).toLower());
        const int nth = key.section(u'#', 1).toInt();
        QVERIFY(nth < all.size());
        QCOMPARE(describe(*all[nth]), expected);
    }

    // One card in every line form: the ends of lines, folds (one inside a
    // character), a byte order mark, blank and junk lines around it.
    void lineForms()
    {
        for (const QByteArray eol : {"\r\n", "\n", "\r\r\n", "\r"}) {
            const QByteArray card = "BEGIN:VCARD" + eol + "FN:Ren\xC3" + eol + " \xA9" + "e" + eol + "NOTE:a" + eol +
                                    "\tb" + eol + eol + "END:VCARD" + eol;
            for (const QByteArray &data : {card, "\xEF\xBB\xBF" + card, "junk" + eol + eol + card + "more junk" + eol + card}) {
                QList<Card> cards;
                const QStringList r = results(data, &cards);
                QVERIFY2(r.size() == cards.size() && !cards.isEmpty(), qPrintable(r.join(u';') + eol.toHex()));
                QCOMPARE(describe(cards.last().properties.value(0)).section(u' ', 1), QStringLiteral("FN = Renée"));
                QCOMPARE(describe(cards.last().properties.value(1)).section(u' ', 1), QStringLiteral("NOTE = ab"));
            }
        }
    }

    // A single property inside a card: what it reads as.
    void values_data()
    {
        QTest::addColumn<QByteArray>("lines");
        QTest::addColumn<QString>("expected");
        const struct { const char *name, *lines, *expected; } rows[] = {
            {"invalid utf-8 is Windows-1252", "NOTE:caf\xE9 \x80", "2 NOTE = café €"},
            {"utf-8", "NOTE:caf\xC3\xA9", "2 NOTE = café"},
            {"latin-1 label", "NOTE;CHARSET=ISO-8859-1:\x93x\x94", "2 NOTE = “x”"},
            {"other charset", "NOTE;CHARSET=ISO-8859-7:\xE1\xE2", "2 NOTE = αβ"},
            {"qp soft break, blanks after it", "NOTE;ENCODING=QUOTED-PRINTABLE:a=3Db= \t\r\n=0D=0Ac", "2 NOTE = a=b\nc"},
            {"qp break inside a 4-byte character", "NOTE;QUOTED-PRINTABLE;CHARSET=UTF-8:=F0=9F=\r\n=98=80", "2 NOTE = 😀"},
            {"qp break before END", "NOTE;ENCODING=QUOTED-PRINTABLE:end=", "2 NOTE = end"},
            {"qp invalid", "NOTE;ENCODING=QUOTED-PRINTABLE:=G1=4", "2 NOTE = =G1=4"},
            {"base64 folded", "PHOTO;ENCODING=b;TYPE=PNG:QU\r\n JD\r\n  REVG", "2 PHOTO;TYPE=PNG = <6 bytes 4142..4546>"},
            {"base64 until a blank line", "PHOTO;BASE64:QUJD\r\nREVG\r\n\r\nFN:x", "2 PHOTO = <6 bytes 4142..4546>; 5 FN = x"},
            {"3.0: no base64 after the folds", "VERSION:3.0\r\nPHOTO;ENCODING=b:QUJD\r\nXABCDEF\r\n :v", "3 PHOTO = <3 bytes 4142..4243>; 4 XABCDEF = v"},
            {"params", "X-A;X-P=\"a;b:c\";type=a,b;TYPE=c;HOME;X-E=;X-Q=\"\":v", "2 X-A;X-P=a;b:c;TYPE=a,b,c,HOME;X-E;X-Q= = v"},
            {"caret escapes", "X-A;X-P=\"^^x^n^'y^z\":v", "2 X-A;X-P=^x\n\"y^z = v"},
            {"head folded in quotes", "TEL;TYPE=\"ho\r\n me\":1", "2 TEL;TYPE=home = 1"},
            {"group and case", "item1.tel;Type=cell:1", "2 item1.TEL;TYPE=cell = 1"},
            {"bare encoding and value", "X-A;8BIT;URL:v", "2 X-A;VALUE=URL = v"},
            {"escapes", "NOTE:a\\\\b\\,c\\;d\\ne\\Nf\\:g\\x\\", "2 NOTE = a\\b,c;d\ne\nf:g\\x\\"},
            {"components", "N:a\\;b;c\\,d\\\\;;", "2 N = a;b | c,d\\ |  | "},
            {"list", "CATEGORIES:a\\,b,c", "2 CATEGORIES = a,b | c"},
            {"tel uri", "TEL;VALUE=uri:tel:+1-555", "2 TEL;VALUE=uri = tel:+1-555"},
            {"leading blanks, blank lines", " FN:x\r\n\r\n \r\nNOTE:y", "2 FN = x; 5 NOTE = y"},
        };
        for (const auto &r : rows)
            QTest::newRow(r.name) << QByteArray(r.lines) << QString::fromUtf8(r.expected);
    }
    void values()
    {
        QFETCH(QByteArray, lines);
        QFETCH(QString, expected);
        QList<Card> cards;
        const QStringList r = results(wrap(lines), &cards);
        QCOMPARE(r.size(), 1);
        QStringList got;
        for (const Property &p : cards.value(0).properties)
            got << describe(p);
        QCOMPARE(got.join(QLatin1String("; ")), expected);
    }

    // A card that cannot be read is skipped with its line; the next is read.
    void skips()
    {
        const QByteArray next = "BEGIN:VCARD\r\nFN:next\r\nEND:VCARD\r\n";
        const QByteArray big(Reader::kMaxValueBytes + 1, 'a');
        const struct { QByteArray data; QString expected; } cases[] = {
            {wrap("NOTE:" + big) + next, "skip 2: A value is larger than 16 MB.; card 4 x1"},
            {wrap("PHOTO;ENCODING=b:" + big.left(80) + "\r\n " + big) + next, "skip 2: A value is larger than 16 MB.; card 5 x1"},
            {wrap(":x") + next, "skip 2: A line has no property name.; card 4 x1"},
            {"BEGIN:VCARD\r\nFN:a\r\nEND:VC\r\n ARD\r\n" + next, "card 1 x1; card 5 x1"}, // END folded
            {"BEGIN:VCARD\r\nFN:a\r\nBEG\r\n IN:VCARD\r\n" + next, "skip 1: The card has no END:VCARD before the next BEGIN:VCARD.; card 5 x1"},
            {"BEGIN:VCARD", "skip 1: The file ends before the card's END:VCARD."},
            {"", ""},
            {"no card\r\nhere", ""},
        };
        for (const auto &c : cases)
            QCOMPARE(results(c.data).join(QLatin1String("; ")), c.expected);
    }

    void looksLikeVCard()
    {
        QVERIFY(LooksLikeVCard("\xEF\xBB\xBF\r\nExported contacts\r\n  begin:vcard  \r\n"));
        QVERIFY(LooksLikeVCard(QByteArray(7000, 'x') + "\nBEGIN:VCARD"));
        QVERIFY(!LooksLikeVCard(QByteArray(9000, 'x') + "\nBEGIN:VCARD"));
        QVERIFY(!LooksLikeVCard("BEGIN:VCALENDAR\r\n"));
        QVERIFY(!LooksLikeVCard(""));
    }

    // The export's quick ways from stored bytes write, for every contact they
    // take, exactly the card (and the plain CSV row) of the general way; the
    // rest they leave to it.
    void storedBytesWriteTheSameCard()
    {
        QRandomGenerator rng(7);
        const QStringList pieces = {
            "Ann", "O'Brien", " ", "\t", ",", ";", "\\", "\\n", "\r\n", "\r", "\n", ":*:", "é", "中文", "Øst",
            QString(QChar(0xA0)), QString::fromUtf8("\xF0\x9F\x98\x80"), "home", "Home", "cell", "work, home",
            " fax ", "mobile", "x", "a very long text that goes on well beyond seventy-five octets of a line",
            QString(QChar(0xFEFF)), "=", ":", "\"", "(x)", ")"};
        auto randomText = [&](int most) {
            QString t;
            for (int n = int(rng.bounded(most + 1)); n > 0; --n)
                t += pieces[int(rng.bounded(pieces.size()))];
            return t;
        };
        auto randomList = [&] {
            QString t;
            for (int n = int(rng.bounded(4)); n > 0; --n)
                t += randomText(2) + (rng.bounded(3) ? ":*:" + randomText(2) : QString()) + "\r\n";
            return t;
        };
        int quick = 0, photos = 0, quickCsv = 0, quickWebMail = 0;
        for (int i = 0; i < 4000; ++i) {
            QStringList columns(ContactCard::ColumnCount);
            for (const int c : {ContactCard::First, ContactCard::Last, ContactCard::Company, ContactCard::Address,
                                ContactCard::Category, ContactCard::Notes})
                columns[c] = rng.bounded(3) ? randomText(3) : QString();
            if (i % 2) { // names as most books hold them
                columns[ContactCard::First] = QStringLiteral("Zoë");
                columns[ContactCard::Last] = QStringLiteral("Smith");
            }
            for (const int c : {ContactCard::Phones, ContactCard::Mails, ContactCard::Websites})
                columns[c] = randomList();
            const QString uid = QStringLiteral("0f8fad5b-d9cb-469f-a165-70867728950e");
            const QString rev = QStringLiteral("2026-01-02T03:04:05Z");
            // A picture: a PNG, bytes that are no picture (written without), none.
            const QByteArray picture = i % 5 == 0 ? QByteArray("\x89PNG\r\n\x1a\n") + QByteArray(90, 'p')
                                       : i % 5 == 1 ? QByteArray("not a picture")
                                                    : QByteArray();
            if (!picture.isEmpty())
                columns[ContactCard::Picture] = QStringLiteral("/pictures/%1.png").arg(i);
            QByteArray bytes[ContactCard::ColumnCount];
            QByteArrayView views[ContactCard::ColumnCount];
            for (int c = 0; c < ContactCard::ColumnCount; ++c)
                views[c] = bytes[c] = columns[c].toUtf8();
            QByteArray row("x");
            if (ContactCard::ToPlainCsvFromStored(row, views)) {
                ++quickCsv;
                Csv::Writer general;
                general.row(CsvMapping::ExportRow(CsvMapping::ExportLayout::Plain, columns, {}, {}));
                QCOMPARE(row, "x" + general.data());
            } else {
                QCOMPARE(row, QByteArray("x"));
            }
            // The web-mail layout, as wide as the lists need or wider; now and
            // then a company's own contact (named after the company).
            if (i % 7 == 0) {
                columns[ContactCard::First] = columns[ContactCard::Company];
                columns[ContactCard::Last].clear();
                views[ContactCard::First] = bytes[ContactCard::First] = columns[ContactCard::First].toUtf8();
                views[ContactCard::Last] = bytes[ContactCard::Last] = QByteArray();
            }
            CsvMapping::Shape shape;
            shape.fit(columns, {});
            shape.addresses += int(rng.bounded(2));
            if (i % 3 == 0) // narrower: the last columns take the entries left
                shape.mails = shape.phones = shape.websites = 1;
            else
                shape.mails += int(rng.bounded(2));
            QCOMPARE(StoredItemCount(views[ContactCard::Phones]),
                     SplitItemList(columns[ContactCard::Phones]).size());
            row = "x";
            if (ContactCard::ToWebMailCsvFromStored(row, views, shape.mails, shape.phones, shape.addresses,
                                                    shape.websites)) {
                ++quickWebMail;
                Csv::Writer general;
                general.row(CsvMapping::ExportRow(CsvMapping::ExportLayout::WebMail, columns, {}, shape));
                QCOMPARE(row, "x" + general.data());
            } else {
                QCOMPARE(row, QByteArray("x"));
            }
            for (const VCard::Version version : {VCard::Version::V30, VCard::Version::V40, VCard::Version::V21}) {
                VCard::Writer fast(version), general(version);
                if (!ContactCard::ToCardFromStored(fast, views, uid.toLatin1(), rev.toLatin1(), picture)) {
                    QVERIFY(fast.data().isEmpty());
                    continue;
                }
                ++quick;
                photos += fast.data().contains("\r\nPHOTO");
                ContactCard::ToCard(general, columns, uid, {}, rev, picture);
                if (fast.data() != general.data())
                    QFAIL(qPrintable(QStringLiteral("contact %1:\n%2\n---\n%3")
                                         .arg(i)
                                         .arg(QString::fromUtf8(fast.data()), QString::fromUtf8(general.data()))));
            }
        }
        // Not a test of nothing.
        QVERIFY2(quick > 500 && photos > 50 && quickCsv > 1000 && quickWebMail > 1000,
                 qPrintable(QStringLiteral("%1 %2 %3 %4").arg(quick).arg(photos).arg(quickCsv).arg(quickWebMail)));
    }

    void writerForms()
    {
        const QList<Param> params{{"TYPE", {"HOME", "VOICE", "URL"}}, {"X-P", {"a,b", "say \"hi\"^\nnow"}}};
        const struct { Version version; std::function<void(Writer &)> write; QByteArray expected; } cases[] = {
            {Version::V30, [](Writer &w) { w.text("NOTE", "a,b;c\\d\ne"); }, "NOTE:a\\,b\\;c\\\\d\\ne\r\n"},
            {Version::V40, [](Writer &w) { w.text("NOTE", "a,b;c\\d\r\ne"); }, "NOTE:a\\,b\\;c\\\\d\\ne\r\n"},
            {Version::V21, [](Writer &w) { w.text("NOTE", "a,b;c\\d\ne"); }, "NOTE;ENCODING=QUOTED-PRINTABLE:a,b;c\\d=0D=0Ae\r\n"},
            {Version::V21, [](Writer &w) { w.text("NOTE", "x\\n\\"); }, "NOTE:x\\\\n\\\r\n"},
            {Version::V21, [](Writer &w) { w.text("FN", "Jürgen "); }, "FN;CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:J=C3=BCrgen=20\r\n"},
            {Version::V21, [](Writer &w) { w.components("N", {"a;b", "c,d\\", ""}); }, "N:a\\;b;c,d\\\\;\r\n"},
            {Version::V30, [](Writer &w) { w.components("N", {"a;b", "c,d\\", ""}); }, "N:a\\;b;c\\,d\\\\;\r\n"},
            {Version::V21, [](Writer &w) { w.list("CATEGORIES", {"a,b", "c;d"}); }, "CATEGORIES:a\\,b,c;d\r\n"},
            {Version::V40, [](Writer &w) { w.list("CATEGORIES", {"a,b", "c;d"}); }, "CATEGORIES:a\\,b,c\\;d\r\n"},
            {Version::V21, [&](Writer &w) { w.text("TEL", "1", params); },
             "TEL;HOME;VOICE;TYPE=URL;X-P=\"a,b\";X-P=\"say ^'hi^'^^^nnow\":1\r\n"},
            {Version::V30, [&](Writer &w) { w.text("TEL", "1", params); },
             "TEL;TYPE=HOME,VOICE,URL;X-P=\"a,b\",\"say ^'hi^'^^^nnow\":1\r\n"},
            {Version::V21, [](Writer &w) { w.binary("PHOTO", "ABC", "image/jpeg"); }, "PHOTO;ENCODING=BASE64;TYPE=JPEG:QUJD\r\n\r\n"},
            {Version::V30, [](Writer &w) { w.binary("PHOTO", "ABC", "image/jpeg"); }, "PHOTO;ENCODING=b;TYPE=JPEG:QUJD\r\n"},
            {Version::V40, [](Writer &w) { w.binary("PHOTO", "ABC", "image/jpeg"); }, "PHOTO:data:image/jpeg;base64,QUJD\r\n"},
            {Version::V40, [](Writer &w) { w.begin(); w.end(); }, "BEGIN:VCARD\r\nVERSION:4.0\r\nEND:VCARD\r\n"},
        };
        for (const auto &c : cases) {
            Writer w(c.version);
            c.write(w);
            QCOMPARE(w.take(), c.expected);
            QVERIFY(w.data().isEmpty());
        }
    }

    // Written in each version and read back, values come back as they were;
    // lines are CRLF, at most 75 octets, and never cut inside a character.
    void writeAndRead()
    {
        const QString longText = QString::fromUtf8("Ünïcödé ✓ 😀🎉 ") + QString(40, QChar(0x20AC)) + QString(100, u'x');
        const QStringList texts{"plain", "", "comma, semi; back\\slash \\n no newline", "one\ntwo\r\nthree",
                                longText, " blanks at both ends ", "=3D looks encoded=", "ends in backslash\\",
                                "END:VCARD", "BEGIN:VCARD"};
        const QByteArray bytes = QByteArray::fromHex("ffd8ffe0") + QByteArray(300, '\xAB');
        for (Version version : {Version::V21, Version::V30, Version::V40}) {
            Writer w(version);
            w.begin();
            for (const QString &t : texts)
                w.text("NOTE", t);
            w.components("ADR", texts);
            w.list("CATEGORIES", texts);
            w.binary("PHOTO", bytes, "image/jpeg");
            w.end();
            const QByteArray out = w.data();
            const QList<QByteArray> lines = out.split('\n');
            QVERIFY(lines.last().isEmpty());
            for (const QByteArray &line : lines.first(lines.size() - 1)) {
                QVERIFY2(line.endsWith('\r') && !line.chopped(1).contains('\r') && line.size() <= 76, line);
                QVERIFY2(QString::fromUtf8(line).toUtf8() == line, line); // no character cut by a fold
            }
            QList<Card> cards;
            QCOMPARE(results(out, &cards).size(), 1);
            const QList<const Property *> notes = cards[0].all("NOTE");
            QCOMPARE(notes.size(), texts.size());
            QStringList expected = texts;
            expected[3] = "one\ntwo\nthree";
            for (int i = 0; i < texts.size(); ++i)
                QCOMPARE(notes[i]->text(), expected[i]);
            QCOMPARE(cards[0].first("ADR")->components(), expected);
            QCOMPARE(cards[0].first("CATEGORIES")->list(), expected);
            const Property *photo = cards[0].first("PHOTO");
            if (version == Version::V40)
                QCOMPARE(photo->value, "data:image/jpeg;base64," + bytes.toBase64());
            else
                QVERIFY(photo->binary == bytes && photo->param("type") == QStringList("JPEG"));
        }
    }

    // Every property read (the samples and a card of awkward ones), written
    // back by property() in each version, reads as the same property; and
    // toLine() / fromLine() give it back exactly.
    void propertyRoundTrip()
    {
        const QByteArray awkward = wrap(
            "item1.X-LABEL;X-P=\"a,b\";TYPE=HOME,pref;X-Q=\"^^ ^n ^'\";X-E=:v\\,1\\;2\\\\3\\n4\\N5\\:6 ünï 😀\r\n"
            "NOTE:" + QByteArray(200, 'n') + "\\n end\r\nADR;TYPE=WORK:;;Street 1\\nBack;City;;1;Land\r\n"
            "TEL;TYPE=URL,\"x y\",QUOTED-PRINTABLE:tel:+1\r\nPHOTO;ENCODING=b;TYPE=JPEG:/9j/4AAQ\r\n"
            "X-EMPTY:\r\nX-BS:ends with\\\r\nX-N;CHARSET=ISO-8859-7;ENCODING=QUOTED-PRINTABLE:=E1=0D=0A=E2");
        QList<Card> cards;
        results(awkward, &cards);
        for (const char *name : kSamples)
            results(sample(name), &cards);
        QVERIFY(cards.size() > 10 && cards[0].properties.size() == 8);
        for (Version version : {Version::V21, Version::V30, Version::V40}) {
            for (const Card &card : cards) {
                Writer w(version);
                w.begin();
                for (const Property &p : card.properties)
                    w.property(p);
                w.end();
                QList<Card> back;
                QCOMPARE(results(w.data(), &back).size(), 1);
                QCOMPARE(back[0].properties.size(), card.properties.size());
                for (int i = 0; i < card.properties.size(); ++i)
                    QVERIFY2(same(back[0].properties[i], card.properties[i]), qPrintable(card.properties[i].toLine()));
            }
        }
        for (const Card &card : cards) {
            for (const Property &p : card.properties) {
                Property back;
                QVERIFY2(Property::fromLine(p.toLine(), back) && same(back, p), qPrintable(p.toLine()));
            }
        }
        Property p;
        QVERIFY(!Property::fromLine("NO COLON", p) && !Property::fromLine("A:b\nC:d", p) &&
                !Property::fromLine("A;ENCODING=X:b", p));
        QVERIFY(Property::fromLine("item1.X-ABLABEL:Boat", p) && p.group == "item1" && p.name == "X-ABLABEL");
        const Property &label = cards[0].properties[0];
        QVERIFY(!p.hasType("pref") && label.hasType("Pref") && label.param("x-p") == QStringList("a,b"));
    }
};

QTEST_GUILESS_MAIN(tst_VCard)
#include "tst_vcard.moc"
