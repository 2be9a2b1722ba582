#pragma once

#include <QObject>
#include <QString>

#include <memory>

// Where clsMCI sends its command texts.
class MediaCommandSink
{
public:
    virtual ~MediaCommandSink() = default;
    // Runs one command; the reply is empty when the command fails.
    virtual QString send(const QString &command) = 0;
};

// Plays one media file through QMediaPlayer, driven by command texts:
//   open "FILE" alias med              -> a device number ("1", "2", ...)
//   close all | close med
//   set med time format milliseconds
//   play med [fullscreen | repeat] | pause med | stop med | seek med to N
//   status med mode | length | position  -> "playing", "paused" or "stopped";
//                                           decimal milliseconds
// Words and the alias are read without regard to case, the file name as
// written. An unknown command, or one for a device that is not open, gets an
// empty reply; so do the commands that answer nothing.
class MediaInterpreter : public QObject, public MediaCommandSink
{
    Q_OBJECT
public:
    explicit MediaInterpreter(QObject *parent = nullptr);
    ~MediaInterpreter() override;

    QString send(const QString &command) override;

    // How long an open waits for the media to load before giving up.
    void setOpenTimeout(int milliseconds) { m_openTimeout = milliseconds; }

private:
    struct Device;

    QString open(const QString &file, const QString &alias);
    QString play(const QString &flag);
    QString seek(const QString &to);
    QString status(const QString &item) const;
    void closeDevice();

    std::unique_ptr<Device> m_device;
    int m_nextDeviceId = 1;
    int m_openTimeout = 5000;
};
