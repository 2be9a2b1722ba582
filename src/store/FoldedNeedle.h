#pragma once

#include <QByteArrayView>
#include <QString>

#include <string>

// Does a value contain a text, letter case ignored for every letter (and
// accents too, when `ignoreAccents`)? The text is folded once; values are
// compared as UTF-8, folding only those that hold non-ASCII letters. An empty
// value never contains anything.
class FoldedNeedle
{
public:
    explicit FoldedNeedle(const QString &needle, bool ignoreAccents = false);
    bool foundIn(QByteArrayView utf8) const;

private:
    QString m_folded;
    std::string m_asciiFolded;
    bool m_ascii = true;
    bool m_accents = false;
};
