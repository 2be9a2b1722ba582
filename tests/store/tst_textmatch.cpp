// The byte-level comparisons behind like() and the search highlights, against
// the plain rule they stand in for (fold the whole value, then compare), and
// the record set read in slices of the key range against the same statement
// read whole.
#include "common/TestSupport.h"

#include "app/AppContext.h"
#include "store/SqlLike.h"
#include "store/TextMatch.h"
#include "store/mdlMDB.h"

#include <QRandomGenerator>
#include <QTest>

#include <sqlite3.h>

namespace {

// Pieces values are made of: ASCII of both cases, letters beyond ASCII, the
// two characters that fold to ASCII letters (U+017F, U+212A), a byte order
// mark, broken sequences and a NUL.
const QByteArray kPieces[] = {"a",  "A",  "s",  "S",  "k",  "K",  "m", "M", "x", " ", ":", "%", "_", "1",
                              "\xC3\xA9", "\xC3\x89", "\xC5\xBF", "\xE2\x84\xAA", "\xEF\xBB\xBF", "\xC3",
                              "\xE2\x84", "\xC5", "\xB0", QByteArray("\0", 1), "\xC4\xB0", "\xC3\x9F",
                              "\xF0\x9F\x98\x80"};

QByteArray randomText(QRandomGenerator &rng, int maxPieces)
{
    QByteArray t;
    const int n = int(rng.bounded(maxPieces + 1));
    for (int i = 0; i < n; ++i)
        t += kPieces[rng.bounded(int(std::size(kPieces)))];
    return t;
}

QString folded(const QByteArray &utf8)
{
    return QString::fromUtf8(utf8).toCaseFolded();
}

// like(pattern, text) on the connection, both given as raw bytes.
int engineLike(sqlite3 *db, const QByteArray &pattern, const QByteArray &text)
{
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, "SELECT like(?1, ?2)", -1, &st, nullptr) != SQLITE_OK)
        return -2;
    sqlite3_bind_text(st, 1, pattern.constData(), int(pattern.size()), SQLITE_STATIC);
    sqlite3_bind_text(st, 2, text.constData(), int(text.size()), SQLITE_STATIC);
    int r = -2;
    if (sqlite3_step(st) == SQLITE_ROW)
        r = sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    return r;
}

QList<qint64> keys(Recordset &rs)
{
    QList<qint64> ids;
    for (; !rs.atEnd(); rs.moveNext())
        ids << rs.field("ContactID").toLongLong();
    return ids;
}

} // namespace

