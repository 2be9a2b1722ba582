// The language file: 1000 lines into entries 1 to 1000, "RTL" on line 10.
#include "common/TestSupport.h"

#include "lang/mdlTrans.h"

#include <QFile>
#include <QTest>

#include <sys/stat.h>

namespace {

// Writes `count` lines "line N" (line 10 given, line 5 with bytes that are not
// UTF-8), each ended by `eol`, the last
// one too unless `lastEnded` is false.
QString writeFile(const TempAppFolder &folder, int count, const QByteArray &line10, const QByteArray &eol,
                  bool lastEnded = true)
{
    QByteArray bytes;
    for (int i = 1; i <= count; ++i) {
        bytes += i == 10 ? line10 : "line " + QByteArray::number(i);
        if (i == 5)
            bytes += " \xff\xfe\xc3"; // not UTF-8, ending in half a character
        if (i < count || lastEnded)
            bytes += eol;
    }
    const QString path = folder.file("eng.txt");
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

} // namespace

class tst_LangFile : public QObject
{
    Q_OBJECT

private slots:
    void init() { mdlTrans::ResetLanguage(); }

    void load_data()
    {
        QTest::addColumn<int>("lines");
        QTest::addColumn<QByteArray>("line10");
        QTest::addColumn<QByteArray>("eol");
        QTest::addColumn<bool>("lastEnded");
        QTest::addColumn<int>("result");
        QTest::addColumn<bool>("rtl");
        QTest::newRow("1000 lines, RTL") << 1000 << QByteArray("RTL") << QByteArray("\r\n") << true << 0 << true;
        QTest::newRow("1000, last not ended") << 1000 << QByteArray("RTL") << QByteArray("\r\n") << false << 0 << true;
        QTest::newRow("1200 lines") << 1200 << QByteArray("RTL") << QByteArray("\r\n") << true << 0 << true;
        QTest::newRow("300 lines") << 300 << QByteArray("RTL") << QByteArray("\r\n") << true << 62 << false;
        QTest::newRow("999 lines") << 999 << QByteArray("RTL") << QByteArray("\r\n") << true << 62 << false;
        QTest::newRow("lower case rtl") << 1000 << QByteArray("rtl") << QByteArray("\r\n") << true << 0 << false;
        QTest::newRow("RTL and a blank") << 1000 << QByteArray("RTL ") << QByteArray("\r\n") << true << 0 << false;
        QTest::newRow("CR alone") << 1000 << QByteArray("RTL") << QByteArray("\r") << true << 0 << true;
        QTest::newRow("LF alone") << 1000 << QByteArray("RTL") << QByteArray("\n") << true << 0 << true;
    }
    void load()
    {
        QFETCH(int, lines);
        QFETCH(QByteArray, line10);
        QFETCH(QByteArray, eol);
        QFETCH(bool, lastEnded);
        QFETCH(int, result);
        QFETCH(bool, rtl);
        TempAppFolder folder;
        QCOMPARE(mdlTrans::LoadLanguageFile(writeFile(folder, lines, line10, eol, lastEnded)), result);
        QCOMPARE(mdlTrans::RightToLeft(), rtl);
        const int filled = qMin(lines, 1000);
        QCOMPARE(mdlTrans::Trans(0), QString());
        QVERIFY(mdlTrans::Trans(1).startsWith("line 1"));
        QVERIFY(mdlTrans::Trans(filled).startsWith("line " + QString::number(filled)));
        QCOMPARE(mdlTrans::Trans(10).left(line10.size()), QString::fromLatin1(line10));
        QVERIFY(mdlTrans::Trans(5).startsWith("line 5 "));
        QCOMPARE(mdlTrans::Trans(6), QStringLiteral("line 6"));
        QCOMPARE(mdlTrans::Trans(filled + 1), QString());
        QCOMPARE(mdlTrans::Trans(5000), QString());
    }

    void missingFile()
    {
        TempAppFolder folder;
        QCOMPARE(mdlTrans::LoadLanguageFile(folder.file("trans/eng.txt")), 53);
        QVERIFY(!mdlTrans::RightToLeft());
        for (int i = 0; i <= 5000; ++i)
            QCOMPARE(mdlTrans::Trans(i), QString());
    }

    // Only a regular file is read: a pipe nobody writes to must not hold the
    // start-up, a device that never ends must not be read for ever.
    void notARegularFile()
    {
        TempAppFolder folder;
        const QByteArray fifo = QFile::encodeName(folder.file("fifo.txt"));
        QCOMPARE(::mkfifo(fifo.constData(), 0600), 0);
        QCOMPARE(mdlTrans::LoadLanguageFile(folder.file("fifo.txt")), 75);
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), folder.file("zero.txt")));
        QCOMPARE(mdlTrans::LoadLanguageFile(folder.file("zero.txt")), 75);
        QCOMPARE(mdlTrans::LoadLanguageFile(folder.path()), 75); // a folder
    }

    // A later, shorter file overwrites what it reads and keeps the rest.
    void keepsEntriesPresent()
    {
        TempAppFolder folder;
        QCOMPARE(mdlTrans::LoadLanguageFile(writeFile(folder, 1000, "RTL", "\r\n")), 0);
        QFile f(folder.file("short.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("one\r\ntwo\r\n");
        f.close();
        QCOMPARE(mdlTrans::LoadLanguageFile(f.fileName()), 62);
        QCOMPARE(mdlTrans::Trans(1), QStringLiteral("one"));
        QCOMPARE(mdlTrans::Trans(2), QStringLiteral("two"));
        QCOMPARE(mdlTrans::Trans(3), QStringLiteral("line 3"));
        QCOMPARE(mdlTrans::Trans(1000), QStringLiteral("line 1000"));
        QVERIFY(mdlTrans::RightToLeft());
    }

    void shippedFile()
    {
        QCOMPARE(mdlTrans::LoadLanguageFile(ARDENTIA_SOURCE_DIR "/resources/trans/eng.txt"), 0);
        QCOMPARE(mdlTrans::Trans(252), QStringLiteral("Edit"));
    }
};

QTEST_MAIN(tst_LangFile)
#include "tst_langfile.moc"
