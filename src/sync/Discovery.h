#pragma once

// Finding a user's address books from the address of their server: the
// well-known address (RFC 6764), the current user's principal, its
// address-book home and the address books in it (RFC 6352); and making a new
// address book there (extended MKCOL, RFC 5689).

#include "sync/Dav.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <optional>

namespace Discovery {

struct Book
{
    QUrl url; // ends in "/"
    QString name;
};

struct Found
{
    QString failure; // why nothing was found, one line; empty when something was
    std::optional<Dav::Certificate> certificate; // a certificate that did not verify
    QUrl home;       // where new address books go
    QList<Book> books;
};

// Starts at `address` ("https://dav.example.org", "host:5232", an address
// book's own URL).
Found Find(Dav::Client &client, const QString &address);

// Makes an address book named `name` in `home`; its URL, or nothing with
// `failure` set.
std::optional<Book> Create(Dav::Client &client, const QUrl &home, const QString &name, QString *failure);

} // namespace Discovery