class tst_TextMatch : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_folder = std::make_unique<TempAppFolder>(); }
    void cleanup() { m_folder.reset(); }

    void highlightsAgreeWithFoldingTheWholeValue()
    {
        QRandomGenerator rng(20240611);
        const QStringList needles = {"a", "s", "k", "ma", "sk", "AS", "x%", "é", "É", "ß", "i̇", "😀", ""};
        for (int i = 0; i < 20000; ++i) {
            // Long values too, so that sixteen bytes are compared at a time.
            const QByteArray text = randomText(rng, i % 4 == 0 ? 60 : 8);
            for (const QString &needle : needles) {
                const bool expected = !text.isEmpty() && folded(text).contains(needle.toCaseFolded());
                if (FoldedNeedle(needle).foundIn(text) != expected)
                    QFAIL(qPrintable(QStringLiteral("\"%1\" in %2").arg(needle, QString::fromLatin1(text.toHex(' ')))));
            }
        }
    }

    void likeAgreesWithFoldingTheWholeValue()
    {
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(":memory:", &db), SQLITE_OK);
        RegisterLike(db);
        QRandomGenerator rng(77);
        const QList<QByteArray> literals = {"a", "s", "k", "ks", "Ma", "sK", "\xC3\xA9", "\xC3\x89s", "x"};
        for (int i = 0; i < 20000; ++i) {
            const QByteArray text = randomText(rng, i % 4 == 0 ? 60 : 6);
            const QString f = folded(text);
            for (const QByteArray &lit : literals) {
                const QString l = folded(lit);
                const struct
                {
                    QByteArray pattern;
                    bool expected;
                } cases[] = {{"%" + lit + "%", f.contains(l)}, {lit + "%", f.startsWith(l)}, {lit, f == l}};
                for (const auto &c : cases) {
                    if (engineLike(db, c.pattern, text) != int(c.expected))
                        QFAIL(qPrintable(QStringLiteral("%1 like %2").arg(QString::fromLatin1(text.toHex(' ')),
                                                                          QString::fromUtf8(c.pattern))));
                }
            }
        }
        sqlite3_close(db);
    }

    void slicesReadTheSameRowsInTheSameOrder()
    {
        auto cn = Connection::open(AppFilePath(QStringLiteral("/db/db.sqlite")));
        cn->exec(QStringLiteral("BEGIN"));
        // Keys far apart and close together, below zero too: many slices, some empty.
        QList<qint64> ids;
        for (qint64 k = -20000; k < 70000; k += (k % 7 == 0 ? 1 : 13))
            ids << k;
        sqlite3_stmt *st = nullptr;
        sqlite3_prepare_v2(cn->handle(), "INSERT INTO Contacts (ContactID, First_Name, Category) VALUES (?,?,?)", -1,
                           &st, nullptr);
        for (qint64 k : ids) {
            const QByteArray name = k % 3 ? "Anna" : "Bert";
            sqlite3_bind_int64(st, 1, k);
            sqlite3_bind_text(st, 2, name.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_text(st, 3, k % 5 ? "Work" : "Home", -1, SQLITE_STATIC);
            sqlite3_step(st);
            sqlite3_reset(st);
        }
        sqlite3_finalize(st);
        cn->exec(QStringLiteral("COMMIT"));

        const QStringList statements = {
            QStringLiteral("SELECT * FROM Contacts WHERE First_Name like '%er%'"),
            QStringLiteral("SELECT * FROM Contacts WHERE Category ='Home'"),
            QStringLiteral("SELECT * FROM Contacts WHERE First_Name like 'zz%'"),
            QStringLiteral("SELECT * FROM Contacts WHERE Category ='Work' ORDER BY ContactID DESC"),
            QStringLiteral("SELECT * FROM Contacts")};
        for (const QString &statement : statements) {
            Recordset whole(*cn);
            whole.open(statement);
            const QList<qint64> expected = keys(whole);
            int pauses = 0;
            Recordset sliced(*cn);
            sliced.readInSlices([&] {
                ++pauses;
                return true;
            });
            sliced.prepare(statement);
            sliced.start();
            QCOMPARE(keys(sliced), expected);
            if (statement.contains(QLatin1String("WHERE")) && !statement.contains(QLatin1String("ORDER")))
                QVERIFY2(pauses > 5, qPrintable(statement));
            else
                QCOMPARE(pauses, 0);
        }

        // The caller may end the reading between two slices.
        Recordset stopped(*cn);
        int pauses = 0;
        stopped.readInSlices([&] { return ++pauses < 3; });
        stopped.open(QStringLiteral("SELECT * FROM Contacts WHERE First_Name like 'zz%'"));
        QVERIFY(stopped.atEnd());
        QCOMPARE(pauses, 3);
    }

    void slicesOfAnEmptyTable()
    {
        auto cn = Connection::open(AppFilePath(QStringLiteral("/db/db.sqlite")));
        Recordset rs(*cn);
        rs.readInSlices([] { return true; });
        rs.open(QStringLiteral("SELECT * FROM Contacts WHERE Category ='x'"));
        QVERIFY(rs.atEnd());
    }

private:
    std::unique_ptr<TempAppFolder> m_folder;
};

QTEST_MAIN(tst_TextMatch)
#include "tst_textmatch.moc"
