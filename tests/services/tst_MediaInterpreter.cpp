#include "common/TestSupport.h"

#include "services/MediaInterpreter.h"
#include "services/clsMCI.h"

#include <QAudioOutput>
#include <QDeadlineTimer>
#include <QMediaPlayer>
#include <QTemporaryDir>
#include <QtEndian>
#include <QtTest>

#include <cmath>

namespace {

// 16-bit PCM, mono, 8 kHz: a 440 Hz tone of the given length.
void writeWav(const QString &path, int milliseconds)
{
    const quint32 rate = 8000;
    const quint32 samples = rate * milliseconds / 1000;
    QByteArray pcm;
    for (quint32 i = 0; i < samples; ++i) {
        const auto s = qToLittleEndian(qint16(6000 * std::sin(2 * M_PI * 440 * i / rate)));
        pcm.append(reinterpret_cast<const char *>(&s), 2);
    }
    auto u32 = [](quint32 v) { v = qToLittleEndian(v); return QByteArray(reinterpret_cast<const char *>(&v), 4); };
    auto u16 = [](quint16 v) { v = qToLittleEndian(v); return QByteArray(reinterpret_cast<const char *>(&v), 2); };
    QByteArray wav = "RIFF" + u32(36 + pcm.size()) + "WAVE" + "fmt " + u32(16) + u16(1) + u16(1) + u32(rate) +
                     u32(rate * 2) + u16(2) + u16(16) + "data" + u32(pcm.size()) + pcm;
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(wav);
}

// Whether Qt's own player can load the file here: without a backend or the
// WAV decoder the interpreter cannot be tested on this machine.
QString backendProblem(const QString &path)
{
    QMediaPlayer player;
    if (!player.isAvailable())
        return QStringLiteral("no media backend is available");
    QAudioOutput out;
    player.setAudioOutput(&out);
    player.setSource(QUrl::fromLocalFile(path));
    // Generous: the first load in a fresh home folder also builds GStreamer's
    // plugin registry.
    QDeadlineTimer deadline(30000);
    while (player.mediaStatus() == QMediaPlayer::LoadingMedia && player.error() == QMediaPlayer::NoError &&
           !deadline.hasExpired())
        QTest::qWait(20);
    if (player.mediaStatus() != QMediaPlayer::LoadedMedia)
        return QStringLiteral("the media backend cannot load a WAV file (%1); install the GStreamer base and good "
                              "plugins")
            .arg(player.errorString());
    return {};
}

constexpr int kLength = 1500;

} // namespace

// Allocated once by the sound server's client library and never freed.
extern "C" const char *__lsan_default_suppressions()
{
    return "leak:libpulse\n";
}

