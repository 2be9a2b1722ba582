#include "sync/Dav.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslError>
#include <QXmlStreamReader>

namespace Dav {

namespace {

constexpr char kDav[] = "DAV:";
constexpr char kCardDav[] = "urn:ietf:params:xml:ns:carddav";

QString fingerprintOf(const QSslCertificate &cert)
{
    const QByteArray hex = cert.digest(QCryptographicHash::Sha256).toHex().toUpper();
    QStringList pairs;
    for (qsizetype i = 0; i < hex.size(); i += 2)
        pairs << QString::fromLatin1(hex.mid(i, 2));
    return pairs.join(QLatin1Char(':'));
}

int statusOfLine(const QString &line)
{
    // "HTTP/1.1 404 Not Found"
    const QStringList parts = line.simplified().split(QLatin1Char(' '));
    return parts.size() >= 2 ? parts.at(1).toInt() : 0;
}

bool is(const QXmlStreamReader &x, const char *ns, const char *name)
{
    return x.namespaceUri() == QLatin1String(ns) && x.name() == QLatin1String(name);
}

// The first DAV:href inside the element the reader stands on; reads to its end.
QString hrefInside(QXmlStreamReader &x)
{
    QString href;
    while (x.readNextStartElement()) {
        if (is(x, kDav, "href") && href.isEmpty())
            href = x.readElementText().trimmed();
        else
            x.skipCurrentElement();
    }
    return href;
}

// One propstat's prop element into `r`.
void readProp(QXmlStreamReader &x, Resource &r, const QUrl &base)
{
    while (x.readNextStartElement()) {
        if (is(x, kDav, "getetag")) {
            r.etag = x.readElementText().trimmed().toUtf8();
        } else if (is(x, kDav, "displayname")) {
            r.displayName = x.readElementText().trimmed();
        } else if (is(x, kDav, "sync-token")) {
            r.syncToken = x.readElementText().trimmed();
        } else if (is(x, kDav, "resourcetype")) {
            while (x.readNextStartElement()) {
                if (is(x, kDav, "collection"))
                    r.collection = true;
                else if (is(x, kDav, "principal"))
                    r.principal = true;
                else if (is(x, kCardDav, "addressbook"))
                    r.addressBook = true;
                x.skipCurrentElement();
            }
        } else if (is(x, kDav, "current-user-principal")) {
            const QString h = hrefInside(x);
            if (!h.isEmpty())
                r.principalHref = PathOf(base.resolved(QUrl(h)));
        } else if (is(x, kCardDav, "addressbook-home-set")) {
            const QString h = hrefInside(x);
            if (!h.isEmpty())
                r.homeHref = PathOf(base.resolved(QUrl(h)));
        } else if (is(x, kCardDav, "address-data")) {
            r.addressData = x.readElementText().toUtf8();
        } else if (is(x, kDav, "supported-report-set")) {
            // supported-report / report / <the report's element>
            int level = 1;
            while (level > 0 && !x.atEnd()) {
                x.readNext();
                if (x.isStartElement()) {
                    ++level;
                    if (x.name() != QLatin1String("supported-report") && x.name() != QLatin1String("report"))
                        r.reports << x.name().toString();
                } else if (x.isEndElement()) {
                    --level;
                }
            }
        } else {
            x.skipCurrentElement();
        }
    }
}

void readResponse(QXmlStreamReader &x, Multistatus &ms, const QUrl &base)
{
    Resource r;
    while (x.readNextStartElement()) {
        if (is(x, kDav, "href") && r.href.isEmpty()) {
            r.href = PathOf(base.resolved(QUrl(x.readElementText().trimmed())));
        } else if (is(x, kDav, "status")) {
            r.status = statusOfLine(x.readElementText());
        } else if (is(x, kDav, "propstat")) {
            Resource props;
            int status = 0;
            while (x.readNextStartElement()) {
                if (is(x, kDav, "prop"))
                    readProp(x, props, base);
                else if (is(x, kDav, "status"))
                    status = statusOfLine(x.readElementText());
                else
                    x.skipCurrentElement();
            }
            // Properties the server does not have come in a propstat of their own (404).
            if (status >= 200 && status < 300) {
                if (!props.etag.isEmpty())
                    r.etag = props.etag;
                if (!props.displayName.isEmpty())
                    r.displayName = props.displayName;
                if (!props.syncToken.isEmpty())
                    r.syncToken = props.syncToken;
                r.collection = r.collection || props.collection;
                r.addressBook = r.addressBook || props.addressBook;
                r.principal = r.principal || props.principal;
                if (!props.principalHref.isEmpty())
                    r.principalHref = props.principalHref;
                if (!props.homeHref.isEmpty())
                    r.homeHref = props.homeHref;
                if (!props.addressData.isEmpty())
                    r.addressData = props.addressData;
                r.reports << props.reports;
            }
            if (r.status == 0)
                r.status = 200;
        } else {
            x.skipCurrentElement();
        }
    }
    if (!r.href.isEmpty())
        ms.resources << r;
}

} // namespace

QString PathOf(const QUrl &url)
{
    QString path = url.path(QUrl::FullyDecoded);
    return path.isEmpty() ? QStringLiteral("/") : path;
}

QUrl UrlOf(const QUrl &base, const QString &path)
{
    QUrl url = base;
    url.setPath(path, QUrl::DecodedMode);
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

Multistatus ParseMultistatus(const QByteArray &xml, const QUrl &base)
{
    Multistatus ms;
    QXmlStreamReader x(xml);
    if (!x.readNextStartElement() || !is(x, kDav, "multistatus"))
        return ms;
    while (x.readNextStartElement()) {
        if (is(x, kDav, "response"))
            readResponse(x, ms, base);
        else if (is(x, kDav, "sync-token"))
            ms.syncToken = x.readElementText().trimmed();
        else
            x.skipCurrentElement();
    }
    ms.valid = !x.hasError();
    return ms;
}

QString Describe(const Response &r)
{
    if (r.status == 0)
        return r.failure.isEmpty() ? QStringLiteral("the server did not answer") : r.failure;
    switch (r.status) {
    case 401:
        return QStringLiteral("the server refused the user name or password (401)");
    case 403:
        return QStringLiteral("the server does not allow this (403)");
    case 404:
        return QStringLiteral("the server has nothing at %1 (404)").arg(r.url.toDisplayString());
    default:
        break;
    }
    if (r.status >= 500)
        return QStringLiteral("the server failed (%1)").arg(r.status);
    return QStringLiteral("the server answered %1").arg(r.status);
}

Client::Client(const QString &user, const QString &password) : m_nam(std::make_unique<QNetworkAccessManager>())
{
    m_nam->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);
    m_authorization = "Basic " + (user + QLatin1Char(':') + password).toUtf8().toBase64();
}

Client::~Client() = default;

Response Client::sendOnce(const QByteArray &verb, const QUrl &url, const QByteArray &body, const Headers &headers)
{
    QNetworkRequest request(url);
    request.setRawHeader("Authorization", m_authorization);
    request.setRawHeader("User-Agent", "Ardentia");
    request.setTransferTimeout(m_timeoutMs);
    if (!body.isEmpty() && !request.hasRawHeader("Content-Type"))
        request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArray("application/xml; charset=utf-8"));
    for (const auto &h : headers)
        request.setRawHeader(h.first, h.second);
    QNetworkReply *reply = m_nam->sendCustomRequest(request, verb, body);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::sslErrors, reply, [this, reply](const QList<QSslError> &errors) {
        const QSslCertificate cert = errors.isEmpty() || errors.first().certificate().isNull()
                                         ? reply->sslConfiguration().peerCertificate()
                                         : errors.first().certificate();
        const QString fingerprint = fingerprintOf(cert);
        if (!m_trusted.isEmpty() && fingerprint.compare(m_trusted, Qt::CaseInsensitive) == 0) {
            reply->ignoreSslErrors(errors);
            return;
        }
        Certificate c;
        c.subject = cert.subjectDisplayName();
        c.issuer = cert.issuerDisplayName();
        c.fingerprint = fingerprint;
        for (const QSslError &e : errors)
            c.errors << e.errorString();
        m_untrusted = c;
    });
    if (!reply->isFinished())
        loop.exec(QEventLoop::ExcludeUserInputEvents);

    Response r;
    r.url = url;
    r.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    r.body = reply->readAll();
    r.etag = reply->rawHeader("ETag");
    if (reply->hasRawHeader("Location"))
        r.location = url.resolved(QUrl(QString::fromUtf8(reply->rawHeader("Location"))));
    if (r.status == 0) {
        switch (reply->error()) {
        case QNetworkReply::ConnectionRefusedError:
            r.failure = QStringLiteral("the server at %1 refuses connections").arg(url.authority());
            break;
        case QNetworkReply::HostNotFoundError:
            r.failure = QStringLiteral("the server %1 was not found").arg(url.host());
            break;
        case QNetworkReply::OperationCanceledError:
        case QNetworkReply::TimeoutError:
            r.failure = QStringLiteral("the server at %1 did not answer in time").arg(url.authority());
            break;
        case QNetworkReply::RemoteHostClosedError:
            r.failure = QStringLiteral("the server at %1 closed the connection").arg(url.authority());
            break;
        case QNetworkReply::SslHandshakeFailedError:
            r.failure = m_untrusted ? QStringLiteral("the server's certificate (issued by %1, fingerprint %2) is not trusted")
                                          .arg(m_untrusted->issuer, m_untrusted->fingerprint)
                                    : QStringLiteral("the secure connection failed: %1").arg(reply->errorString());
            break;
        default:
            r.failure = QStringLiteral("the connection to %1 failed: %2").arg(url.authority(), reply->errorString());
        }
    }
    reply->deleteLater();
    return r;
}

Response Client::send(const QByteArray &verb, const QUrl &url, const QByteArray &body, const Headers &headers,
                      bool followRedirects)
{
    m_untrusted.reset();
    Response r = sendOnce(verb, url, body, headers);
    for (int hop = 0; followRedirects && hop < 5; ++hop) {
        if (r.status < 300 || r.status >= 400 || !r.location.isValid())
            break;
        r = sendOnce(verb, r.location, body, headers);
    }
    return r;
}

Response Client::propfind(const QUrl &url, int depth, const QByteArray &props, bool followRedirects)
{
    return send("PROPFIND", url, QByteArray(kPropfindHead) + props + kPropfindTail,
                {{"Depth", QByteArray::number(depth)}}, followRedirects);
}

Response Client::report(const QUrl &url, int depth, const QByteArray &body)
{
    return send("REPORT", url, body, {{"Depth", QByteArray::number(depth)}});
}

} // namespace Dav
