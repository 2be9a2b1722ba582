#pragma once

#include <QByteArray>
#include <QString>

// A contact's stable identity, given when it is created and kept through
// every change, removal and restore; imports and sync find contacts by it.
// Ours are random RFC 4122 ids ("1b4e28ba-2fa1-41d2-883f-0016d3cca427"),
// kept as their 16 bytes; a UID that came from elsewhere in any other form is
// kept as the text it came as.
namespace Uid {

// How a UID is kept: the 16 bytes of a lower-case RFC 4122 id as a blob, any
// other UID as its UTF-8 text.
struct Stored
{
    QByteArray bytes;
    bool blob = false;
};

// A new random id.
Stored Create();
Stored FromText(const QString &text);
// The text of a stored UID.
QString Text(const QByteArray &stored, bool isBlob);

} // namespace Uid
