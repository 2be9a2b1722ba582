#include "store/Folding.h"

#include <array>

namespace {

// Marks that are an accent on a letter rather than part of it. Indic vowel
// signs, Thai marks and the kana voicing marks are not among them.
bool isDroppedMark(char32_t c)
{
    return (c >= 0x0300 && c <= 0x036F)      // combining diacritics (Latin, Greek, Cyrillic)
           || (c >= 0x0483 && c <= 0x0489)   // Cyrillic titlo and the like
           || (c >= 0x0591 && c <= 0x05C7 && c != 0x05BE && c != 0x05C0 && c != 0x05C3 && c != 0x05C6) // niqqud
           || (c >= 0x0610 && c <= 0x061A)   // Arabic honorifics
           || (c >= 0x064B && c <= 0x065F)   // harakat
           || c == 0x0670                    // superscript alef
           || (c >= 0x06D6 && c <= 0x06ED && c != 0x06DD && c != 0x06DE && c != 0x06E5 && c != 0x06E6 &&
               c != 0x06E9)                  // Quranic marks
           || (c >= 0x1AB0 && c <= 0x1AFF) || (c >= 0x1DC0 && c <= 0x1DFF) || (c >= 0x20D0 && c <= 0x20FF) ||
           (c >= 0xFE20 && c <= 0xFE2F);
}

// Folded letters that do not decompose, as their plain Latin letters.
const char16_t *plainLetter(char32_t c)
{
    switch (c) {
    case 0x00F8: return u"o";  // ø
    case 0x0142: return u"l";  // ł
    case 0x0111: case 0x00F0: return u"d"; // đ ð
    case 0x0127: return u"h";  // ħ
    case 0x0167: return u"t";  // ŧ
    case 0x014B: return u"n";  // ŋ
    case 0x00DF: return u"ss"; // ß (and ẞ after folding)
    case 0x00E6: return u"ae"; // æ
    case 0x0153: return u"oe"; // œ
    case 0x00FE: return u"th"; // þ
    case 0x0131: return u"i";  // ı
    case 0x0180: return u"b";  // ƀ
    case 0x0268: return u"i";  // ɨ
    default: return nullptr;
    }
}

// Drops the marks from decomposed text.
QString withoutMarks(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            out.append(c).append(text.at(++i));
            continue;
        }
        if (!isDroppedMark(c.unicode()))
            out.append(c);
    }
    return out;
}

// The whole rule, for a run of text without lone surrogates. Case folding can
// leave letters to decompose (and compatibility forms can give capitals,
// ™ → TM), hence decomposing on both sides of it.
QString foldSlow(const QString &run)
{
    QString s = withoutMarks(run.normalized(QString::NormalizationForm_KD)).toCaseFolded();
    s = withoutMarks(s.normalized(QString::NormalizationForm_KD));
    QString out;
    out.reserve(s.size());
    for (const QChar c : s) {
        if (const char16_t *p = plainLetter(c.unicode()))
            out.append(QStringView(p));
        else
            out.append(c);
    }
    return out;
}

// Precomputed folds of the code units most names are written in.
struct Entry
{
    char16_t c[3];
    quint8 n; // 0xFF: longer than three, take the slow way
};

constexpr char16_t kTableEnd = 0x0700;         // Latin, IPA, marks, Greek, Cyrillic, Hebrew, Arabic
constexpr char16_t kExtFirst = 0x1E00, kExtEnd = 0x2000; // Latin and Greek extended

struct Table
{
    std::array<Entry, kTableEnd> low;
    std::array<Entry, kExtEnd - kExtFirst> ext;

    static Entry make(char16_t u)
    {
        const QString f = foldSlow(QString(QChar(u)));
        Entry e{};
        if (f.size() > 3) {
            e.n = 0xFF;
            return e;
        }
        e.n = quint8(f.size());
        for (qsizetype i = 0; i < f.size(); ++i)
            e.c[i] = f.at(i).unicode();
        return e;
    }
    Table()
    {
        for (char16_t u = 0; u < kTableEnd; ++u)
            low[u] = make(u);
        for (char16_t u = kExtFirst; u < kExtEnd; ++u)
            ext[u - kExtFirst] = make(u);
    }
};

const Table &table()
{
    static const Table t;
    return t;
}

const Entry *lookup(const Table &t, char16_t u)
{
    if (u < kTableEnd)
        return &t.low[u];
    if (u >= kExtFirst && u < kExtEnd)
        return &t.ext[u - kExtFirst];
    return nullptr;
}

// Kept untouched: CJK, kana (whose voicing marks are meaningful), Hangul syllables.
bool keptAsIs(char16_t u)
{
    return (u >= 0x3040 && u <= 0x30FF) || (u >= 0x3400 && u <= 0x9FFF) || (u >= 0xAC00 && u <= 0xD7A3) ||
           (u >= 0xF900 && u <= 0xFAFF);
}

} // namespace

QString Fold(QStringView text)
{
    const qsizetype n = text.size();
    const char16_t *p = text.utf16();
    qsizetype i = 0;
    while (i < n && p[i] < 0x80)
        ++i;
    if (i == n) {
        QString out(n, Qt::Uninitialized);
        char16_t *o = reinterpret_cast<char16_t *>(out.data());
        for (qsizetype k = 0; k < n; ++k)
            o[k] = (p[k] >= u'A' && p[k] <= u'Z') ? char16_t(p[k] + 32) : p[k];
        return out;
    }

    const Table &t = table();
    QString out;
    out.reserve(n + n / 8);
    for (qsizetype k = 0; k < i; ++k)
        out.append(QChar((p[k] >= u'A' && p[k] <= u'Z') ? char16_t(p[k] + 32) : p[k]));
    qsizetype runStart = -1; // a run for the slow way
    auto flush = [&](qsizetype end) {
        if (runStart >= 0)
            out.append(foldSlow(text.sliced(runStart, end - runStart).toString()));
        runStart = -1;
    };
    while (i < n) {
        const char16_t u = p[i];
        const Entry *e = lookup(t, u);
        if (e && e->n != 0xFF) {
            flush(i);
            out.append(QStringView(e->c, e->n));
            ++i;
        } else if (QChar::isHighSurrogate(u) && i + 1 < n && QChar::isLowSurrogate(p[i + 1])) {
            if (runStart < 0)
                runStart = i;
            i += 2;
        } else if (QChar::isSurrogate(u) || keptAsIs(u)) {
            flush(i);
            out.append(QChar(u));
            ++i;
        } else {
            if (runStart < 0)
                runStart = i;
            ++i;
        }
    }
    flush(n);
    return out;
}
