// like() as registered on every connection: case-insensitive for every letter,
// otherwise the engine's own LIKE.
#include "common/TestSupport.h"

#include "app/AppContext.h"
#include "store/SqlLike.h"
#include "store/Statements.h"
#include "store/mdlMDB.h"

#include <QTest>

#include <sqlite3.h>

namespace {

// 1 or 0 for the LIKE of `text` against `pattern` on `db`; -1 for NULL, -2 for an error.
int engineLike(sqlite3 *db, const QVariant &text, const QVariant &pattern, const QString &escape = QString())
{
    const QByteArray sql = escape.isNull() ? "SELECT ?1 LIKE ?2" : "SELECT ?1 LIKE ?2 ESCAPE ?3";
    sqlite3_stmt *st = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &st, nullptr) != SQLITE_OK)
        return -2;
    const QByteArray t = text.toString().toUtf8(), p = pattern.toString().toUtf8(), e = escape.toUtf8();
    if (!text.isNull())
        sqlite3_bind_text(st, 1, t.constData(), int(t.size()), SQLITE_STATIC);
    if (!pattern.isNull())
        sqlite3_bind_text(st, 2, p.constData(), int(p.size()), SQLITE_STATIC);
    if (!escape.isNull())
        sqlite3_bind_text(st, 3, e.constData(), int(e.size()), SQLITE_STATIC);
    int r = -2;
    if (sqlite3_step(st) == SQLITE_ROW)
        r = sqlite3_column_type(st, 0) == SQLITE_NULL ? -1 : sqlite3_column_int(st, 0);
    sqlite3_finalize(st);
    return r;
}

int countRows(Connection &cn, const QString &statement)
{
    Recordset rs(cn);
    int n = 0;
    for (rs.open(statement); !rs.atEnd(); rs.moveNext())
        ++n;
    return n;
}

} // namespace

class tst_SqlLike : public QObject
{
    Q_OBJECT

private slots:
    void init() { m_folder = std::make_unique<TempAppFolder>(); m_cn = Connection::open(AppFilePath("/db/db.sqlite")); }
    void cleanup() { m_cn.reset(); m_folder.reset(); }

