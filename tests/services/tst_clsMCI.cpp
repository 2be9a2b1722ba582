#include "support/CoreTestSupport.h"
#include "services/MediaInterpreter.h"
#include "services/clsMCI.h"
#include <QtTest>

// Silence as 16-bit mono PCM at 8 kHz.
static QByteArray wav(int ms)
{
    QByteArray out;
    QDataStream s(&out, QIODevice::WriteOnly);
    s.setByteOrder(QDataStream::LittleEndian);
    s.writeRawData("RIFF", 4);
    s << quint32(36 + 16 * ms);
    s.writeRawData("WAVEfmt ", 8);
    s << quint32(16) << quint16(1) << quint16(1) << quint32(8000) << quint32(16000) << quint16(2) << quint16(16);
    s.writeRawData("data", 4);
    s << quint32(16 * ms);
    return out + QByteArray(16 * ms, '\0');
}

// A friend of clsMCI: it reaches the commands clsMCI keeps private.
class tst_clsMCI : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase()
    {
        QVERIFY(WriteFile(m_tone, wav(1500)) && WriteFile(m_short, wav(700)));
        MediaInterpreter probe;
        probe.setOpenTimeout(30000); // the first load may build the media plugin registry
        if (probe.send(QString("open \"%1\" alias med").arg(m_short)).isEmpty())
            QSKIP("no media backend here that plays WAV files");
    }
    void playPauseStopSeek()
    {
        clsMCI mci;
        QVERIFY(mci.OpenMedia(m_tone));
        QVERIFY(qAbs(mci.MediaLength() - 1500) < 60);
        QVERIFY(mci.Position() == 0 && mci.MediaMode() == 0 && !mci.Playing());
        mci.Play();
        QVERIFY(mci.MediaMode() == 1 && mci.Playing());
        QTRY_VERIFY(mci.Position() > 100 && mci.Playing());
        mci.PauseMedia();
        QCOMPARE(mci.MediaMode(), 2);
        const qint32 paused = mci.Position();
        QTest::qWait(200);
        QCOMPARE(mci.Position(), paused);
        mci.StopPlay(); // keeps the place
        QVERIFY(mci.MediaMode() == 0 && !mci.Playing() && mci.Position() == paused);
        mci.MediaSeek(1000); // plays from there, the flag left alone
        QVERIFY(mci.MediaMode() == 1 && !mci.Playing() && mci.Position() >= 1000);
        mci.Play();
        // Only Position notices the end, and then stops the device.
        QTRY_VERIFY_WITH_TIMEOUT((mci.Position(), !mci.Playing()), 5000);
        QVERIFY(mci.Position() == mci.MediaLength() && mci.MediaMode() == 0);
        mci.PlayX(m_short); // closes what was open
        QVERIFY(mci.MediaMode() == 1 && mci.Playing() && qAbs(mci.MediaLength() - 700) < 60);
    }
    void badFileDoesNotOpen()
    {
        for (const QString &file : {m_folder.file("none"), m_folder.path(), QCoreApplication::applicationFilePath()}) {
            clsMCI mci;
            QVERIFY2(!mci.OpenMedia(file) && mci.MediaLength() == 0, qPrintable(file));
            mci.Play();
            QVERIFY(mci.Position() == 0 && !mci.Playing() && mci.MediaMode() == 0);
        }
    }

private:
    TempAppFolder m_folder;
    // A name with blanks and quotes of its own.
    const QString m_tone = m_folder.file("Tone \"quoted\".wav"), m_short = m_folder.file("short.wav");
};

QTEST_MAIN(tst_clsMCI)
#include "tst_clsMCI.moc"
