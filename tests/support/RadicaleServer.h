#pragma once

#include <QByteArray>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// A real CardDAV server for a test: Radicale (Debian's package, run as a
// python module) on a free loopback port with a temporary storage folder, the
// user "ann" with the password "secret". Started by start(), ended with the
// object. http() talks to it through python's own HTTP client, so that a test
// checks the server's state with something other than the program's code.
class RadicaleServer
{
public:
    static constexpr char kUser[] = "ann";
    static constexpr char kPassword[] = "secret";

    // With `tls`, it speaks HTTPS with a self-signed certificate of its own.
    explicit RadicaleServer(bool tls = false);
    ~RadicaleServer();
    RadicaleServer(const RadicaleServer &) = delete;
    RadicaleServer &operator=(const RadicaleServer &) = delete;

    // Starts the server (again, on the same port and storage) and waits until
    // it answers.
    bool start();
    // Ends it at once, as a crash or a pulled cable would.
    void kill();
    bool running() const { return m_process.state() == QProcess::Running; }

    QString url() const;   // "http://127.0.0.1:PORT/"
    // The certificate's SHA-256 fingerprint as openssl gives it ("AB:CD:...").
    QString fingerprint() const;
    int port() const { return m_port; }

    struct Answer
    {
        int status = 0;
        QByteArray etag;
        QByteArray body;
    };
    // One request as the user (or with other credentials), by path ("/ann/").
    Answer http(const QByteArray &method, const QString &path, const QByteArray &body = QByteArray(),
                const QMap<QByteArray, QByteArray> &headers = {}, const QString &user = QString::fromLatin1(kUser),
                const QString &password = QString::fromLatin1(kPassword)) const;

    // An address book made at /ann/<name>/ for the tests.
    QString makeBook(const QString &name);
    // Every card of an address book: path -> card text.
    QMap<QString, QByteArray> cards(const QString &bookPath) const;

    static QString python();

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    int m_port = 0;
    bool m_tls = false;
};