class tst_MediaInterpreter : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        // Headless, the audio output finds no sound server; it plays into nowhere.
        QLoggingCategory::setFilterRules(QStringLiteral("qt.multimedia.*.warning=false"));
        QVERIFY(m_dir.isValid());
        m_wav = m_dir.filePath("tone.wav");
        writeWav(m_wav, kLength);
        const QString problem = backendProblem(m_wav);
        if (!problem.isEmpty())
            QSKIP(qPrintable(problem));
    }

    void playsToTheEnd()
    {
        MediaInterpreter interpreter;
        clsMCI mci(interpreter);
        QVERIFY(mci.OpenMedia(m_wav));
        QVERIFY(qAbs(mci.MediaLength() - kLength) <= 50);
        QCOMPARE(interpreter.send("status med mode"), QStringLiteral("stopped"));
        QCOMPARE(mci.Position(), 0);
        QVERIFY(!mci.Playing());

        mci.Play();
        QVERIFY(mci.Playing());
        QCOMPARE(interpreter.send("status med mode"), QStringLiteral("playing"));
        QTRY_VERIFY(mci.Position() > 0);
        QVERIFY(mci.Playing());

        // Only Position notices the end, and then stops the device.
        QTRY_VERIFY_WITH_TIMEOUT((mci.Position(), !mci.Playing()), 5000);
        QCOMPARE(mci.Position(), mci.MediaLength());
        QCOMPARE(interpreter.send("status med mode"), QStringLiteral("stopped"));
    }

    void pauseStopAndSeek()
    {
        MediaInterpreter interpreter;
        QVERIFY(!interpreter.send(QString("open \"%1\" alias med").arg(m_wav)).isEmpty());
        QCOMPARE(interpreter.send("set med time format milliseconds"), QString());
        interpreter.send("play med");
        QTRY_VERIFY(interpreter.send("status med position").toInt() > 100);

        interpreter.send("pause med");
        QCOMPARE(interpreter.send("status med mode"), QStringLiteral("paused"));
        const QString paused = interpreter.send("status med position");
        QTest::qWait(200);
        QCOMPARE(interpreter.send("status med position"), paused);

        // Stopping keeps the place; seeking moves it without playing.
        interpreter.send("stop med");
        QCOMPARE(interpreter.send("status med mode"), QStringLiteral("stopped"));
        QCOMPARE(interpreter.send("status med position"), paused);
        interpreter.send("Seek med to 1000");
        QTRY_COMPARE(interpreter.send("status med position"), QStringLiteral("1000"));
        QCOMPARE(interpreter.send("status med mode"), QStringLiteral("stopped"));

        interpreter.send("play med");
        QCOMPARE(interpreter.send("status med mode"), QStringLiteral("playing"));
        QTRY_VERIFY(interpreter.send("status med position").toInt() > 1000);
        QTRY_COMPARE_WITH_TIMEOUT(interpreter.send("status med mode"), QStringLiteral("stopped"), 3000);
        QCOMPARE(interpreter.send("status med position"), interpreter.send("status med length"));
    }

    void seekThroughClsMciPlaysFromThere()
    {
        MediaInterpreter interpreter;
        clsMCI mci(interpreter);
        QVERIFY(mci.OpenMedia(m_wav));
        mci.MediaSeek(1200);
        QCOMPARE(interpreter.send("status med mode"), QStringLiteral("playing"));
        QVERIFY(mci.Position() >= 1200);
        QVERIFY(!mci.Playing());
    }

    void repeatKeepsPlaying()
    {
        MediaInterpreter interpreter;
        clsMCI mci(interpreter);
        QVERIFY(mci.OpenMedia(m_wav));
        interpreter.send("play med repeat");
        QTest::qWait(kLength + 600);
        QCOMPARE(interpreter.send("status med mode"), QStringLiteral("playing"));
        QVERIFY(interpreter.send("status med position").toInt() < kLength);
    }

    void openRules()
    {
        MediaInterpreter interpreter;
        const QString name = m_dir.filePath("Tone \"quoted\" copy.wav");
        QVERIFY(QFile::copy(m_wav, name));
        // Words and alias in any case; quotes inside the name are its own.
        QCOMPARE(interpreter.send(QString("OPEN \"%1\" ALIAS Med").arg(name)), QStringLiteral("1"));
        QVERIFY(qAbs(interpreter.send("STATUS MED LENGTH").toInt() - kLength) <= 50);
        QCOMPARE(interpreter.send(QString("open \"%1\" alias med").arg(m_wav)), QString()); // alias in use
        QCOMPARE(interpreter.send("Close All"), QString());
        QCOMPARE(interpreter.send("status med length"), QString());
        // The file name's case counts.
        QCOMPARE(interpreter.send(QString("open \"%1\" alias med").arg(name.toLower())), QString());
        QCOMPARE(interpreter.send(QString("open \"%1\" alias other").arg(m_wav)), QString());
        QCOMPARE(interpreter.send(QString("open \"%1\" alias med").arg(m_wav)), QStringLiteral("2"));
        QCOMPARE(interpreter.send("close med"), QString());
        QCOMPARE(interpreter.send("status med mode"), QString());
    }

    void failuresAnswerNothing_data()
    {
        QTest::addColumn<QString>("command");
        QTest::newRow("unknown verb") << "rewind med";
        QTest::newRow("empty") << "";
        QTest::newRow("other alias") << "status other length";
        QTest::newRow("unknown status") << "status med colour";
        QTest::newRow("other time format") << "set med time format frames";
        QTest::newRow("seek to a word") << "seek med to middle";
        QTest::newRow("seek before the start") << "seek med to -5";
        QTest::newRow("open without alias") << "open \"" + m_wav + "\"";
    }
    void failuresAnswerNothing()
    {
        QFETCH(QString, command);
        MediaInterpreter interpreter;
        QVERIFY(!interpreter.send(QString("open \"%1\" alias med").arg(m_wav)).isEmpty());
        QCOMPARE(interpreter.send(command), QString());
        QCOMPARE(interpreter.send("status med mode"), QStringLiteral("stopped"));
    }

    void missingOrBrokenFileDoesNotOpen_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("missing") << m_dir.filePath("missing.wav");
        QTest::newRow("a folder") << m_dir.path();
        QTest::newRow("not media") << m_dir.filePath("noise.wav");
    }
    void missingOrBrokenFileDoesNotOpen()
    {
        QFETCH(QString, file);
        QFile noise(m_dir.filePath("noise.wav"));
        QVERIFY(noise.open(QIODevice::WriteOnly));
        noise.write(QByteArray(4000, '\x5a'));
        noise.close();

        MediaInterpreter interpreter;
        clsMCI mci(interpreter);
        QVERIFY(!mci.OpenMedia(file));
        QCOMPARE(mci.MediaLength(), 0);
        QCOMPARE(interpreter.send("status med length"), QString());
        QCOMPARE(interpreter.send("status med mode"), QString());
        mci.Play();
        QCOMPARE(mci.Position(), 0);
        QVERIFY(!mci.Playing());
    }

private:
    QTemporaryDir m_dir;
    QString m_wav;
};

QTEST_MAIN(tst_MediaInterpreter)
#include "tst_MediaInterpreter.moc"
