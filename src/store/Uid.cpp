#include "store/Uid.h"

#include <QRandomGenerator>
#include <QUuid>

namespace Uid {

Stored Create()
{
    // A random (version 4) UUID. The bits come from the generator that the
    // system seeds once, not from the system's for each one: a large import
    // makes one per contact, and on some machines each of those took microseconds.
    QByteArray bytes(16, Qt::Uninitialized);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(bytes.data()), 4);
    bytes[6] = char((uchar(bytes[6]) & 0x0F) | 0x40); // version 4
    bytes[8] = char((uchar(bytes[8]) & 0x3F) | 0x80); // RFC 4122 variant
    return {bytes, true};
}

Stored FromText(const QString &text)
{
    if (text.size() == 36) {
        const QUuid id = QUuid::fromString(text);
        // Only the canonical spelling: anything else is kept as it came.
        if (!id.isNull() && id.toString(QUuid::WithoutBraces) == text)
            return {id.toRfc4122(), true};
    }
    return {text.toUtf8(), false};
}

QString Text(const QByteArray &stored, bool isBlob)
{
    if (isBlob && stored.size() == 16)
        return QUuid::fromRfc4122(stored).toString(QUuid::WithoutBraces);
    return QString::fromUtf8(stored);
}

} // namespace Uid
