#include "services/clsMCI.h"

#include "services/MediaInterpreter.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace {
constexpr int kReplyBufferChars = 255;
}

qint32 ReplyToLong(const QString &reply)
{
    static const QRegularExpression number(QStringLiteral(R"(^\s*([+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?))"));
    const QRegularExpressionMatch m = number.match(reply);
    if (!m.hasMatch())
        return 0;
    bool ok = false;
    const double value = m.captured(1).toDouble(&ok);
    // An overflow comes back as an infinity, held to the range below.
    if ((!ok && !std::isinf(value)) || std::isnan(value))
        return 0;
    const double rounded = std::nearbyint(value);
    if (rounded >= double(std::numeric_limits<qint32>::max()))
        return std::numeric_limits<qint32>::max();
    if (rounded <= double(std::numeric_limits<qint32>::min()))
        return std::numeric_limits<qint32>::min();
    return qint32(rounded);
}

clsMCI::clsMCI()
    : m_ownSink(std::make_unique<MediaInterpreter>()), m_sink(m_ownSink.get())
{
}

clsMCI::clsMCI(MediaCommandSink &sink)
    : m_sink(&sink)
{
}

clsMCI::~clsMCI() = default;

QString clsMCI::SendCommand(const QString &command)
{
    QString reply = m_sink->send(command).left(kReplyBufferChars - 1);
    reply.remove(QChar(0));
    return reply;
}

bool clsMCI::OpenMedia(const QString &fName)
{
    SendCommand(QStringLiteral("close all"));
    const bool opened = ReplyToLong(SendCommand(QStringLiteral("open \"%1\" alias med").arg(fName))) != 0;
    SendCommand(QStringLiteral("set med time format milliseconds"));
    return opened;
}

qint32 clsMCI::MediaLength()
{
    return ReplyToLong(SendCommand(QStringLiteral("status med length")));
}

void clsMCI::MediaSeek(qint32 lPos)
{
    SendCommand(QStringLiteral("Seek med to %1").arg(lPos));
    SendCommand(QStringLiteral("play med"));
}

bool clsMCI::Playing() const
{
    return m_playing;
}

qint32 clsMCI::Position()
{
    const qint32 position = ReplyToLong(SendCommand(QStringLiteral("status med position")));
    if (position == MediaLength()) {
        SendCommand(QStringLiteral("stop med"));
        m_playing = false;
    }
    return position;
}

qint32 clsMCI::Play()
{
    SendCommand(QStringLiteral("play med"));
    m_playing = true;
    return 0;
}

qint32 clsMCI::PlayX(const QString &sFile)
{
    OpenMedia(sFile);
    SendCommand(QStringLiteral("play med"));
    m_playing = true;
    return 0;
}

qint32 clsMCI::StopPlay()
{
    SendCommand(QStringLiteral("stop med"));
    m_playing = false;
    return 0;
}

void clsMCI::PauseMedia()
{
    SendCommand(QStringLiteral("pause med"));
}

void clsMCI::PlayFullScreen()
{
    SendCommand(QStringLiteral("play med fullscreen"));
}

void clsMCI::PlayRepeat()
{
    SendCommand(QStringLiteral("play med repeat"));
}

qint32 clsMCI::MediaMode()
{
    const QString mode = SendCommand(QStringLiteral("status med mode"));
    if (mode == QLatin1String("playing"))
        return 1;
    if (mode == QLatin1String("paused"))
        return 2;
    return 0;
}
