// Text as the store compares and keeps it: like() and the search highlights (case
// ignored for every letter, else the engine's own LIKE), item lists, dates.
#include "support/CoreTestSupport.h"

#include "sqlite/Database.h"
#include "sqlite/Statement.h"
#include "sqlite/TextSanitize.h"
#include "store/DateText.h"
#include "store/FoldedNeedle.h"
#include "store/ItemList.h"
#include "store/SqlLike.h"
#include "store/Uid.h"

#include <QLocale>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSet>
#include <QUuid>
#include <QTest>

#include <sqlite3.h>

#include <ctime>

using Entries = QList<ItemEntry>;

// 1 or 0 for `text` LIKE `pattern` [ESCAPE `escape`] on `db`, -2 for an error.
static int like(sqlite3 *db, QByteArrayView text, QByteArrayView pattern, QByteArrayView escape = {})
{
    Statement st(db, escape.isNull() ? "SELECT ?1 LIKE ?2" : "SELECT ?1 LIKE ?2 ESCAPE ?3");
    return st.bindUtf8(1, text).bindUtf8(2, pattern).bindUtf8(3, escape).step() == SQLITE_ROW ? int(st.int64(0)) : -2;
}

class tst_StoredText : public QObject
{
    Q_OBJECT

    TempAppFolder m_folder;
    Database m_ours, m_builtIn;

private slots:
    void initTestCase()
    {
        QCOMPARE(m_ours.open(":memory:", Database::Mode::ReadWriteCreate), SQLITE_OK);
        QCOMPARE(m_builtIn.open(":memory:", Database::Mode::ReadWriteCreate), SQLITE_OK);
        RegisterLike(m_ours.handle());
        qputenv("TZ", "Europe/Berlin"); // a zone whose clock skips an hour in spring
        tzset();
    }
    // In order: a pattern or an escape that changes must not be answered from the call before.
    void likeCases()
    {
        const struct { const char *text, *pattern, *escape; int result; } cases[] = {
            {"Émile Zola", "émile%", nullptr, 1}, {"emile", "émile", nullptr, 0}, {"a𝔸b", "a_b", nullptr, 1},
            {"Joerg", "J_rg", nullptr, 0}, {"ſAM", "sam%", nullptr, 1}, {"\u212Aate", "ka%", nullptr, 1}, {"xſ", "s%", nullptr, 0},
            {"a\\xyz", "a\\%", "\\", 0}, {"a\\xyz", "a\\%", "!", 1}, {"a%x", "a!%", "!", 0}, {"a!x", "a!%", "\\", 1},
            {"100% ÄRGER", "%ä%%", "ä", 1}, {"ab", "ab\\", "\\", 0}, {"a", "a", "ab", -2}, {"A", "a", "b", 1}};
        for (const auto &c : cases) {
            const QChar escape = c.escape ? QString::fromUtf8(c.escape).at(0) : QChar();
            QVERIFY2(like(m_ours.handle(), c.text, c.pattern, c.escape) == c.result, c.pattern);
            QVERIFY2(c.result < 0 || LikeMatches(c.pattern, c.text, escape) == c.result, c.pattern);
        }
    }
    // On ASCII, ours is the engine's own LIKE, escape or not, every letter compared one or sixteen bytes at a time.
    void likeAsBuiltInOnAscii()
    {
        QRandomGenerator rng(7);
        const QByteArray alphabet = "%_\\!abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
        auto word = [&](int most, int from) {
            QByteArray s("");
            for (int n = rng.bounded(most + 1); n > 0; --n)
                s += alphabet.at(rng.bounded(from, int(alphabet.size())));
            return s;
        };
        for (int i = 0; i < 2000; ++i) {
            const QByteArray lit = word(3, 4);
            const QByteArray t = word(2, i % 2 ? 4 : 0) + (i % 3 ? lit.toUpper() : lit.toLower()) + word(i % 4 ? 6 : 40, 0);
            for (const QByteArray &p : {word(6, 0), lit, lit + "%", "%" + lit + "%", "_" + lit + "%"}) {
                QCOMPARE(like(m_ours.handle(), t, p), like(m_builtIn.handle(), t, p));
                QCOMPARE(LikeMatches(p, t), like(m_builtIn.handle(), t, p) == 1);
                for (const char *e : {"\\", "!", "a"})
                    QCOMPARE(like(m_ours.handle(), t, p, e), like(m_builtIn.handle(), t, p, e));
            }
        }
    }
    // Beyond ASCII the shortcuts agree with folding the whole value: letters folding to ASCII, BOM, bad UTF-8.
    void agreesWithFoldingTheWholeValue()
    {
        const QByteArray pieces[] = {"a", "A", "s", "S", "k", "K", "m", "x", "%", "\xC3\xA9", "\xC3\x89", "\xC5\xBF",
                                     "\xE2\x84\xAA", "\xEF\xBB\xBF", "\xC3", "\xE2\x84", "\xB0", QByteArray("\0", 1),
                                     "\xC3\x9F", "\xF0\x9F\x98\x80"};
        QRandomGenerator rng(77);
        for (int i = 0; i < 6000; ++i) {
            QByteArray text("");
            for (int n = rng.bounded(i % 4 ? 7 : 60); n > 0; --n)
                text += pieces[rng.bounded(int(std::size(pieces)))];
            const QString f = QString::fromUtf8(text).toCaseFolded();
            for (const QByteArray lit : {"a", "s", "k", "ks", "Ma", "sK", "\xC3\xA9", "\xC3\x89s", "\xC3\x9F"}) {
                const QString l = QString::fromUtf8(lit).toCaseFolded();
                const QList<int> got = {FoldedNeedle(lit).foundIn(text), like(m_ours.handle(), text, "%" + lit + "%"),
                                        like(m_ours.handle(), text, lit + "%"), like(m_ours.handle(), text, lit)};
                if (got != QList<int>{!text.isEmpty() && f.contains(l), f.contains(l), f.startsWith(l), f == l})
                    QFAIL(qPrintable(QString::fromLatin1(text.toHex(' ')) + " / " + l));
            }
        }
    }
    // Lists as GetList writes them ("written"), or as older or damaged data holds them.
    void itemList()
    {
        const struct { QString text; Entries entries; bool written; QString first; } cases[] = {
            {"", {}, true, ""}, {"a:*:b\r\nc:*:\r\n", {{"a", "b"}, {"c", ""}}, true, "a"},
            {"a:*:*:b\r\n", {{"a", "*:b"}}, true, "a"}, {"\r\n\r\na:*:b\r\n\r\nc:*:d", {{"a", "b"}, {"c", "d"}}, false, "\r\n\r\na"},
            {"a:*:b:*:c\r\n", {{"a", "b"}}, false, "a"}, {"a:*::*:c\r\nd:*:e", {{"a", ""}, {"d", "e"}}, false, "a"},
            {"plain\r\nx:*:y", {{"plain", ""}, {"x", "y"}}, false, "plain\r\nx"}, {"a\rb:*:c\nd\r\n", {{"a\rb", "c\nd"}}, false, "a\rb"}};
        for (const auto &c : cases) {
            QVERIFY2(SplitItemList(c.text) == c.entries && (!c.written || GetList(c.entries) == c.text), qPrintable(c.text));
            QVERIFY2(GetFirstItem(c.text) == c.first && IsMultyItems(c.text) == (c.entries.size() > 1), qPrintable(c.text));
        }
        QCOMPARE(GetList({{"a\r\nb\u2029", "c\rd\u2028"}}), QStringLiteral("a\nb\n:*:c\nd\n\r\n")); // typed line breaks: "\n"
    }
    // Whatever is typed (line breaks, ":*:", an item ending in ":*", NULs), entries stay; plain fields as typed.
    void typedTextKeepsEntries()
    {
        const QStringList alphabet = {"a", " ", ":", "*", "\r", "\n", "é", ":*:", "\r\n", ":*", QString(QChar(0x2028)),
                                      QString(QChar(0x2029)), QString(QChar(0)), QString(QChar(0xD800))};
        auto plain = [](const QString &s, bool isItem) {
            static const QRegularExpression unsafe(QStringLiteral("[\r\n\u2028\u2029]|:\\*:"));
            return !s.contains(unsafe) && !(isItem && s.endsWith(QLatin1String(":*")));
        };
        QRandomGenerator rng(12345);
        for (int round = 0; round < 10000; ++round) {
            Entries in(rng.bounded(5));
            for (ItemEntry &e : in) {
                for (QString *f : {&e.sItem, &e.sDescription}) {
                    for (int n = rng.bounded(8); n > 0; --n)
                        *f += alphabet.at(rng.bounded(int(alphabet.size())));
                }
            }
            const QString text = GetList(in);
            for (const QString &stored : {text, SanitizedText(text)}) {
                const Entries out = SplitItemList(stored);
                QCOMPARE(out.size(), in.size());
                QCOMPARE(GetFirstItem(stored), out.isEmpty() ? QString() : out.first().sItem);
                QVERIFY(IsMultyItems(stored) == (in.size() > 1) && GetList(out) == stored);
                for (qsizetype i = 0; i < in.size(); ++i) {
                    const ItemEntry typed{SanitizedText(in[i].sItem), SanitizedText(in[i].sDescription)};
                    QVERIFY(!out[i].sItem.contains(ItemSeparator()) && (!plain(typed.sItem, true) || SanitizedText(out[i].sItem) == typed.sItem));
                    QVERIFY(!plain(typed.sDescription, false) || SanitizedText(out[i].sDescription) == typed.sDescription);
                }
            }
        }
    }
    // Shown as the short date and the long time without its zone, however the locale writes the zone.
    void date()
    {
        const std::pair<const char *, const char *> locales[] = {
            {"C", "13:04:05"}, {"en_US", "1:04:05 PM"}, {"es_ES", "13:04:05"}, {"be_BY", "13:04:05"}};
        for (const auto &[locale, time] : locales) {
            QLocale::setDefault(QLocale(locale));
            const QString day = QLocale().toString(QDate(2024, 3, 5), QLocale::ShortFormat);
            for (const char *stored : {"2024-03-05 13:04:05", "2024-03-05T13:04:05", "2024-03-05T13:04:05Z"})
                QCOMPARE(GeneralDate(stored), day + " " + time);
            QCOMPARE(GeneralDate("2024-03-05 00:00:00") + GeneralDate("2024-03-05"), day + day); // midnight: no time
        }
        QLocale::setDefault(QLocale::c());
        QCOMPARE(StoredDateTime(QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 999))), QStringLiteral("1999-12-31 23:59:59"));
        // The hour the clock skips on 31 March 2024 in that zone is still a time to show.
        QCOMPARE(GeneralDate("2024-03-31 02:30:05"), QStringLiteral("31 Mar 2024 02:30:05"));
        for (const char *notIso : {"", "05.03.2024 13:04:05", "last Tuesday", "2024-02-30 10:00:00", "2024-02-03 25:00"})
            QCOMPARE(GeneralDate(notIso), QString(notIso)); // shown as it stands
    }

    // New UIDs: distinct, random version 4 ids, kept as 16 bytes, read back as
    // the same canonical text; any other UID is kept as it came.
    void uids()
    {
        QSet<QByteArray> seen;
        for (int i = 0; i < 20000; ++i) {
            const Uid::Stored u = Uid::Create();
            QVERIFY(u.blob && u.bytes.size() == 16);
            QCOMPARE(uchar(u.bytes[6]) >> 4, 4);
            QCOMPARE(uchar(u.bytes[8]) >> 6, 2);
            seen.insert(u.bytes);
            const QString text = Uid::Text(u.bytes, true);
            QCOMPARE(QUuid::fromString(text).version(), QUuid::Random);
            const Uid::Stored back = Uid::FromText(text);
            QVERIFY(back.blob && back.bytes == u.bytes);
        }
        QCOMPARE(seen.size(), 20000);
        const Uid::Stored other = Uid::FromText(QStringLiteral("urn:other:ABC"));
        QVERIFY(!other.blob && other.bytes == "urn:other:ABC");
    }
};

QTEST_GUILESS_MAIN(tst_StoredText)
#include "tst_storedtext.moc"
