#pragma once

#include <QString>

// The accessible name a caption gives the control it labels: "First Name:"
// names the box "First Name".
inline QString NameFromCaption(const QString &caption)
{
    QString s = caption.trimmed();
    if (s.endsWith(QLatin1Char(':')))
        s.chop(1);
    return s.trimmed();
}
