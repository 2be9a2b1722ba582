#include "common/TestSupport.h"

#include "services/MediaInterpreter.h"
#include "services/clsMCI.h"

#include <QtTest>

#include <functional>
#include <limits>

namespace {

// Records every command and answers from a table (empty when not listed).
class RecordingSink : public MediaCommandSink
{
public:
    QString send(const QString &command) override
    {
        sent.append(command);
        return replies.value(command);
    }
    QStringList sent;
    QHash<QString, QString> replies;
};

const QString kOpenA = QStringLiteral("open \"/media/a.wav\" alias med");
const QString kOpenB = QStringLiteral("open \"/media/b b.wav\" alias med");
const QString kTimeFormat = QStringLiteral("set med time format milliseconds");

} // namespace

Q_DECLARE_METATYPE(std::function<void(clsMCI &)>)

class tst_clsMCI : public QObject
{
    Q_OBJECT
private slots:
    void openSendsCloseOpenAndTimeFormat_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<bool>("opened");
        QTest::newRow("device number") << "1" << true;
        QTest::newRow("failed") << "" << false;
        QTest::newRow("zero") << "0" << false;
        QTest::newRow("not a number") << "error" << false;
    }
    void openSendsCloseOpenAndTimeFormat()
    {
        QFETCH(QString, reply);
        QFETCH(bool, opened);
        RecordingSink sink;
        sink.replies[kOpenA] = reply;
        clsMCI mci(sink);
        QCOMPARE(mci.OpenMedia("/media/a.wav"), opened);
        QCOMPARE(sink.sent, (QStringList{"close all", kOpenA, kTimeFormat}));
        QVERIFY(!mci.Playing());
    }

    // What each operation sends, and whether the playing flag is set after it.
    void commandSequences_data()
    {
        QTest::addColumn<std::function<void(clsMCI &)>>("operation");
        QTest::addColumn<QStringList>("sent");
        QTest::addColumn<bool>("playing");
        using Op = std::function<void(clsMCI &)>;
        QTest::newRow("play") << Op([](clsMCI &m) { QCOMPARE(m.Play(), 0); }) << QStringList{"play med"} << true;
        QTest::newRow("play, stop") << Op([](clsMCI &m) { m.Play(); QCOMPARE(m.StopPlay(), 0); })
                                    << QStringList{"play med", "stop med"} << false;
        QTest::newRow("seek resumes, flag untouched") << Op([](clsMCI &m) { m.MediaSeek(5000); })
                                                      << QStringList{"Seek med to 5000", "play med"} << false;
        QTest::newRow("pause") << Op([](clsMCI &m) { m.PauseMedia(); }) << QStringList{"pause med"} << false;
        QTest::newRow("full screen") << Op([](clsMCI &m) { m.PlayFullScreen(); })
                                     << QStringList{"play med fullscreen"} << false;
        QTest::newRow("repeat") << Op([](clsMCI &m) { m.PlayRepeat(); }) << QStringList{"play med repeat"} << false;
        // Opening the second file fails, yet the flag is set as the play was asked for.
        QTest::newRow("PlayX twice") << Op([](clsMCI &m) { m.PlayX("/media/a.wav"); QCOMPARE(m.PlayX("/media/b b.wav"), 0); })
                                     << QStringList{"close all", kOpenA, kTimeFormat, "play med",
                                                    "close all", kOpenB, kTimeFormat, "play med"}
                                     << true;
    }
    void commandSequences()
    {
        QFETCH(std::function<void(clsMCI &)>, operation);
        QFETCH(QStringList, sent);
        QFETCH(bool, playing);
        RecordingSink sink;
        sink.replies[kOpenA] = "1";
        clsMCI mci(sink);
        operation(mci);
        QCOMPARE(sink.sent, sent);
        QCOMPARE(mci.Playing(), playing);
    }

    void positionStopsAtTheEnd_data()
    {
        QTest::addColumn<QString>("position");
        QTest::addColumn<QString>("length");
        QTest::addColumn<bool>("atEnd");
        QTest::newRow("middle") << "700" << "1500" << false;
        QTest::newRow("end") << "1500" << "1500" << true;
        QTest::newRow("end, untidy replies") << QString("1500") + QChar(0) << " 1500 " << true;
        // Nothing open: both read as 0, which counts as the end.
        QTest::newRow("no device") << "" << "" << true;
    }
    void positionStopsAtTheEnd()
    {
        QFETCH(QString, position);
        QFETCH(QString, length);
        QFETCH(bool, atEnd);
        RecordingSink sink;
        sink.replies["status med position"] = position;
        sink.replies["status med length"] = length;
        clsMCI mci(sink);
        mci.Play();
        sink.sent.clear();
        QCOMPARE(mci.Position(), ReplyToLong(position));
        QStringList expected{"status med position", "status med length"};
        if (atEnd)
            expected << "stop med";
        QCOMPARE(sink.sent, expected);
        QCOMPARE(mci.Playing(), !atEnd);
    }

    void replyNumbers_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("value");
        QTest::newRow("plain") << "1500" << 1500;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("word") << "playing" << 0;
        QTest::newRow("hex is not read") << "0x10" << 0;
        QTest::newRow("leading blanks, trailing text") << "  42 ms" << 42;
        QTest::newRow("sign") << "-7" << -7;
        QTest::newRow("half to even, down") << "12.5" << 12;
        QTest::newRow("half to even, up") << "13.5" << 14;
        QTest::newRow("exponent") << "1e3" << 1000;
        QTest::newRow("too large") << "99999999999" << std::numeric_limits<int>::max();
        QTest::newRow("huge exponent") << "1e999" << std::numeric_limits<int>::max();
    }
    void replyNumbers()
    {
        QFETCH(QString, reply);
        QFETCH(int, value);
        QCOMPARE(ReplyToLong(reply), value);
    }

    void replyIsABufferOf255()
    {
        RecordingSink sink;
        sink.replies["status med length"] = QString("15") + QChar(0) + QChar(0) + "00";
        sink.replies["status med position"] = QString(300, 'x');
        clsMCI mci(sink);
        QCOMPARE(mci.MediaLength(), 1500);
        QCOMPARE(mci.SendCommand("status med position").size(), 254);
    }

    void modeMapsTheReply_data()
    {
        QTest::addColumn<QString>("reply");
        QTest::addColumn<int>("mode");
        QTest::newRow("playing") << "playing" << 1;
        QTest::newRow("paused") << "paused" << 2;
        QTest::newRow("failed") << "" << 0;
        QTest::newRow("NUL inside") << QString("play") + QChar(0) + "ing" << 1;
        QTest::newRow("other case") << "Playing" << 0;
    }
    void modeMapsTheReply()
    {
        QFETCH(QString, reply);
        QFETCH(int, mode);
        RecordingSink sink;
        sink.replies["status med mode"] = reply;
        clsMCI mci(sink);
        QCOMPARE(mci.MediaMode(), mode);
        QCOMPARE(sink.sent, QStringList{"status med mode"});
    }
};

QTEST_MAIN(tst_clsMCI)
#include "tst_clsMCI.moc"
