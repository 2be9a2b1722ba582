#include "support/RadicaleServer.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>
#include <QThread>

#include <csignal>
#include <sys/prctl.h>

namespace {

// One request through python's urllib; prints the status, the ETag and the
// body (base64), one a line.
const char kClient[] = R"(
import base64, ssl, sys, urllib.request, urllib.error
method, url, user, password, body = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4], sys.stdin.buffer.read()
req = urllib.request.Request(url, method=method, data=body if body else None)
req.add_header('Authorization', 'Basic ' + base64.b64encode(('%s:%s' % (user, password)).encode()).decode())
for h in sys.argv[5:]:
    k, v = h.split(':', 1)
    req.add_header(k, v)
try:
    r = urllib.request.urlopen(req, timeout=600, context=ssl._create_unverified_context())
    status, etag, data = r.status, r.headers.get('ETag') or '', r.read()
except urllib.error.HTTPError as e:
    status, etag, data = e.code, e.headers.get('ETag') or '', e.read()
print(status)
print(etag)
print(base64.b64encode(data).decode())
)";

int freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

RadicaleServer::RadicaleServer(bool tls) : m_tls(tls)
{
    if (tls) {
        QProcess openssl;
        openssl.setStandardOutputFile(QProcess::nullDevice());
        openssl.setStandardErrorFile(QProcess::nullDevice());
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"), QStringLiteral("rsa:2048"),
                       QStringLiteral("-nodes"), QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-keyout"), m_dir.filePath(QStringLiteral("key.pem")),
                       QStringLiteral("-out"), m_dir.filePath(QStringLiteral("cert.pem"))});
        openssl.waitForFinished(60000);
    }
    m_port = freePort();
    QFile users(m_dir.filePath(QStringLiteral("users")));
    users.open(QIODevice::WriteOnly);
    users.write(QByteArray(kUser) + ':' + kPassword + '\n');
    // An empty configuration of our own: the machine's (if any) is not read.
    QFile config(m_dir.filePath(QStringLiteral("config")));
    config.open(QIODevice::WriteOnly);
    m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
}

RadicaleServer::~RadicaleServer()
{
    kill();
}

QString RadicaleServer::python()
{
    // Debian's interpreter, which has Debian's Radicale, before any other on the path.
    return QFileInfo::exists(QStringLiteral("/usr/bin/python3")) ? QStringLiteral("/usr/bin/python3")
                                                                 : QStringLiteral("python3");
}

bool RadicaleServer::start()
{
    kill();
    QStringList args{QStringLiteral("-m"), QStringLiteral("radicale"),
                     QStringLiteral("--config"), m_dir.filePath(QStringLiteral("config")),
                     QStringLiteral("--server-hosts"), QStringLiteral("127.0.0.1:%1").arg(m_port),
                     QStringLiteral("--storage-filesystem-folder"), m_dir.filePath(QStringLiteral("storage")),
                     QStringLiteral("--auth-type"), QStringLiteral("htpasswd"),
                     QStringLiteral("--auth-htpasswd-filename"), m_dir.filePath(QStringLiteral("users")),
                     QStringLiteral("--auth-htpasswd-encryption"), QStringLiteral("plain"),
                     QStringLiteral("--rights-type"), QStringLiteral("owner_only"),
                     QStringLiteral("--auth-delay"), QStringLiteral("0"),
                     QStringLiteral("--logging-level"), QStringLiteral("critical")};
    if (m_tls) {
        args << QStringLiteral("--server-ssl") << QStringLiteral("True") << QStringLiteral("--server-certificate")
             << m_dir.filePath(QStringLiteral("cert.pem")) << QStringLiteral("--server-key")
             << m_dir.filePath(QStringLiteral("key.pem"));
    }
    m_process.setProgram(python());
    m_process.setArguments(args);
    m_process.setStandardOutputFile(QProcess::nullDevice());
    // The server goes with whoever started it, a crashed test included.
    m_process.setChildProcessModifier([] { prctl(PR_SET_PDEATHSIG, SIGTERM); });
    m_process.start();
    if (!m_process.waitForStarted(10000))
        return false;
    const QDeadlineTimer deadline(15000);
    while (!deadline.hasExpired() && m_process.state() == QProcess::Running) {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, quint16(m_port));
        if (probe.waitForConnected(200))
            return true;
        QThread::msleep(50);
    }
    return false;
}

void RadicaleServer::kill()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QString RadicaleServer::url() const
{
    return QStringLiteral("%1://127.0.0.1:%2/").arg(m_tls ? "https" : "http").arg(m_port);
}

QString RadicaleServer::fingerprint() const
{
    QProcess p;
    p.start(QStringLiteral("openssl"), {QStringLiteral("x509"), QStringLiteral("-noout"), QStringLiteral("-fingerprint"),
                                        QStringLiteral("-sha256"), QStringLiteral("-in"), m_dir.filePath(QStringLiteral("cert.pem"))});
    p.waitForFinished();
    // "sha256 Fingerprint=AB:CD:..."
    return QString::fromLatin1(p.readAllStandardOutput()).section(QLatin1Char('='), 1).trimmed();
}

RadicaleServer::Answer RadicaleServer::http(const QByteArray &method, const QString &path, const QByteArray &body,
                                            const QMap<QByteArray, QByteArray> &headers, const QString &user,
                                            const QString &password) const
{
    QStringList args{QStringLiteral("-c"), QString::fromLatin1(kClient), QString::fromLatin1(method),
                     url().chopped(1) + path, user, password};
    for (auto it = headers.cbegin(); it != headers.cend(); ++it)
        args << QString::fromLatin1(it.key() + ':' + it.value());
    QProcess p;
    p.start(python(), args);
    p.waitForStarted();
    p.write(body);
    p.closeWriteChannel();
    p.waitForFinished(600000);
    const QList<QByteArray> lines = p.readAllStandardOutput().split('\n');
    Answer a;
    if (lines.size() >= 3) {
        a.status = lines.at(0).toInt();
        a.etag = lines.at(1);
        a.body = QByteArray::fromBase64(lines.at(2));
    }
    return a;
}

QString RadicaleServer::makeBook(const QString &name)
{
    const QString path = QStringLiteral("/%1/%2/").arg(QLatin1String(kUser), name);
    http("MKCOL", path,
         "<?xml version=\"1.0\"?><mkcol xmlns=\"DAV:\" xmlns:C=\"urn:ietf:params:xml:ns:carddav\"><set><prop>"
         "<resourcetype><collection/><C:addressbook/></resourcetype><displayname>" + name.toUtf8() +
             "</displayname></prop></set></mkcol>");
    return path;
}

QMap<QString, QByteArray> RadicaleServer::cards(const QString &bookPath) const
{
    QMap<QString, QByteArray> out;
    const Answer list = http("PROPFIND", bookPath, "<propfind xmlns=\"DAV:\"><prop><getetag/></prop></propfind>",
                             {{"Depth", "1"}});
    static const QRegularExpression href(QStringLiteral("<href>([^<]+)</href>"));
    for (const QRegularExpressionMatch &m : href.globalMatch(QString::fromUtf8(list.body))) {
        const QString path = QUrl::fromPercentEncoding(m.captured(1).toUtf8());
        if (path.endsWith(QLatin1Char('/')))
            continue;
        out.insert(path, http("GET", path).body);
    }
    return out;
}
