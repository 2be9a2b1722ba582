#pragma once

#include <QList>
#include <QString>

#include <functional>

class Connection;

namespace Duplicates {

// Contacts that are probably one person, and why, in words for the user
// ("same mail address", "same name only"). Strong when they share a mail
// address or a phone number; a name alone is a weak hint.
struct Group
{
    QList<qint64> contacts; // ascending
    QString reason;
    bool strong = false;
};

// Told how far the search is; returns false to stop it.
using Progress = std::function<bool(qint64 done, qint64 total)>;

// Groups the contacts of Contacts that share a name (accents, case and the
// order of first and last name ignored), a mail address (case ignored) or a
// phone number (as the network sees it, numbers without "+" dialled in
// `region`; numbers that cannot be read compared by their digits), or whose
// names differ by one letter while their mail, phone or company agree. Hints
// chain: when A is like B and B like C, the three are one group. Groups come
// in the order of their first contact; none when stopped. Throws StoreError.
QList<Group> FindDuplicates(Connection &cn, const QString &region, const Progress &progress = {});

} // namespace Duplicates
