// Damaged vCard files: reading always ends, nothing crashes, and every card
// read writes back (each version) and reads again as the same properties.
#include "interchange/VCard.h"

#include <QDir>
#include <QFile>
#include <QTest>

#include <random>

using namespace VCard;

namespace {

QString sameAfterWriting(const Card &card, Version version)
{
    Writer w(version);
    w.begin();
    for (const Property &p : card.properties)
        w.property(p);
    w.end();
    Reader reader(w.data());
    Card back, more;
    Problem problem;
    if (reader.next(back, problem) != Reader::Result::Card || reader.next(more, problem) != Reader::Result::End)
        return QStringLiteral("not one card: ") + problem.reason + u'\n' + QString::fromUtf8(w.data());
    if (back.properties.size() != card.properties.size())
        return QStringLiteral("properties lost:\n") + QString::fromUtf8(w.data());
    for (qsizetype i = 0; i < card.properties.size(); ++i) {
        const Property &a = card.properties[i], &b = back.properties[i];
        if (a.group != b.group || a.name != b.name || a.params != b.params || a.value != b.value || a.binary != b.binary)
            return QStringLiteral("changed: ") + a.toLine() + QLatin1String(" / ") + b.toLine();
    }
    return {};
}

// Reads `data` to the end; an empty string when all went well.
QString readAll(const QByteArray &data)
{
    Reader reader(data);
    Card card;
    Problem problem;
    // Every call takes at least one line, so there are at most lines + 1 calls.
    const qsizetype bound = data.count('\n') + data.count('\r') + 2;
    qsizetype last = 0;
    for (qsizetype calls = 1;; ++calls) {
        const Reader::Result r = reader.next(card, problem);
        if (calls > bound || reader.position() < last || reader.position() > data.size())
            return QStringLiteral("no progress");
        last = reader.position();
        if (r == Reader::Result::End)
            return reader.position() == data.size() ? QString() : QStringLiteral("ended early");
        if (r == Reader::Result::Skipped && (problem.line < 1 || problem.reason.isEmpty()))
            return QStringLiteral("skipped without a reason");
        for (Version v : {Version::V21, Version::V30, Version::V40}) {
            const QString error = r == Reader::Result::Card ? sameAfterWriting(card, v) : QString();
            if (!error.isEmpty())
                return error;
        }
    }
}

} // namespace

class tst_VCardFuzz : public QObject
{
    Q_OBJECT

private slots:
    void damagedSamples()
    {
        QList<QByteArray> samples;
        const QDir dir(QStringLiteral(ARDENTIA_SOURCE_DIR "/tests/interchange/samples"));
        for (const QString &name : dir.entryList({QStringLiteral("*.vcf")})) {
            QFile f(dir.filePath(name));
            QVERIFY(f.open(QIODevice::ReadOnly));
            samples << f.readAll();
        }
        QVERIFY(samples.size() >= 7);
        static const char kInserts[] = ":;=\\\r\n\"^, \t.";
        static const char *const kPieces[] = {"BEGIN:VCARD\r\n", "END:VCARD\r\n", "=\r\n", "\r\n ", "\xC3", "\xE2\x82",
                                              "\xF0\x9F\x98", ";ENCODING=b", ";QUOTED-PRINTABLE", ";CHARSET=SHIFT_JIS",
                                              "=E2=82", "\\", "\"", "^", "\r\n\r\n"};
        std::mt19937 rng(20240611);
        const auto pick = [&](qsizetype n) { return qsizetype(rng() % quint32(qMax<qsizetype>(n, 1))); };
        constexpr int kInputs = 100000;
        for (int n = 0; n < kInputs; ++n) {
            // Half the time a window of a sample, from the start of a line: small inputs keep this fast.
            QByteArray in = samples[pick(samples.size())];
            if (rng() % 2) {
                const qsizetype from = in.indexOf('\n', pick(in.size())) + 1;
                in = in.mid(from, 150 + pick(350));
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
                    const qsizetype from = pick(other.size());
                    in.insert(at, other.mid(from, pick(200)));
                    break;
                }
                default: in.insert(at, QByteArray(1, char(0x80 + rng() % 0x80))); break;
                }
            }
            const QString error = readAll(in);
            QVERIFY2(error.isEmpty(), qPrintable(error + QLatin1String("\ninput: ") + QString::fromLatin1(in.toPercentEncoding(" :;=,"))));
        }
        qInfo("%d damaged inputs read", kInputs);
    }
};

QTEST_GUILESS_MAIN(tst_VCardFuzz)
#include "tst_vcardfuzz.moc"
