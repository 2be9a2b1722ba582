#pragma once

#include <QString>

// A value shown in a window that reads from right to left takes its own
// direction from its first strong letter: a phone number, a mail address or a
// Latin name keeps its order ("555 1234", not "1234 555"), an Arabic name its
// own. Values without a strong letter read left to right.
inline QString DirectionIsolated(const QString &text)
{
    if (text.isEmpty())
        return text;
    return QChar(0x2068) + text + QChar(0x2069); // FIRST STRONG ISOLATE ... POP DIRECTIONAL ISOLATE
}
