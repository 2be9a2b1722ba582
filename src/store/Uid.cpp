#include "store/Uid.h"

#include <QUuid>

namespace Uid {

Stored Create()
{
    return {QUuid::createUuid().toRfc4122(), true};
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