    void caseAndWildcards_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("matches");
        QTest::newRow("accented lower finds upper") << "émile%" << "Émile Zola" << true;
        QTest::newRow("umlaut upper finds lower") << "ÄRGER" << "ärger" << true;
        QTest::newRow("greek") << "σοφία" << "ΣΟΦΊΑ" << true;
        QTest::newRow("greek final sigma") << "%ς" << "ΟΔΟΣ" << true;
        QTest::newRow("cyrillic") << "дмитрий%" << "ДМИТРИЙ Иванов" << true;
        QTest::newRow("outside the basic plane") << "𐐨%" << "𐐀bc" << true;
        QTest::newRow("ascii") << "%BrIeN" << "o'brien" << true;
        QTest::newRow("different letter") << "émile" << "emile" << false;
        QTest::newRow("_ one ascii") << "J_rg" << "Jorg" << true;
        QTest::newRow("_ one non-ascii") << "J_rg" << "Jörg" << true;
        QTest::newRow("_ one outside the plane") << "a_b" << "a𝔸b" << true;
        QTest::newRow("_ not two") << "J_rg" << "Joerg" << false;
        QTest::newRow("% empty run") << "a%z" << "az" << true;
        QTest::newRow("% any run") << "a%z" << "a—ö—Z" << true;
        QTest::newRow("% backtracks") << "%ab%ab" << "xabyabzAB" << true;
        QTest::newRow("prefix only") << "m%" << "Emma" << false;
        QTest::newRow("prefix non-ascii") << "ö%" << "Öffnung" << true;
        QTest::newRow("whole text") << "Ann" << "Anna" << false;
    }
    void caseAndWildcards()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, text);
        QFETCH(bool, matches);
        QCOMPARE(LikeMatches(pattern, text), matches);
        QCOMPARE(engineLike(m_cn->handle(), text, pattern), matches ? 1 : 0);
    }

    void nullNeverMatches()
    {
        QCOMPARE(engineLike(m_cn->handle(), QVariant(), QStringLiteral("%")), -1);
        QCOMPARE(engineLike(m_cn->handle(), QStringLiteral("a"), QVariant()), -1);
        SeedContacts({{{"First_Name", "Ann"}, {"Notes", "x"}}, {{"First_Name", "Bob"}}});
        QCOMPARE(countRows(*m_cn, Statements::SearchOneField("Notes", "")), 1);
        QCOMPARE(countRows(*m_cn, Statements::SearchAllFields("")), 2);
    }

    void escape_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("escape");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("result");
        QTest::newRow("escaped %") << "50\\%" << "\\" << "50%" << 1;
        QTest::newRow("escaped % is literal") << "50\\%" << "\\" << "500" << 0;
        QTest::newRow("escaped _") << "a\\_c" << "\\" << "A_C" << 1;
        QTest::newRow("non-ascii escape") << "%ä%%" << "ä" << "100% ÄRGER" << 1;
        QTest::newRow("escape at end") << "ab\\" << "\\" << "ab" << 0;
        QTest::newRow("two-character escape") << "a" << "ab" << "a" << -2;
    }
    void escape()
    {
        QFETCH(QString, pattern);
        QFETCH(QString, escape);
        QFETCH(QString, text);
        QFETCH(int, result);
        QCOMPARE(engineLike(m_cn->handle(), text, pattern, escape), result);
        if (result >= 0 && escape.size() == 1)
            QCOMPARE(LikeMatches(pattern, text, escape.at(0)), result == 1);
    }

    // On ASCII our like() is the engine's own LIKE, escape or not.
    void sameAsBuiltInOnAscii()
    {
        sqlite3 *builtIn = nullptr;
        QCOMPARE(sqlite3_open(":memory:", &builtIn), SQLITE_OK);
        const char alphabet[] = "aAbB%_\\";
        quint32 seed = 7;
        auto word = [&seed, &alphabet](int maxLength) {
            QString s;
            seed = seed * 1103515245u + 12345u;
            for (quint32 n = (seed >> 16) % quint32(maxLength + 1); n > 0; --n) {
                seed = seed * 1103515245u + 12345u;
                s += QLatin1Char(alphabet[(seed >> 16) % 7]);
            }
            return s;
        };
        for (int i = 0; i < 5000; ++i) {
            const QString p = word(6), t = word(7);
            const int expected = engineLike(builtIn, t, p);
            QCOMPARE(engineLike(m_cn->handle(), t, p), expected);
            QCOMPARE(LikeMatches(p, t), expected == 1);
            for (const char *escape : {"\\", "%", "a"})
                QCOMPARE(engineLike(m_cn->handle(), t, p, escape), engineLike(builtIn, t, p, escape));
        }
        sqlite3_close(builtIn);
    }

    // The letter nodes' statements find names beginning with the letter, in any case.
    void letterStatements()
    {
        SeedContacts({{{"First_Name", "Émile"}, {"Last_Name", "ärger"}},
                      {{"First_Name", "emma"}, {"Last_Name", "Öztürk"}},
                      {{"First_Name", "Remy"}, {"Last_Name", "Mé"}}});
        QCOMPARE(countRows(*m_cn, Statements::FirstNameLike("é")), 1);
        QCOMPARE(countRows(*m_cn, Statements::FirstNameLike("E")), 1);
        QCOMPARE(countRows(*m_cn, Statements::LastNameLike("Ä")), 1);
        QCOMPARE(countRows(*m_cn, Statements::LastNameLike("ö")), 1);
        QCOMPARE(countRows(*m_cn, Statements::LastNameLike("é")), 0);
    }

private:
    std::unique_ptr<TempAppFolder> m_folder;
    std::unique_ptr<Connection> m_cn;
};

QTEST_MAIN(tst_SqlLike)
#include "tst_sqllike.moc"
