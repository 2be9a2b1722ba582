// Date_Registed: stored as ISO text, shown as the locale's general date.
#include "common/TestSupport.h"

#include "store/DateText.h"

#include <QLocale>
#include <QTest>

#include <ctime>

class tst_DateText : public QObject
{
    Q_OBJECT

private slots:
    // A zone whose clock skips an hour in spring.
    void initTestCase()
    {
        qputenv("TZ", "Europe/Berlin");
        tzset();
        QLocale::setDefault(QLocale::c());
    }
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void stored()
    {
        QCOMPARE(StoredDateTime(QDateTime(QDate(2024, 3, 5), QTime(7, 8, 9))), QStringLiteral("2024-03-05 07:08:09"));
        QCOMPARE(StoredDateTime(QDateTime(QDate(1999, 12, 31), QTime(23, 59, 59, 999))),
                 QStringLiteral("1999-12-31 23:59:59"));
    }

    // Short date, a blank, the long time without its time-zone part, whatever
    // the locale writes around the zone.
    void general_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("time");
        QTest::newRow("C") << "C" << "13:04:05";
        QTest::newRow("en_US") << "en_US" << "1:04:05 PM";
        QTest::newRow("de_DE") << "de_DE" << "13:04:05";
        QTest::newRow("es_ES, zone in parentheses") << "es_ES" << "13:04:05";
        QTest::newRow("hr_HR, zone in parentheses") << "hr_HR" << "13:04:05";
        QTest::newRow("be_BY, zone after a comma") << "be_BY" << "13:04:05";
        QTest::newRow("sq_AL, zone after a comma") << "sq_AL" << "1:04:05 E PASDITES";
        QTest::newRow("ja_JP") << "ja_JP" << "13時04分05秒";
    }
    void general()
    {
        QFETCH(QString, locale);
        QFETCH(QString, time);
        const QLocale loc(locale);
        QLocale::setDefault(loc);
        const QString date = loc.toString(QDate(2024, 3, 5), QLocale::ShortFormat);
        QCOMPARE(GeneralDate("2024-03-05 13:04:05"), date + " " + time);
        QCOMPARE(GeneralDate("2024-03-05T13:04:05"), date + " " + time);
        QCOMPARE(GeneralDate("2024-03-05 00:00:00"), date);
        QCOMPARE(GeneralDate("2024-03-05"), date);
        QCOMPARE(GeneralDate("2024-03-05T13:04:05Z"), date + " " + time);
    }

    // The hour the clock skips on 31 March 2024 in that zone is still a time to show.
    void skippedHour()
    {
        QCOMPARE(GeneralDate("2024-03-31 02:30:05"), QStringLiteral("31 Mar 2024 02:30:05"));
    }

    void notIso_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::newRow("empty") << "";
        QTest::newRow("old general date") << "05.03.2024 13:04:05";
        QTest::newRow("words") << "last Tuesday";
        QTest::newRow("impossible day") << "2024-02-30 10:00:00";
    }
    void notIso()
    {
        QFETCH(QString, stored);
        QCOMPARE(GeneralDate(stored), stored);
    }
};

QTEST_MAIN(tst_DateText)
#include "tst_datetext.moc"
