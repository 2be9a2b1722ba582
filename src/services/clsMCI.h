#pragma once

#include <QString>
#include <QtGlobal>

#include <memory>

class MediaCommandSink;

// Plays one media file, opened under the device alias "med", by sending
// command texts to a media command interpreter. Times are milliseconds.
class clsMCI
{
public:
    // Talks to a MediaInterpreter of its own (needs a QApplication).
    clsMCI();
    // Talks to `sink`, which must outlive this object.
    explicit clsMCI(MediaCommandSink &sink);
    ~clsMCI();
    clsMCI(const clsMCI &) = delete;
    clsMCI &operator=(const clsMCI &) = delete;

    // Closes every device, then opens fName; true when the interpreter gave it a device number.
    bool OpenMedia(const QString &fName);
    qint32 MediaLength();
    // Moves to lPos and plays from there; the playing flag is left as it is.
    void MediaSeek(qint32 lPos);
    // The playing flag: set by Play and PlayX, cleared by StopPlay and by a
    // Position call that finds the end reached. Playback ending by itself is
    // noticed only through Position.
    bool Playing() const;
    qint32 Position();
    qint32 Play();
    qint32 PlayX(const QString &sFile);
    qint32 StopPlay();

private:
    friend class tst_clsMCI;

    // Sends one command; the reply as a 255-character buffer gives it: at most
    // 254 characters, NULs removed.
    QString SendCommand(const QString &command);
    void PauseMedia();
    void PlayFullScreen();
    void PlayRepeat();
    // 1 playing, 2 paused, 0 anything else.
    qint32 MediaMode();

    std::unique_ptr<MediaCommandSink> m_ownSink;
    MediaCommandSink *m_sink;
    bool m_playing = false;
};

// A reply's numeric prefix (leading blanks, sign, digits, decimals, exponent)
// rounded half to even and held to the 32-bit range; 0 when there is none.
qint32 ReplyToLong(const QString &reply);
