// Damaged CSV files: reading and mapping always end and nothing crashes; a
// table read writes back and reads again as the same cells, and its contacts'
// kept lines are vCard lines (checked for every fourth input, which keeps the
// sanitizer build within its time).
#include "interchange/Csv.h"
#include "interchange/CsvMapping.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <random>

namespace {

QList<QStringList> rowsOf(const Csv::Table &t)
{
    QList<QStringList> rows{t.header};
    for (qsizetype r = 0; r < t.rowCount(); ++r)
        rows << t.cells(r);
    return rows;
}

// Reads and maps `data`; an empty string when all went well. `deep` also
// writes the table and reads it again, reads every kept line back and
// writes the first contact in each layout.
QString check(const QByteArray &data, bool deep)
{
    const Csv::Table t = Csv::Read(data);
    if (!t.refused.isEmpty())
        return t.rowCount() || !t.header.isEmpty() || !t.problems.isEmpty() ? QStringLiteral("refused, yet rows") : QString();
    if (t.header.isEmpty() || t.header.size() > Csv::kMaxColumns)
        return QStringLiteral("header of %1 columns").arg(t.header.size());
    const int lines = int(data.count('\n') + data.count('\r')) + 1; // at most
    int last = t.headerLine;
    for (qsizetype r = 0; r < t.rowCount(); ++r) {
        if (t.line(r) <= last || t.line(r) > lines)
            return QStringLiteral("row %1 at line %2").arg(r).arg(t.line(r));
        last = t.line(r);
    }
    for (const Csv::Problem &p : t.problems) {
        if (p.line < 1 || p.line > lines || p.reason.isEmpty())
            return QStringLiteral("problem at line %1: %2").arg(p.line).arg(p.reason);
    }

    const CsvMapping::Mapping m = CsvMapping::ForHeader(t.header);
    const CsvMapping::Contacts c = CsvMapping::ToContacts(t, m);
    if (c.contacts.size() + c.skipped.size() != t.rowCount())
        return QStringLiteral("rows lost in mapping");
    if (!deep)
        return {};

    const QList<QStringList> rows = rowsOf(t);
    Csv::Writer w(t.delimiter);
    for (const QStringList &row : rows) {
        if (row.size() != t.header.size())
            return QStringLiteral("a row of %1 cells").arg(row.size());
        w.row(row);
    }
    const Csv::Table again = Csv::Read(w.data(), Csv::Options{{}, t.delimiter});
    // Rewritten text can tip the share of control characters, and a header
    // alone is refused; nothing else may differ.
    if (t.rowCount() && again.refused != QLatin1String("The file holds binary data, not text.")) {
        if (!again.refused.isEmpty() || !again.problems.isEmpty() || rowsOf(again) != rows)
            return QStringLiteral("not the same when written:\n") + QString::fromUtf8(w.data());
    }

    CsvMapping::Mapping back;
    if (!CsvMapping::FromText(CsvMapping::ToText(m), t.header.size(), back) || back.roles != m.roles)
        return QStringLiteral("mapping text: ") + CsvMapping::ToText(m);
    for (const ContactCard::Contact &contact : c.contacts) {
        if (contact.columns.size() != ContactCard::ColumnCount)
            return QStringLiteral("columns");
        for (const QString &line : contact.kept) {
            VCard::Property p;
            if (!VCard::Property::fromLine(line, p) || p.toLine() != line)
                return QStringLiteral("kept line unreadable: ") + line;
        }
    }
    for (const ContactCard::Contact &contact : c.contacts.mid(0, 1)) {
        CsvMapping::Shape shape;
        shape.fit(contact.columns, contact.kept);
        for (auto layout : {CsvMapping::ExportLayout::WebMail, CsvMapping::ExportLayout::Plain}) {
            if (CsvMapping::ExportRow(layout, contact.columns, contact.kept, shape).size() !=
                CsvMapping::ExportHeader(layout, shape).size())
                return QStringLiteral("export row width");
        }
    }
    return {};
}

} // namespace

class tst_CsvFuzz : public QObject
{
    Q_OBJECT

private slots:
    void damagedSamples()
    {
        QList<QByteArray> samples;
        const QDir dir(QStringLiteral(ARDENTIA_SOURCE_DIR "/tests/interchange/samples"));
        for (const QString &name : dir.entryList({QStringLiteral("csv-*.csv")})) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            samples << f.readAll();
        }
        QVERIFY(samples.size() >= 9);
        static const char kInserts[] = ",;\t\"\r\n :*-|";
        static const char *const kPieces[] = {"\"\"",     "\",\"",    "sep=;\n",    "\r\n",     " ::: ",    "* ",
                                              "\xC3",     "\xE2\x82", "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF", "\\",
                                              "Address 1 - ", "E-mail 1 - Label", "Phone 2 - Value", ",,,,,,,,", "\n\n"};
        std::mt19937 rng(20240612);
        const auto pick = [&](qsizetype n) { return qsizetype(rng() % quint32(qMax<qsizetype>(n, 1))); };
        constexpr int kInputs = 100000;
        for (int n = 0; n < kInputs; ++n) {
            // Mostly the header line and a window of the rest, from the start
            // of a line: small inputs keep this fast.
            QByteArray in = samples[pick(samples.size())];
            if (rng() % 8) {
                const qsizetype from = in.indexOf('\n', pick(in.size())) + 1;
                in = in.left(in.indexOf('\n') + 1) + in.mid(from, 50 + pick(250));
            }
            for (int m = 1 + int(rng() % 6); m > 0; --m) {
                const qsizetype at = pick(in.size() + 1);
                switch (rng() % 7) {
                case 0:
                    if (at < in.size())
                        in[at] = char(in[at] ^ (1 << (rng() % 8)));
                    break;
                case 1: in.insert(at, kInserts[pick(sizeof(kInserts) - 1)]); break;
                case 2: in.insert(at, kPieces[pick(std::size(kPieces))]); break;
                case 3: in.remove(at, pick(24)); break;
                case 4: in.truncate(at); break;
                case 5: { // a piece of another sample
                    const QByteArray &other = samples[pick(samples.size())];
                    in.insert(at, other.mid(pick(other.size()), pick(200)));
                    break;
                }
                default: in.insert(at, QByteArray(1, char(0x80 + rng() % 0x80))); break;
                }
            }
            if (const QString error = check(in, n % 4 == 0); !error.isEmpty())
                QFAIL(qPrintable(error + QLatin1String("\ninput: ") + QString::fromLatin1(in.toPercentEncoding(" ,;:"))));
        }
        qInfo("%d damaged inputs read", kInputs);
    }
};

QTEST_GUILESS_MAIN(tst_CsvFuzz)
#include "tst_csvfuzz.moc"
