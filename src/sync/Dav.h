#pragma once

// WebDAV (RFC 4918) as a CardDAV server speaks it: requests with any verb and
// Basic authentication, HTTPS with the system's certificates or one the user
// chose to trust, and the multistatus answers read into plain records.
// Requests wait for their answer (an event loop of their own runs meanwhile),
// so a sync reads as a sequence of steps; run it on a thread of its own when a
// window must stay responsive.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <optional>

class QNetworkAccessManager;

namespace Dav {

// A certificate that did not verify: who issued it and its SHA-256 fingerprint
// ("AB:CD:..."), which the user may choose to trust.
struct Certificate
{
    QString subject;
    QString issuer;
    QString fingerprint;
    QStringList errors; // why it did not verify, in the TLS library's words
};

struct Response
{
    int status = 0;     // the HTTP status; 0 when no answer came
    QByteArray body;
    QByteArray etag;    // the ETag header, as sent (quotes included)
    QUrl url;           // what answered, after the redirects that were followed
    QUrl location;      // a redirect's target, resolved
    QString failure;    // why no answer came (no connection, time out, TLS), in words
    bool ok() const { return status >= 200 && status < 300; }
};

// A one-line reason for a failed response, as the user is told: "the server
// refused the user name or password (401)".
QString Describe(const Response &response);

// One resource of a multistatus answer, with the properties the program asks
// for. A property the server did not give stays empty.
struct Resource
{
    QString href;   // as a path, percent-decoded ("/ann/book/card 1.vcf")
    int status = 0; // the response's own status (404: removed, in a sync report)
    QByteArray etag;
    bool collection = false, addressBook = false, principal = false;
    QString displayName;
    QString principalHref; // current-user-principal
    QString homeHref;      // addressbook-home-set
    QString syncToken;
    QByteArray addressData;  // the card, in a multiget answer
    QStringList reports;     // supported-report-set: "sync-collection", "addressbook-multiget"
};

struct Multistatus
{
    bool valid = false; // a well-formed multistatus document
    QList<Resource> resources;
    QString syncToken; // a sync report's new token
};

// Reads a 207 answer's body; hrefs are resolved against `base` and kept as paths.
Multistatus ParseMultistatus(const QByteArray &xml, const QUrl &base);

// A path as the program keeps hrefs: percent-decoded, absolute.
QString PathOf(const QUrl &url);
// The URL of a kept path on the server of `base`.
QUrl UrlOf(const QUrl &base, const QString &path);

class Client
{
public:
    Client(const QString &user, const QString &password);
    ~Client();
    Client(const Client &) = delete;
    Client &operator=(const Client &) = delete;

    // The fingerprint of a certificate the user trusts although it does not
    // verify (for this server only); empty for none.
    void setTrustedFingerprint(const QString &fingerprint) { m_trusted = fingerprint; }
    // How long a request may go without any data before it fails.
    void setTimeout(int ms) { m_timeoutMs = ms; }

    using Headers = QList<QPair<QByteArray, QByteArray>>;
    // Sends one request and waits for its answer. Redirects are followed (up to
    // five, the verb and body kept) only when asked.
    Response send(const QByteArray &verb, const QUrl &url, const QByteArray &body = QByteArray(),
                  const Headers &headers = {}, bool followRedirects = false);
    // PROPFIND with the given Depth and a body of DAV:prop children.
    Response propfind(const QUrl &url, int depth, const QByteArray &props, bool followRedirects = false);
    Response report(const QUrl &url, int depth, const QByteArray &body);

    // The certificate that did not verify on the last request, if one did not.
    const std::optional<Certificate> &untrusted() const { return m_untrusted; }

private:
    Response sendOnce(const QByteArray &verb, const QUrl &url, const QByteArray &body, const Headers &headers);

    std::unique_ptr<QNetworkAccessManager> m_nam;
    QByteArray m_authorization;
    QString m_trusted;
    int m_timeoutMs = 30000;
    std::optional<Certificate> m_untrusted;
};

// The XML namespaces the requests use: DAV: as d, CardDAV as c.
constexpr char kPropfindHead[] = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                                 "<d:propfind xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:carddav\"><d:prop>";
constexpr char kPropfindTail[] = "</d:prop></d:propfind>";

} // namespace Dav
