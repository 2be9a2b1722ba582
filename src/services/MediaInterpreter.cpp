#include "services/MediaInterpreter.h"

#include <QAudioOutput>
#include <QEventLoop>
#include <QFileInfo>
#include <QImage>
#include <QKeyEvent>
#include <QMediaPlayer>
#include <QPainter>
#include <QRegularExpression>
#include <QTimer>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>
#include <QWidget>

namespace {

const QString kAlias = QStringLiteral("med");

bool is(const QString &word, QLatin1String expected)
{
    return word.compare(expected, Qt::CaseInsensitive) == 0;
}

// Shows a video's pictures; Escape hides it.
class VideoWindow : public QWidget
{
public:
    VideoWindow()
    {
        setObjectName(QStringLiteral("VideoWindow"));
        connect(&m_sink, &QVideoSink::videoFrameChanged, this, [this](const QVideoFrame &frame) {
            m_image = frame.toImage();
            update();
        });
    }
    QVideoSink *sink() { return &m_sink; }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Qt::black);
        if (m_image.isNull())
            return;
        QSize size = m_image.size().scaled(this->size(), Qt::KeepAspectRatio);
        painter.drawImage(QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size), m_image);
    }
    void keyPressEvent(QKeyEvent *event) override
    {
        if (event->key() == Qt::Key_Escape)
            hide();
        else
            QWidget::keyPressEvent(event);
    }

private:
    QVideoSink m_sink;
    QImage m_image;
};

} // namespace

struct MediaInterpreter::Device
{
    int id = 0;
    // Declared first so that it goes last: the player uses its sink.
    std::unique_ptr<VideoWindow> video;
    std::unique_ptr<QMediaPlayer> player;
    // The player stops at the end; here the device then reports its position
    // as the length, which is how a caller sees that the end was reached.
    bool atEnd = false;
    // "stop" pauses the player (its stop would rewind) but reports "stopped".
    bool stopped = true;
};

MediaInterpreter::MediaInterpreter(QObject *parent)
    : QObject(parent)
{
}

MediaInterpreter::~MediaInterpreter() = default;

QString MediaInterpreter::send(const QString &command)
{
    static const QRegularExpression openPattern(QStringLiteral(R"re(^\s*open\s+"(.*)"\s+alias\s+(\S+)\s*$)re"),
                                                QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch openMatch = openPattern.match(command);
    if (openMatch.hasMatch())
        return open(openMatch.captured(1), openMatch.captured(2));

    const QStringList words = command.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (words.size() == 2 && is(words[0], QLatin1String("close")) && is(words[1], QLatin1String("all"))) {
        closeDevice();
        return {};
    }
    // Everything else addresses the open device by its alias.
    if (words.size() < 2 || !m_device || words[1].compare(kAlias, Qt::CaseInsensitive) != 0)
        return {};
    const QString &verb = words[0];
    const qsizetype n = words.size();

    if (is(verb, QLatin1String("close")) && n == 2) {
        closeDevice();
    } else if (is(verb, QLatin1String("set")) && n == 5 && is(words[2], QLatin1String("time")) &&
               is(words[3], QLatin1String("format"))) {
        // Milliseconds are the only time format this device knows.
        if (!is(words[4], QLatin1String("milliseconds")) && !is(words[4], QLatin1String("ms")))
            return {};
    } else if (is(verb, QLatin1String("play")) && n <= 3) {
        return play(n == 3 ? words[2] : QString());
    } else if (is(verb, QLatin1String("pause")) && n == 2) {
        m_device->player->pause();
        m_device->stopped = false;
    } else if (is(verb, QLatin1String("stop")) && n == 2) {
        if (m_device->player->playbackState() == QMediaPlayer::PlayingState)
            m_device->player->pause();
        m_device->stopped = true;
    } else if (is(verb, QLatin1String("seek")) && n == 4 && is(words[2], QLatin1String("to"))) {
        return seek(words[3]);
    } else if (is(verb, QLatin1String("status")) && n == 3) {
        return status(words[2]);
    }
    return {};
}

QString MediaInterpreter::open(const QString &file, const QString &alias)
{
    if (alias.compare(kAlias, Qt::CaseInsensitive) != 0 || m_device || !QFileInfo(file).isFile())
        return {};

    auto device = std::make_unique<Device>();
    device->player = std::make_unique<QMediaPlayer>();
    QMediaPlayer *player = device->player.get();
    // Without an audio output the player never learns the duration.
    player->setAudioOutput(new QAudioOutput(player));

    // Wait until the media is loaded, so that its length is known as soon as
    // the open returns.
    QEventLoop loop;
    auto settled = [player] {
        const QMediaPlayer::MediaStatus s = player->mediaStatus();
        return player->error() != QMediaPlayer::NoError || s == QMediaPlayer::InvalidMedia ||
               (s == QMediaPlayer::LoadedMedia && player->duration() > 0);
    };
    auto check = [&] {
        if (settled())
            loop.quit();
    };
    connect(player, &QMediaPlayer::mediaStatusChanged, &loop, check);
    connect(player, &QMediaPlayer::durationChanged, &loop, check);
    connect(player, &QMediaPlayer::errorOccurred, &loop, check);
    QTimer::singleShot(m_openTimeout, &loop, &QEventLoop::quit);
    player->setSource(QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath()));
    if (!settled())
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    // A stream whose length stays unknown still plays.
    if (player->error() != QMediaPlayer::NoError || player->mediaStatus() != QMediaPlayer::LoadedMedia)
        return {};

    connect(player, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus s) {
        if (s == QMediaPlayer::EndOfMedia && m_device) {
            m_device->atEnd = true;
            m_device->stopped = true;
            if (m_device->video && m_device->video->isFullScreen())
                m_device->video->hide();
        }
    });
    device->id = m_nextDeviceId++;
    m_device = std::move(device);
    return QString::number(m_device->id);
}

