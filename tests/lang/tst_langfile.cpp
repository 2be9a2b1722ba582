// The language file: 1000 lines into entries 1 to 1000, "RTL" on line 10.
#include "support/CoreTestSupport.h"

#include "lang/mdlTrans.h"

#include <QFile>
#include <QTest>

#include <sys/stat.h>

using namespace mdlTrans;

class tst_LangFile : public QObject
{
    Q_OBJECT

    TempAppFolder m_folder;

private slots:
    // `count` lines "line N" ended by `eol` (the last one too if `lastEnded`), line 5 with bad UTF-8.
    void lines()
    {
        const struct { int count; QByteArray line10, eol; bool lastEnded; int result; bool rtl; } cases[] = {
            {1000, "RTL", "\r\n", true, 0, true}, {1000, "RTL", "\r\n", false, 0, true}, {1200, "RTL", "\n", true, 0, true},
            {999, "RTL", "\r\n", true, 62, false}, {1000, "rtl", "\r", true, 0, false}, {1000, "RTL ", "\n", true, 0, false},
            {1000, "RTL", "\r", true, 0, true}};
        for (const auto &c : cases) {
            QByteArray bytes;
            for (int i = 1; i <= c.count; ++i)
                bytes += (i == 10 ? c.line10 : "line " + QByteArray::number(i)) + (i == 5 ? " \xff\xfe\xc3" : "") +
                         (i < c.count || c.lastEnded ? c.eol : "");
            ResetLanguage();
            QVERIFY(WriteFile(m_folder.file("eng.txt"), bytes));
            const int filled = qMin(c.count, 1000);
            const QByteArray tag = QByteArray::number(c.count) + c.line10 + c.eol.toHex();
            QVERIFY2(LoadLanguageFile(m_folder.file("eng.txt")) == c.result && RightToLeft() == c.rtl, tag.constData());
            QVERIFY2(Trans(1) == "line 1" && Trans(6) == "line 6" && Trans(filled) == QStringLiteral("line %1").arg(filled) &&
                         Trans(10) == c.line10 && Trans(5).startsWith("line 5 ") && Trans(filled + 1).isEmpty() &&
                         (Trans(0) + Trans(5000) + Trans(5001) + Trans(-1)).isEmpty(),
                     tag.constData());
        }
        // A later, shorter file overwrites what it reads and keeps the rest.
        QVERIFY(WriteFile(m_folder.file("short.txt"), "one\r\ntwo\r\n"));
        QCOMPARE(LoadLanguageFile(m_folder.file("short.txt")), 62);
        QCOMPARE(Trans(1) + Trans(2) + Trans(3) + Trans(1000), QStringLiteral("onetwoline 3line 1000"));
        QVERIFY(RightToLeft());
    }
    // Only a regular file: a pipe nobody writes to must not hold the start-up, nor /dev/zero run for ever.
    void notARegularFile()
    {
        ResetLanguage();
        QCOMPARE(QList<int>({LoadLanguageFile(m_folder.file("none.txt")), LoadLanguageFile(m_folder.file("eng.txt/x"))}),
                 QList<int>({53, 53}));
        QCOMPARE(::mkfifo(QFile::encodeName(m_folder.file("fifo.txt")).constData(), 0600), 0);
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), m_folder.file("zero.txt")));
        for (const char *name : {"fifo.txt", "zero.txt", ""})
            QCOMPARE(LoadLanguageFile(m_folder.file(name)), 75);
        for (int i = 0; i <= 5000; ++i)
            QVERIFY(Trans(i).isEmpty() && !RightToLeft());
        m_folder.installLanguageFile(); // the shipped file has all its lines
        QCOMPARE(LoadLanguageFile(m_folder.file("trans/eng.txt")), 0);
    }
};

QTEST_GUILESS_MAIN(tst_LangFile)
#include "tst_langfile.moc"
