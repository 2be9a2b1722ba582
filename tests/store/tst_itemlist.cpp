// The text encoding of the phone, mail and web-site lists.
#include "common/TestSupport.h"

#include "store/ItemList.h"
#include "store/TextSanitize.h"

#include <QTest>

using Entries = QList<ItemEntry>;

namespace QTest {
template <> char *toString(const ItemEntry &e)
{
    return qstrdup(QByteArray("{" + e.sItem.toUtf8().toPercentEncoding(" ") + " | " +
                              e.sDescription.toUtf8().toPercentEncoding(" ") + "}"));
}
} // namespace QTest

namespace {

// True when the field holds nothing the format has to make safe.
bool plainField(const QString &s, bool isItem)
{
    for (const QChar c : s) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0x2028) || c == QChar(0x2029) || c.isNull())
            return false;
    }
    return !s.contains(QLatin1String(":*:")) && !(isItem && s.endsWith(QLatin1String(":*")));
}

} // namespace

class tst_ItemList : public QObject
{
    Q_OBJECT

private slots:
    // Lists written by GetList: exact text, and back again.
    void encode_data()
    {
        QTest::addColumn<Entries>("entries");
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << Entries{} << "";
        QTest::newRow("two entries") << Entries{{"a", "b"}, {"c", ""}} << "a:*:b\r\nc:*:\r\n";
        QTest::newRow("single") << Entries{{"+1 555", "home"}} << "+1 555:*:home\r\n";
        QTest::newRow("empty item") << Entries{{"", "only text"}} << ":*:only text\r\n";
        QTest::newRow("case and spaces") << Entries{{" Ab C ", "  x Y "}, {"a", "a"}}
                                         << " Ab C :*:  x Y \r\na:*:a\r\n";
        QTest::newRow("duplicates, order kept") << Entries{{"z", "1"}, {"a", ""}, {"z", "1"}}
                                                << "z:*:1\r\na:*:\r\nz:*:1\r\n";
        QTest::newRow("description starting *:") << Entries{{"a", "*:b"}} << "a:*:*:b\r\n";
    }
    void encode()
    {
        QFETCH(Entries, entries);
        QFETCH(QString, text);
        QCOMPARE(GetList(entries), text);
        QCOMPARE(SplitItemList(text), entries);
        QCOMPARE(GetList(SplitItemList(text)), text);
        QCOMPARE(GetFirstItem(text), entries.isEmpty() ? QString() : entries.first().sItem);
        QCOMPARE(IsMultyItems(text), entries.size() > 1);
    }

    // Text not written by GetList is read without failing.
    void lenientReading_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<Entries>("entries");
        QTest::newRow("blank lines first") << "\r\n\r\na:*:b\r\n" << Entries{{"a", "b"}};
        QTest::newRow("blank lines between") << "a:*:b\r\n\r\n\r\nc:*:d\r\n" << Entries{{"a", "b"}, {"c", "d"}};
        QTest::newRow("two separators") << "a:*:b:*:c\r\n" << Entries{{"a", "b"}};
        QTest::newRow("no separator") << "plain\r\nx:*:y\r\n" << Entries{{"plain", ""}, {"x", "y"}};
        QTest::newRow("no final line end") << "a:*:b\r\nc:*:d" << Entries{{"a", "b"}, {"c", "d"}};
        QTest::newRow("line ends only") << "\r\n\r\n" << Entries{};
        QTest::newRow("lone CR and LF") << "a\rb:*:c\nd\r\n" << Entries{{"a\rb", "c\nd"}};
    }
    void lenientReading()
    {
        QFETCH(QString, text);
        QFETCH(Entries, entries);
        QCOMPARE(SplitItemList(text), entries);
    }

    // Whatever a user types into either field, decoding what was encoded gives
    // as many entries as went in, in order, and plain fields come back as typed.
    void typedTextKeepsEntries_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("description");
        QTest::newRow("CR LF") << "a\r\nb" << "c\r\nd\r\n";
        QTest::newRow("CR") << "\ra\r" << "b\r";
        QTest::newRow("LF") << "\n" << "x\ny\n";
        QTest::newRow("U+2028/9") << QString("a") + QChar(0x2028) << QString(QChar(0x2029));
        QTest::newRow("separator in both") << "a:*:b" << ":*:c:*:";
        QTest::newRow("item ending :*") << "a:*" << "b";
        QTest::newRow("description starting *:") << "a:" << "*:b";
        QTest::newRow("runs") << ":*:*:*:" << ":*:*:";
        QTest::newRow("only separators") << ":*:" << ":*:";
        QTest::newRow("NUL hiding a separator") << QString::fromUtf16(u":\0*:x", 5) << QString::fromUtf16(u"\r\0\n", 3);
    }
    void typedTextKeepsEntries()
    {
        QFETCH(QString, item);
        QFETCH(QString, description);
        const Entries in{{"first", "1"}, {item, description}, {"last", "3"}};
        const QString text = GetList(in);
        // The store drops NULs and lone surrogates: that must not change the list either.
        for (const QString &stored : {text, SanitizedText(text)}) {
            const Entries out = SplitItemList(stored);
            QCOMPARE(out.size(), 3);
            QCOMPARE(out.first(), in.first());
            QCOMPARE(out.last(), in.last());
            QVERIFY(!out.at(1).sItem.contains(QLatin1String(":*:")));
            QCOMPARE(GetList(out), stored);
            QCOMPARE(GetFirstItem(stored), QStringLiteral("first"));
            QVERIFY(IsMultyItems(stored));
        }
        const QString single = GetList({{item, description}});
        QCOMPARE(SplitItemList(single).size(), 1);
        QCOMPARE(GetFirstItem(single), SplitItemList(single).first().sItem);
        QVERIFY(!IsMultyItems(single));
    }

    // The same over many generated lists.
    void generatedLists()
    {
        const QStringList alphabet = {"a", " ", ":", "*", "\r", "\n", "é", ":*:", "\r\n",
                                      QString(QChar(0x2028)), QString(QChar(0)), QString(QChar(0xD800))};
        quint32 seed = 12345;
        auto next = [&seed](quint32 n) {
            seed = seed * 1103515245u + 12345u;
            return (seed >> 16) % n;
        };
        auto field = [&] {
            QString s;
            for (quint32 i = next(8); i > 0; --i)
                s += alphabet.at(int(next(quint32(alphabet.size()))));
            return s;
        };
        for (int round = 0; round < 20000; ++round) {
            Entries in;
            for (quint32 i = next(5); i > 0; --i)
                in.append({field(), field()});
            const QString text = GetList(in);
            for (const QString &stored : {text, SanitizedText(text)}) {
                const Entries out = SplitItemList(stored);
                QCOMPARE(out.size(), in.size());
                QCOMPARE(GetFirstItem(stored), out.isEmpty() ? QString() : out.first().sItem);
                QCOMPARE(IsMultyItems(stored), in.size() > 1);
                QCOMPARE(GetList(out), stored);
            }
            const Entries out = SplitItemList(text);
            for (qsizetype i = 0; i < in.size(); ++i) {
                if (plainField(in[i].sItem, true))
                    QCOMPARE(out[i].sItem, in[i].sItem);
                if (plainField(in[i].sDescription, false))
                    QCOMPARE(out[i].sDescription, in[i].sDescription);
            }
        }
    }
};

QTEST_MAIN(tst_ItemList)
#include "tst_itemlist.moc"