QString MediaInterpreter::play(const QString &flag)
{
    const bool fullScreen = is(flag, QLatin1String("fullscreen"));
    const bool repeat = is(flag, QLatin1String("repeat"));
    if (!flag.isEmpty() && !fullScreen && !repeat)
        return {};

    QMediaPlayer *player = m_device->player.get();
    if (player->hasVideo()) {
        if (!m_device->video) {
            m_device->video = std::make_unique<VideoWindow>();
            m_device->video->resize(640, 360);
            player->setVideoSink(m_device->video->sink());
        }
        if (fullScreen)
            m_device->video->showFullScreen();
        else
            m_device->video->show();
    }
    player->setLoops(repeat ? QMediaPlayer::Infinite : QMediaPlayer::Once);
    m_device->atEnd = false;
    m_device->stopped = false;
    player->play();
    return {};
}

QString MediaInterpreter::seek(const QString &to)
{
    QMediaPlayer *player = m_device->player.get();
    qint64 position = 0;
    if (is(to, QLatin1String("end"))) {
        position = player->duration();
    } else if (!is(to, QLatin1String("start"))) {
        bool ok = false;
        position = to.toLongLong(&ok);
        if (!ok || position < 0)
            return {};
        if (player->duration() > 0)
            position = qMin(position, player->duration());
    }
    // Seeking stops playback; a play command resumes it from there.
    if (player->playbackState() == QMediaPlayer::PlayingState)
        player->pause();
    m_device->stopped = true;
    m_device->atEnd = false;
    player->setPosition(position);
    return {};
}

QString MediaInterpreter::status(const QString &item) const
{
    const QMediaPlayer *player = m_device->player.get();
    if (is(item, QLatin1String("length")))
        return QString::number(player->duration());
    if (is(item, QLatin1String("position")))
        return QString::number(m_device->atEnd ? player->duration() : player->position());
    if (is(item, QLatin1String("mode"))) {
        if (player->playbackState() == QMediaPlayer::PlayingState)
            return QStringLiteral("playing");
        if (player->playbackState() == QMediaPlayer::PausedState && !m_device->stopped)
            return QStringLiteral("paused");
        return QStringLiteral("stopped");
    }
    return {};
}

void MediaInterpreter::closeDevice()
{
    if (!m_device)
        return;
    m_device->player->stop();
    m_device.reset();
}
