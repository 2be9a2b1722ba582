#include "sync/Discovery.h"

#include <QUuid>

namespace Discovery {

namespace {

const QByteArray kWhoProps = "<d:resourcetype/><d:displayname/><d:current-user-principal/><c:addressbook-home-set/>";

QUrl asFolder(QUrl url)
{
    if (!url.path().endsWith(QLatin1Char('/')))
        url.setPath(url.path() + QLatin1Char('/'));
    return url;
}

// The answer's first resource, when the request came back as a multistatus.
std::optional<Dav::Resource> first(const Dav::Response &r)
{
    if (r.status != 207)
        return std::nullopt;
    const Dav::Multistatus ms = Dav::ParseMultistatus(r.body, r.url);
    if (!ms.valid || ms.resources.isEmpty())
        return std::nullopt;
    return ms.resources.first();
}

QString failureOf(const Dav::Response &r, const QString &what)
{
    if (r.status == 0 || r.status == 401)
        return Dav::Describe(r);
    return QStringLiteral("%1 (%2)").arg(what, Dav::Describe(r));
}

} // namespace

Found Find(Dav::Client &client, const QString &address)
{
    Found found;
    QUrl start = QUrl::fromUserInput(address.trimmed());
    if (!start.isValid() || start.host().isEmpty()) {
        found.failure = QStringLiteral("\"%1\" is not a server address").arg(address);
        return found;
    }
    // The server's own address first; a bare host name goes to the well-known one.
    QList<QUrl> tries;
    if (start.path().isEmpty() || start.path() == QLatin1String("/")) {
        tries << start.resolved(QUrl(QStringLiteral("/.well-known/carddav"))) << asFolder(start);
    } else {
        tries << start << start.resolved(QUrl(QStringLiteral("/.well-known/carddav")));
    }
    std::optional<Dav::Resource> who;
    QUrl answered;
    Dav::Response last;
    for (const QUrl &url : tries) {
        last = client.propfind(url, 0, kWhoProps, true);
        if (client.untrusted()) {
            found.certificate = client.untrusted();
            found.failure = Dav::Describe(last);
            return found;
        }
        if (last.status == 0 || last.status == 401) {
            found.failure = Dav::Describe(last);
            return found;
        }
        who = first(last);
        if (who && (who->addressBook || !who->principalHref.isEmpty() || !who->homeHref.isEmpty())) {
            answered = last.url;
            break;
        }
        who.reset();
    }
    if (!who) {
        found.failure = failureOf(last, QStringLiteral("no address book service was found at %1").arg(start.toDisplayString()));
        return found;
    }
    // An address book's own URL: that one.
    if (who->addressBook) {
        found.books << Book{asFolder(answered), who->displayName};
        found.home = asFolder(answered).resolved(QUrl(QStringLiteral("..")));
        return found;
    }
    QString home = who->homeHref;
    if (home.isEmpty()) {
        const QUrl principal = Dav::UrlOf(answered, who->principalHref);
        const Dav::Response r = client.propfind(principal, 0, "<c:addressbook-home-set/>");
        const std::optional<Dav::Resource> p = first(r);
        if (!p || p->homeHref.isEmpty()) {
            found.failure = failureOf(r, QStringLiteral("the server names no address book home for the user"));
            return found;
        }
        home = p->homeHref;
    }
    found.home = asFolder(Dav::UrlOf(answered, home));
    const Dav::Response list = client.propfind(found.home, 1, "<d:resourcetype/><d:displayname/>");
    const Dav::Multistatus ms = Dav::ParseMultistatus(list.body, list.url);
    if (list.status != 207 || !ms.valid) {
        found.failure = failureOf(list, QStringLiteral("the address books could not be listed"));
        return found;
    }
    for (const Dav::Resource &r : ms.resources) {
        if (r.addressBook)
            found.books << Book{asFolder(Dav::UrlOf(found.home, r.href)), r.displayName};
    }
    return found;
}

std::optional<Book> Create(Dav::Client &client, const QUrl &home, const QString &name, QString *failure)
{
    const QUrl url = asFolder(home).resolved(QUrl(QUuid::createUuid().toString(QUuid::WithoutBraces) + QLatin1Char('/')));
    QString escaped = name.toHtmlEscaped();
    const QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?>"
                            "<d:mkcol xmlns:d=\"DAV:\" xmlns:c=\"urn:ietf:params:xml:ns:carddav\"><d:set><d:prop>"
                            "<d:resourcetype><d:collection/><c:addressbook/></d:resourcetype>"
                            "<d:displayname>" + escaped.toUtf8() + "</d:displayname>"
                            "</d:prop></d:set></d:mkcol>";
    const Dav::Response r = client.send("MKCOL", url, body);
    if (!r.ok()) {
        if (failure)
            *failure = failureOf(r, QStringLiteral("the address book \"%1\" could not be made").arg(name));
        return std::nullopt;
    }
    return Book{url, name};
}

} // namespace Discovery
