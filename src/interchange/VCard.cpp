#include "interchange/VCard.h"

#include "interchange/Bytes.h"

#include <QStringDecoder>
#include <QVarLengthArray>

#include <array>
#include <cstring>
#include <optional>
#include <utility>

namespace VCard {
namespace {

inline bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}
inline char toUpper(char c)
{
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

QByteArrayView trimmed(QByteArrayView v)
{
    qsizetype b = 0, e = v.size();
    while (b < e && isBlank(v[b]))
        ++b;
    while (e > b && isBlank(v[e - 1]))
        --e;
    return v.sliced(b, e - b);
}

bool contains(QByteArrayView v, char c)
{
    return !v.isEmpty() && std::memchr(v.data(), c, size_t(v.size()));
}

// ASCII case-insensitive comparison with an upper-case word.
bool equalsWord(QByteArrayView v, QByteArrayView upper)
{
    if (v.size() != upper.size())
        return false;
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (toUpper(v[i]) != upper[i])
            return false;
    }
    return true;
}

bool isBeginLine(QByteArrayView line)
{
    return equalsWord(trimmed(line), "BEGIN:VCARD");
}
bool isEndLine(QByteArrayView line)
{
    return equalsWord(trimmed(line), "END:VCARD");
}

// ---- Text decoding -------------------------------------------------------

// 0x80 to 0x9F in Windows-1252; the five holes keep their C1 code.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Index of the first byte from 0x80 up, or the size.
qsizetype firstHigh(QByteArrayView b)
{
    const char *p = b.data();
    const qsizetype n = b.size();
    qsizetype i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 w;
        std::memcpy(&w, p + i, 8);
        if (w & 0x8080808080808080ULL)
            break;
    }
    for (; i < n; ++i) {
        if (uchar(p[i]) >= 0x80)
            return i;
    }
    return n;
}

QString fromCp1252(QByteArrayView b)
{
    QString s(b.size(), Qt::Uninitialized);
    QChar *d = s.data();
    for (qsizetype i = 0; i < b.size(); ++i) {
        const uchar c = uchar(b[i]);
        d[i] = QChar((c >= 0x80 && c < 0xA0) ? kCp1252High[c - 0x80] : char16_t(c));
    }
    return s;
}

// Strict: no overlong forms, no surrogates, nothing beyond U+10FFFF.
bool validUtf8(QByteArrayView b, qsizetype i)
{
    const qsizetype n = b.size();
    while (i < n) {
        const uchar c = uchar(b[i]);
        if (c < 0x80) {
            ++i;
            continue;
        }
        int len;
        uchar lo = 0x80, hi = 0xBF;
        if (c >= 0xC2 && c <= 0xDF)
            len = 2;
        else if (c >= 0xE0 && c <= 0xEF)
            len = 3;
        else if (c >= 0xF0 && c <= 0xF4)
            len = 4;
        else
            return false;
        if (c == 0xE0)
            lo = 0xA0;
        else if (c == 0xED)
            hi = 0x9F;
        else if (c == 0xF0)
            lo = 0x90;
        else if (c == 0xF4)
            hi = 0x8F;
        if (n - i < len || uchar(b[i + 1]) < lo || uchar(b[i + 1]) > hi)
            return false;
        for (int k = 2; k < len; ++k) {
            if ((uchar(b[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += len;
    }
    return true;
}

// Text without a declared character set: UTF-8 when it is valid, else what
// a Windows desktop would have written.
QString decodeAuto(QByteArrayView b)
{
    const qsizetype high = firstHigh(b);
    if (high == b.size())
        return QString::fromLatin1(b);
    return validUtf8(b, high) ? QString::fromUtf8(b) : fromCp1252(b);
}

// Raw CR, LF or CRLF in a decoded value become the \n escape, so that a value
// is always one line in its escaped form.
QString escapeNewlines(const QString &s)
{
    if (!s.contains(u'\n') && !s.contains(u'\r'))
        return s;
    QString out;
    out.reserve(s.size() + 8);
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < s.size() && s[i + 1] == u'\n')
                ++i;
            out += QLatin1String("\\n");
        } else {
            out += c;
        }
    }
    return out;
}

// The names and parameter values nearly every card repeats, shared instead of
// allocated for each property: this is most of the reading time otherwise.
class Common
{
public:
    static const Common &instance()
    {
        static const Common common;
        return common;
    }
    // The shared string for exactly these bytes, or a null string.
    QString find(QByteArrayView bytes) const
    {
        if (bytes.isEmpty() || bytes.size() > 24)
            return {};
        for (unsigned i = hash(bytes);; i = (i + 1) & kMask) {
            const Slot &s = m_slots[i];
            if (s.text.isNull())
                return {};
            if (s.bytes.size() == bytes.size() && std::memcmp(s.bytes.data(), bytes.data(), size_t(bytes.size())) == 0)
                return s.text;
        }
    }

private:
    static constexpr unsigned kMask = 511;
    struct Slot
    {
        QByteArrayView bytes;
        QString text;
    };
    static unsigned hash(QByteArrayView b)
    {
        unsigned h = 2166136261u;
        for (char c : b)
            h = (h ^ uchar(c)) * 16777619u;
        return h & kMask;
    }
    Common()
    {
        static const char *const kWords[] = {
            // property names
            "BEGIN", "END", "VERSION", "FN", "N", "NICKNAME", "PHOTO", "BDAY", "ANNIVERSARY", "GENDER", "ADR",
            "LABEL", "TEL", "EMAIL", "MAILER", "IMPP", "LANG", "TZ", "GEO", "TITLE", "ROLE", "LOGO", "ORG",
            "MEMBER", "RELATED", "CATEGORIES", "NOTE", "PRODID", "REV", "SORT-STRING", "SOUND", "UID", "URL",
            "KEY", "KIND", "CLASS", "SOURCE", "NAME", "PROFILE", "AGENT", "X-ABLABEL",
            // parameter names
            "TYPE", "VALUE", "PREF", "LANGUAGE", "MEDIATYPE", "PID", "ALTID", "SORT-AS", "CALSCALE",
            // parameter values
            "HOME", "WORK", "CELL", "VOICE", "FAX", "MSG", "PAGER", "VIDEO", "TEXT", "INTERNET", "X400", "DOM",
            "INTL", "POSTAL", "PARCEL", "MAIN", "OTHER", "JPEG", "PNG", "GIF", "home", "work", "cell", "voice",
            "fax", "pager", "text", "internet", "pref", "uri", "date", "date-time", "individual", "group", "org",
            "location", "jpeg", "png", "image/jpeg", "1", "2", "3"};
        static_assert(std::size(kWords) <= kWordCount);
        for (size_t w = 0; w < std::size(kWords); ++w) {
            const QByteArrayView bytes(kWords[w]);
            unsigned i = hash(bytes);
            while (!m_slots[i].text.isNull() && m_slots[i].bytes != bytes)
                i = (i + 1) & kMask;
            // Strings over storage of their own that is never let go: copies
            // of them count no references, which the reading threads would
            // otherwise all update on the same few words.
            std::array<char16_t, 24> &units = m_units[w];
            for (qsizetype k = 0; k < bytes.size(); ++k)
                units[size_t(k)] = char16_t(uchar(bytes[k]));
            m_slots[i] = {bytes, QString::fromRawData(reinterpret_cast<const QChar *>(units.data()), bytes.size())};
        }
    }
    static constexpr size_t kWordCount = 128;
    std::array<Slot, kMask + 1> m_slots;
    std::array<std::array<char16_t, 24>, kWordCount> m_units{};
};

QString upperName(QByteArrayView v)
{
    QVarLengthArray<char, 64> up(v.size());
    for (qsizetype i = 0; i < v.size(); ++i)
        up[i] = toUpper(v[i]);
    const QByteArrayView u(up.data(), up.size());
    const QString s = Common::instance().find(u);
    return s.isNull() ? decodeAuto(u) : s;
}

// A parameter value with its caret escapes (^n ^^ ^') resolved.
QString paramText(QByteArrayView v)
{
    if (!contains(v, '^')) {
        const QString s = Common::instance().find(v);
        return s.isNull() ? decodeAuto(v) : s;
    }
    QByteArray b;
    b.reserve(v.size());
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v[i] == '^' && i + 1 < v.size()) {
            const char e = v[i + 1];
            if (e == 'n' || e == 'N' || e == '^' || e == '\'') {
                b += e == '^' ? '^' : e == '\'' ? '"' : '\n';
                ++i;
                continue;
            }
        }
        b += v[i];
    }
    return decodeAuto(b);
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = toUpper(c);
    return (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
}

// Soft breaks are joined before this; a '=' left at the very end is one too.
QByteArray decodeQuotedPrintable(QByteArrayView v)
{
    QByteArray out(v.size(), Qt::Uninitialized);
    char *d = out.data();
    qsizetype n = 0;
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v[i] == '=') {
            if (i + 2 < v.size()) {
                const int hi = hexValue(v[i + 1]), lo = hexValue(v[i + 2]);
                if (hi >= 0 && lo >= 0) {
                    d[n++] = char(hi * 16 + lo);
                    i += 2;
                    continue;
                }
            }
            if (i + 1 == v.size())
                break;
        }
        d[n++] = v[i];
    }
    out.truncate(n);
    return out;
}

// The decoder of the last character set the card named, kept for its other values.
struct Decoders
{
    QByteArray name;
    std::optional<QStringDecoder> decoder;

    QStringDecoder *get(QByteArrayView charset)
    {
        if (!decoder || QByteArrayView(name) != charset) {
            name = charset.toByteArray();
            decoder.emplace(name.constData(), QStringDecoder::Flag::Stateless);
        }
        return decoder->isValid() ? &*decoder : nullptr;
    }
};

// Text in the character set the value names; false when the set is unknown.
bool decodeText(QByteArrayView bytes, QByteArrayView charset, Decoders &decoders, QString &out)
{
    if (charset.isEmpty() || equalsWord(charset, "US-ASCII") || equalsWord(charset, "ASCII")) {
        out = decodeAuto(bytes);
    } else if (equalsWord(charset, "UTF-8") || equalsWord(charset, "UTF8")) {
        out = QString::fromUtf8(bytes);
    } else if (equalsWord(charset, "ISO-8859-1") || equalsWord(charset, "ISO8859-1") ||
               equalsWord(charset, "LATIN1") || equalsWord(charset, "WINDOWS-1252") ||
               equalsWord(charset, "CP1252")) {
        // Programs that say Latin-1 write Windows-1252 (the euro sign, quotes).
        out = fromCp1252(bytes);
    } else {
        QStringDecoder *decoder = decoders.get(charset);
        if (!decoder)
            return false;
        out = escapeNewlines(decoder->decode(bytes));
    }
    return true;
}

// ---- The line before the value ------------------------------------------

// Pieces of "group.NAME;P=a,"b";BARE" as offsets into the line.
enum class Tok : uchar { Name, Param, Bare, Value, Quoted };
struct Span
{
    Tok kind;
    qsizetype begin, end;
};
using Spans = QVarLengthArray<Span, 24>;

inline bool isDelimiter(char c)
{
    return c == ',' || c == ';' || c == ':';
}

// Splits the line up to the colon that starts the value and gives that
// colon, or -1. Unless `lenient`, an open quote also gives -1: the rest of the
// quoted value (and the colon) may be on a folded line.
qsizetype splitHead(QByteArrayView v, Spans &out, bool lenient)
{
    out.clear();
    const qsizetype n = v.size();
    qsizetype i = 0;
    while (i < n && v[i] != ';' && v[i] != ':')
        ++i;
    out.append({Tok::Name, 0, i});
    while (i < n && v[i] == ';') {
        const qsizetype start = ++i;
        while (i < n && v[i] != '=' && v[i] != ';' && v[i] != ':')
            ++i;
        if (i >= n || v[i] != '=') {
            out.append({Tok::Bare, start, i});
            continue;
        }
        out.append({Tok::Param, start, i});
        ++i;
        for (;;) {
            const void *close = nullptr;
            if (i < n && v[i] == '"') {
                close = std::memchr(v.data() + i + 1, '"', size_t(n - i - 1));
                if (!close && !lenient)
                    return -1;
            }
            if (close) {
                const qsizetype end = static_cast<const char *>(close) - v.data();
                out.append({Tok::Quoted, i + 1, end});
                i = end + 1;
                while (i < n && !isDelimiter(v[i])) // what follows a closing quote is dropped
                    ++i;
            } else {
                const qsizetype start = i;
                while (i < n && !isDelimiter(v[i]))
                    ++i;
                out.append({Tok::Value, start, i});
            }
            if (i < n && v[i] == ',') {
                ++i;
                continue;
            }
            break;
        }
    }
    return i < n ? i : -1;
}

enum class Encoding { None, QuotedPrintable, Base64 };

struct Head
{
    qsizetype colon = -1;
    Encoding encoding = Encoding::None;
    QByteArrayView charset; // into the line
};

void addParam(QList<Param> &params, const QString &name, QStringList values)
{
    // Repeated parameters merge: TYPE=a;TYPE=b, TYPE=a,b and 2.1's ;a;b read alike.
    for (Param &p : params) {
        if (p.name == name) {
            p.values += values;
            return;
        }
    }
    params.append({name, std::move(values)});
}

void appendSplit(QStringList &values, QByteArrayView v, bool trim)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i <= v.size(); ++i) {
        if (i == v.size() || v[i] == ',') {
            const QByteArrayView piece = v.sliced(start, i - start);
            values.append(paramText(trim ? trimmed(piece) : piece));
            start = i + 1;
        }
    }
}

// Group, name and parameters into `p`; ENCODING and CHARSET go to `h`, not
// to the parameters: they are undone while reading.
bool makeHead(QByteArrayView line, const Spans &spans, Property &p, Head &h, QString &error)
{
    const auto slice = [&](const Span &s) { return line.sliced(s.begin, s.end - s.begin); };
    QByteArrayView seg = trimmed(slice(spans[0]));
    const qsizetype dot = seg.lastIndexOf('.');
    if (dot >= 0) {
        p.group = decodeAuto(seg.first(dot));
        seg = trimmed(seg.sliced(dot + 1));
    }
    if (seg.isEmpty()) {
        error = QStringLiteral("A line has no property name.");
        return false;
    }
    p.name = upperName(seg);

    QByteArrayView encoding;
    bool hasEncoding = false;
    for (qsizetype i = 1; i < spans.size();) {
        const Span &s = spans[i++];
        const QByteArrayView token = trimmed(slice(s));
        if (s.kind == Tok::Bare) {
            // 2.1 leaves out the parameter name: ;HOME;VOICE, ;QUOTED-PRINTABLE, ;URL.
            if (token.isEmpty())
                continue;
            if (equalsWord(token, "QUOTED-PRINTABLE") || equalsWord(token, "BASE64") ||
                equalsWord(token, "8BIT") || equalsWord(token, "7BIT")) {
                encoding = token;
                hasEncoding = true;
            } else if (equalsWord(token, "INLINE") || equalsWord(token, "URL") || equalsWord(token, "CONTENT-ID") ||
                       equalsWord(token, "CID")) {
                addParam(p.params, QStringLiteral("VALUE"), {paramText(token)});
            } else {
                QStringList types;
                appendSplit(types, token, true);
                addParam(p.params, QStringLiteral("TYPE"), std::move(types));
            }
            continue;
        }
        const bool isType = equalsWord(token, "TYPE");
        QStringList values;
        QByteArrayView first;
        int count = 0;
        bool onlyEmpty = false;
        while (i < spans.size() && (spans[i].kind == Tok::Value || spans[i].kind == Tok::Quoted)) {
            const Span &v = spans[i++];
            const bool quoted = v.kind == Tok::Quoted;
            const QByteArrayView raw = quoted ? slice(v) : trimmed(slice(v));
            if (count++ == 0) {
                first = raw;
                onlyEmpty = !quoted && raw.isEmpty();
            }
            // A quoted TYPE is still a list: TYPE="work,voice".
            if (isType && quoted && contains(raw, ','))
                appendSplit(values, raw, false);
            else
                values.append(paramText(raw));
        }
        if (count == 1 && onlyEmpty) // "NAME=" has no value at all
            values.clear();
        if (equalsWord(token, "ENCODING")) {
            encoding = first;
            hasEncoding = true;
        } else if (equalsWord(token, "CHARSET")) {
            h.charset = first;
        } else {
            addParam(p.params, upperName(token), std::move(values));
        }
    }
    if (hasEncoding) {
        if (equalsWord(encoding, "QUOTED-PRINTABLE")) {
            h.encoding = Encoding::QuotedPrintable;
        } else if (equalsWord(encoding, "B") || equalsWord(encoding, "BASE64")) {
            h.encoding = Encoding::Base64;
        } else if (!encoding.isEmpty() && !equalsWord(encoding, "8BIT") && !equalsWord(encoding, "7BIT")) {
            error = QStringLiteral("Unknown encoding \"%1\".").arg(decodeAuto(encoding));
            return false;
        }
    }
    return true;
}

bool decodeValue(QByteArrayView raw, const Head &h, Decoders &decoders, Property &p, QString &error)
{
    if (raw.size() > Reader::kMaxValueBytes) {
        error = QStringLiteral("A value is larger than %1 MB.").arg(Reader::kMaxValueBytes / (1024 * 1024));
        return false;
    }
    if (h.encoding == Encoding::Base64) {
        p.binary = QByteArray::fromBase64(QByteArray::fromRawData(raw.data(), raw.size()));
        return true;
    }
    QByteArray decoded;
    if (h.encoding == Encoding::QuotedPrintable) {
        decoded = decodeQuotedPrintable(raw);
        raw = decoded;
    }
    if (!decodeText(raw, trimmed(h.charset), decoders, p.value)) {
        error = QStringLiteral("Unknown character set \"%1\".").arg(decodeAuto(trimmed(h.charset)));
        return false;
    }
    if (h.encoding == Encoding::QuotedPrintable)
        p.value = escapeNewlines(p.value);
    return true;
}

// ---- Lines --------------------------------------------------------------

// Physical lines. A line ends at LF, CRLF, CR CR LF or a lone CR.
struct Scanner
{
    QByteArrayView data;
    qsizetype pos = 0;
    int line = 0;

    struct Line
    {
        qsizetype begin = 0, end = 0, next = 0;
    };
    bool peek(Line &l) const
    {
        if (pos >= data.size())
            return false;
        const char *base = data.data();
        const char *p = base + pos;
        const qsizetype rest = data.size() - pos;
        const char *nl = static_cast<const char *>(std::memchr(p, '\n', size_t(rest)));
        const char *lim = nl ? nl : p + rest;
        const char *cr = static_cast<const char *>(std::memchr(p, '\r', size_t(lim - p)));
        const qsizetype afterLim = nl ? nl - base + 1 : data.size();
        l.begin = pos;
        if (!cr) {
            l.end = lim - base;
            l.next = afterLim;
            return true;
        }
        const char *q = cr;
        while (q < lim && *q == '\r')
            ++q;
        l.end = cr - base;
        l.next = q == lim ? afterLim : q - base;
        return true;
    }
    QByteArrayView view(const Line &l) const { return data.sliced(l.begin, l.end - l.begin); }
    void take(const Line &l)
    {
        pos = l.next;
        ++line;
    }
    bool nextIsFold(Line &l) const { return peek(l) && l.end > l.begin && isBlank(data[l.begin]); }
};

bool isBase64Line(QByteArrayView v)
{
    if (v.isEmpty())
        return false;
    for (char c : v) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' || c == '/' ||
              c == '=' || isBlank(c)))
            return false;
    }
    return true;
}

// Reads one property: its folded, soft-broken or base64 lines, and decodes it.
class PropertyReader
{
public:
    explicit PropertyReader(Scanner &s) : m_s(s) {}

    // `loose21`: base64 may go on in lines that are not indented (not in a
    // 3.0 or 4.0 card, where such a line may begin a folded property).
    bool read(Property &p, QString &error, bool loose21)
    {
        Scanner::Line l;
        m_s.peek(l);
        m_s.take(l);
        p.line = m_s.line;
        QByteArrayView first = m_s.view(l);
        while (!first.isEmpty() && isBlank(first.front()))
            first = first.sliced(1);

        // The head is on the first line but for the rare writer that folds inside it.
        QByteArrayView logical = first;
        m_inBuf = false;
        qsizetype colon = splitHead(logical, m_spans, false);
        if (colon < 0 && m_s.nextIsFold(l)) {
            m_buf = first.toByteArray();
            m_inBuf = true;
            while (m_s.nextIsFold(l) && m_buf.size() <= Reader::kMaxValueBytes) {
                m_buf.append(m_s.view(l).sliced(1));
                m_s.take(l);
            }
            logical = m_buf;
            colon = splitHead(logical, m_spans, false);
        }
        if (colon < 0)
            colon = splitHead(logical, m_spans, true);
        if (colon < 0) {
            error = QStringLiteral("A line has no colon.");
            return false;
        }
        Head h;
        if (!makeHead(logical, m_spans, p, h, error))
            return false;
        // The charset is a view into the line, which may move as lines are added.
        const QByteArray charset = h.charset.toByteArray();
        h.charset = charset;

        for (;;) {
            const QByteArrayView cur = m_inBuf ? QByteArrayView(m_buf) : logical;
            if (cur.size() - colon > Reader::kMaxValueBytes + 1)
                break;
            qsizetype e = cur.size();
            if (h.encoding == Encoding::QuotedPrintable) {
                while (e > colon + 1 && isBlank(cur[e - 1]))
                    --e;
            }
            if (h.encoding == Encoding::QuotedPrintable && e > colon + 1 && cur[e - 1] == '=') {
                // A soft break: the next line goes on as it is, unless the card ends there.
                if (!m_s.peek(l) || isBeginLine(m_s.view(l)) || isEndLine(m_s.view(l)))
                    break;
                ensureBuffer(logical);
                m_buf.truncate(e - 1);
                m_buf.append(m_s.view(l));
                m_s.take(l);
            } else if (m_s.nextIsFold(l)) {
                ensureBuffer(logical);
                m_buf.append(m_s.view(l).sliced(1));
                m_s.take(l);
            } else {
                break;
            }
        }
        if (h.encoding == Encoding::Base64) {
            // 2.1 writers may go on without indenting and end the value with a blank line.
            while (loose21 && m_s.peek(l) && isBase64Line(m_s.view(l)) &&
                   (m_inBuf ? m_buf.size() : logical.size()) - colon <= Reader::kMaxValueBytes + 1) {
                ensureBuffer(logical);
                m_buf.append(m_s.view(l));
                m_s.take(l);
            }
            if (m_s.peek(l) && trimmed(m_s.view(l)).isEmpty())
                m_s.take(l);
        }
        const QByteArrayView whole = m_inBuf ? QByteArrayView(m_buf) : logical;
        return decodeValue(whole.sliced(colon + 1), h, m_decoders, p, error);
    }

private:
    void ensureBuffer(QByteArrayView logical)
    {
        if (!m_inBuf) {
            m_buf = logical.toByteArray();
            m_inBuf = true;
        }
    }

    Scanner &m_s;
    Spans m_spans;
    QByteArray m_buf;
    bool m_inBuf = false;
    Decoders m_decoders;
};

// Past the rest of a broken card: through its END, or up to the next BEGIN.
void skipCard(Scanner &s)
{
    Scanner::Line l;
    while (s.peek(l)) {
        const QByteArrayView v = s.view(l);
        if (isBeginLine(v))
            return;
        s.take(l);
        if (isEndLine(v))
            return;
    }
}

bool isWord(const Property &p, QLatin1String name)
{
    return p.name == name && p.group.isEmpty() && p.params.isEmpty() &&
           p.value.trimmed().compare(QLatin1String("VCARD"), Qt::CaseInsensitive) == 0;
}

Reader::Result readCard(Scanner &s, Card &card, Problem &problem)
{
    Scanner::Line l;
    do {
        if (!s.peek(l))
            return Reader::Result::End;
        s.take(l);
    } while (!isBeginLine(s.view(l)));
    card.line = s.line;

    PropertyReader reader(s);
    for (;;) {
        const qsizetype startPos = s.pos;
        const int startLine = s.line;
        if (!s.peek(l)) {
            problem = {card.line, QStringLiteral("The file ends before the card's END:VCARD.")};
            return Reader::Result::Skipped;
        }
        const QByteArrayView text = s.view(l);
        if (trimmed(text).isEmpty()) {
            s.take(l);
            continue;
        }
        if (isEndLine(text)) {
            s.take(l);
            return Reader::Result::Card;
        }
        if (isBeginLine(text)) {
            problem = {card.line, QStringLiteral("The card has no END:VCARD before the next BEGIN:VCARD.")};
            return Reader::Result::Skipped;
        }
        Property p;
        QString error;
        if (!reader.read(p, error, card.version != QLatin1String("3.0") && card.version != QLatin1String("4.0"))) {
            problem = {p.line, error};
            skipCard(s);
            return Reader::Result::Skipped;
        }
        // Folded or encoded, these still begin or end a card.
        if (isWord(p, QLatin1String("END")))
            return Reader::Result::Card;
        if (isWord(p, QLatin1String("BEGIN"))) {
            s.pos = startPos;
            s.line = startLine;
            problem = {card.line, QStringLiteral("The card has no END:VCARD before the next BEGIN:VCARD.")};
            return Reader::Result::Skipped;
        }
        if (p.name == QLatin1String("VERSION"))
            card.version = p.value.trimmed();
        else
            card.properties.append(std::move(p));
    }
}

// ---- Escapes ------------------------------------------------------------

QString unescape(QStringView v)
{
    const qsizetype first = v.indexOf(u'\\');
    if (first < 0)
        return v.toString();
    QString out;
    out.reserve(v.size());
    out.append(v.first(first));
    for (qsizetype i = first; i < v.size(); ++i) {
        const QChar c = v[i];
        if (c == u'\\' && i + 1 < v.size()) {
            const QChar e = v[i + 1];
            if (e == u'n' || e == u'N') {
                out += u'\n';
                ++i;
                continue;
            }
            if (e == u'\\' || e == u',' || e == u';' || e == u':') {
                out += e;
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

QStringList splitUnescaped(const QString &v, char16_t sep)
{
    QStringList parts;
    if (v.isEmpty())
        return parts;
    const QStringView view(v);
    qsizetype start = 0;
    for (qsizetype i = 0; i < v.size(); ++i) {
        if (v[i] == u'\\') {
            ++i;
        } else if (v[i] == sep) {
            parts.append(unescape(view.sliced(start, i - start)));
            start = i + 1;
        }
    }
    parts.append(unescape(view.sliced(start)));
    return parts;
}

// Whether a backslash before v[j] would read as an escape.
bool escapesNext(const QString &v, qsizetype j)
{
    if (j >= v.size())
        return false;
    const QChar c = v[j];
    return c == u'\\' || c == u',' || c == u';' || c == u'n' || c == u'N' || c == u':' || c == u'\r' || c == u'\n';
}

// One text escaped for `version`. `sep` is ';' for a component, ',' for a
// list item, 0 for a whole text. 2.1 knows no escapes but \; in compound
// values: its backslashes are doubled only where they would read as one, and
// newlines stay (quoted-printable carries them).
QString escapeText(const QString &v, Version version, char16_t sep)
{
    QString out;
    out.reserve(v.size() + 8);
    const bool v21 = version == Version::V21;
    for (qsizetype i = 0; i < v.size(); ++i) {
        const QChar c = v[i];
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < v.size() && v[i + 1] == u'\n')
                ++i;
            out += v21 ? QLatin1String("\n") : QLatin1String("\\n");
        } else if (c == u'\\') {
            out += (!v21 || sep || escapesNext(v, i + 1)) ? QLatin1String("\\\\") : QLatin1String("\\");
        } else if (v21 ? (sep && c == sep) : (c == u',' || c == u';')) {
            out += u'\\';
            out += c;
        } else {
            out += c;
        }
    }
    return out;
}

// ---- Writing ------------------------------------------------------------

bool isTransport(const QString &name)
{
    return name.compare(QLatin1String("ENCODING"), Qt::CaseInsensitive) == 0 ||
           name.compare(QLatin1String("CHARSET"), Qt::CaseInsensitive) == 0;
}

// A 2.1 TYPE value that can stand alone (;HOME) without reading as something else.
bool isBareType(const QString &v)
{
    if (v.isEmpty())
        return false;
    for (QChar c : v) {
        if (!(c.unicode() < 128 && (c.isLetterOrNumber() || c == u'-' || c == u'_')))
            return false;
    }
    for (const char *word : {"QUOTED-PRINTABLE", "BASE64", "8BIT", "7BIT", "INLINE", "URL", "CONTENT-ID", "CID"}) {
        if (v.compare(QLatin1String(word), Qt::CaseInsensitive) == 0)
            return false;
    }
    return true;
}

void appendParamValue(QByteArray &out, const QString &v)
{
    bool quote = v.isEmpty() || v.front().isSpace() || v.back().isSpace();
    for (QChar c : v) {
        if (c == u',' || c == u';' || c == u':' || c == u'"' || c == u'^' || c == u'\r' || c == u'\n')
            quote = true;
    }
    if (!quote) {
        out += v.toUtf8();
        return;
    }
    QString q;
    q.reserve(v.size() + 4);
    for (qsizetype i = 0; i < v.size(); ++i) {
        const QChar c = v[i];
        if (c == u'^') {
            q += QLatin1String("^^");
        } else if (c == u'"') {
            q += QLatin1String("^'");
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < v.size() && v[i + 1] == u'\n')
                ++i;
            q += QLatin1String("^n");
        } else {
            q += c;
        }
    }
    out += '"';
    out += q.toUtf8();
    out += '"';
}

// "group.NAME" + `extra` + the parameters, in the version's form.
QByteArray head(const QString &group, const QString &name, const QList<Param> &params, Version version,
                QByteArrayView extra = {})
{
    QByteArray out;
    if (!group.isEmpty()) {
        out += group.toUtf8();
        out += '.';
    }
    out += name.toUtf8();
    out += extra;
    for (const Param &p : params) {
        if (isTransport(p.name))
            continue;
        const QByteArray pname = p.name.toUtf8();
        if (p.values.isEmpty()) {
            out += ';' + pname + '=';
        } else if (version == Version::V21) {
            // 2.1 has no lists: a parameter repeats, and a type goes bare.
            const bool type = p.name.compare(QLatin1String("TYPE"), Qt::CaseInsensitive) == 0;
            for (const QString &v : p.values) {
                out += ';';
                if (type && isBareType(v)) {
                    out += v.toLatin1();
                } else {
                    out += pname + '=';
                    appendParamValue(out, v);
                }
            }
        } else {
            out += ';' + pname + '=';
            for (qsizetype i = 0; i < p.values.size(); ++i) {
                if (i)
                    out += ',';
                appendParamValue(out, p.values[i]);
            }
        }
    }
    return out;
}

// A read value (escapes in place) for 2.1: \n becomes a real newline, which
// quoted-printable carries; the other escapes stay as they are.
QString valueFor21(const QString &v)
{
    QString out;
    out.reserve(v.size());
    for (qsizetype i = 0; i < v.size(); ++i) {
        const QChar c = v[i];
        if (c == u'\\' && i + 1 < v.size()) {
            if (v[i + 1] == u'n') {
                out += u'\n';
            } else {
                out += c;
                out += v[i + 1];
            }
            ++i;
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < v.size() && v[i + 1] == u'\n')
                ++i;
            out += u'\n';
        } else {
            out += c;
        }
    }
    return out;
}

QString mediaSubtype(const QString &mediaType)
{
    const qsizetype slash = mediaType.indexOf(u'/');
    return (slash >= 0 ? mediaType.mid(slash + 1) : mediaType).toUpper();
}

} // namespace

// ---- Property and Card ----------------------------------------------------

QStringList Property::param(const QString &name) const
{
    QStringList out;
    for (const Param &p : params) {
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            out += p.values;
    }
    return out;
}

bool Property::hasType(const QString &type) const
{
    for (const QString &v : param(QStringLiteral("TYPE"))) {
        for (QStringView piece : QStringView(v).split(u',')) {
            if (piece.trimmed().compare(type, Qt::CaseInsensitive) == 0)
                return true;
        }
    }
    return false;
}

QString Property::text() const
{
    return value.contains(u'\\') ? unescape(value) : value;
}

QStringList Property::components() const
{
    return splitUnescaped(value, u';');
}

QStringList Property::list() const
{
    return splitUnescaped(value, u',');
}

QString Property::toLine() const
{
    QByteArray out;
    if (!binary.isEmpty()) {
        out = head(group, name, params, Version::V30, ";ENCODING=b");
        out += ':';
        out += binary.toBase64();
    } else {
        out = head(group, name, params, Version::V30);
        out += ':';
        out += escapeNewlines(value).toUtf8();
    }
    return QString::fromUtf8(out);
}

bool Property::fromLine(const QString &line, Property &out)
{
    if (line.contains(u'\n') || line.contains(u'\r'))
        return false;
    const QByteArray bytes = line.toUtf8();
    Spans spans;
    const qsizetype colon = splitHead(bytes, spans, true);
    if (colon < 0)
        return false;
    Property p;
    Head h;
    QString error;
    Decoders decoders;
    if (!makeHead(bytes, spans, p, h, error) ||
        !decodeValue(QByteArrayView(bytes).sliced(colon + 1), h, decoders, p, error))
        return false;
    out = std::move(p);
    return true;
}

const Property *Card::first(const QString &name) const
{
    for (const Property &p : properties) {
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            return &p;
    }
    return nullptr;
}

QList<const Property *> Card::all(const QString &name) const
{
    QList<const Property *> out;
    for (const Property &p : properties) {
        if (p.name.compare(name, Qt::CaseInsensitive) == 0)
            out.append(&p);
    }
    return out;
}

// ---- Reader ---------------------------------------------------------------

bool LooksLikeVCard(QByteArrayView data)
{
    constexpr qsizetype kLookAhead = 8 * 1024;
    Scanner s{data.first(qMin(data.size(), kLookAhead + 64))};
    if (data.startsWith("\xEF\xBB\xBF"))
        s.pos = 3;
    Scanner::Line l;
    while (s.pos <= kLookAhead && s.peek(l)) {
        if (isBeginLine(s.view(l)))
            return true;
        s.take(l);
    }
    return false;
}

Reader::Reader(QByteArrayView data) : m_data(data) {}

Reader::Result Reader::next(Card &card, Problem &problem)
{
    card.version.clear();
    card.properties.clear();
    card.line = 0;
    problem = Problem();
    Scanner s{m_data, m_pos, m_line};
    if (s.pos == 0 && m_data.startsWith("\xEF\xBB\xBF"))
        s.pos = 3;
    const Result result = readCard(s, card, problem);
    m_pos = s.pos;
    m_line = s.line;
    return result;
}

qsizetype Reader::position() const
{
    return m_pos;
}

// ---- Writer ---------------------------------------------------------------

Writer::Writer(Version version) : m_version(version) {}

void Writer::begin()
{
    m_out += "BEGIN:VCARD\r\n";
    m_out += m_version == Version::V21 ? "VERSION:2.1\r\n" : m_version == Version::V30 ? "VERSION:3.0\r\n"
                                                                                      : "VERSION:4.0\r\n";
}

void Writer::end()
{
    m_out += "END:VCARD\r\n";
}

void Writer::text(const QString &name, const QString &value, const QList<Param> &params)
{
    valueLine(head({}, name, params, m_version), escapeText(value, m_version, 0));
}

void Writer::components(const QString &name, const QStringList &parts, const QList<Param> &params)
{
    QString joined;
    for (qsizetype i = 0; i < parts.size(); ++i) {
        if (i)
            joined += u';';
        joined += escapeText(parts[i], m_version, u';');
    }
    valueLine(head({}, name, params, m_version), joined);
}

void Writer::list(const QString &name, const QStringList &values, const QList<Param> &params)
{
    QString joined;
    for (qsizetype i = 0; i < values.size(); ++i) {
        if (i)
            joined += u',';
        joined += escapeText(values[i], m_version, u',');
    }
    valueLine(head({}, name, params, m_version), joined);
}

void Writer::binary(const QString &name, const QByteArray &data, const QString &mediaType)
{
    const QString type = mediaSubtype(mediaType);
    const QByteArray typeParam = type.isEmpty() ? QByteArray() : ";TYPE=" + type.toUtf8();
    switch (m_version) {
    case Version::V21:
        line(head({}, name, {}, m_version, ";ENCODING=BASE64" + typeParam) + ':' + data.toBase64());
        m_out += "\r\n"; // the blank line that ends a 2.1 base64 value
        break;
    case Version::V30:
        line(head({}, name, {}, m_version, ";ENCODING=b" + typeParam) + ':' + data.toBase64());
        break;
    case Version::V40:
        line(name.toUtf8() + ":data:" +
             (mediaType.isEmpty() ? QByteArray("application/octet-stream") : mediaType.toUtf8()) + ";base64," +
             data.toBase64());
        break;
    }
}

void Writer::property(const Property &p)
{
    if (!p.binary.isEmpty()) {
        // 4.0 too: a data: URI would read back as text, not as the same property.
        const bool v21 = m_version == Version::V21;
        line(head(p.group, p.name, p.params, m_version, v21 ? ";ENCODING=BASE64" : ";ENCODING=b") + ':' +
             p.binary.toBase64());
        if (v21)
            m_out += "\r\n";
        return;
    }
    const QByteArray h = head(p.group, p.name, p.params, m_version);
    if (m_version == Version::V21)
        valueLine(h, valueFor21(p.value));
    else
        line(h + ':' + escapeNewlines(p.value).toUtf8());
}

QByteArray Writer::take()
{
    return std::exchange(m_out, QByteArray());
}

void Writer::valueLine(const QByteArray &h, const QString &value)
{
    const QByteArray bytes = value.toUtf8();
    if (m_version != Version::V21) {
        line(h + ':' + bytes);
        return;
    }
    // Plain when it fits on one line as it is; else quoted-printable, so that
    // nothing relies on 2.1 folding, which other readers undo differently.
    const bool ascii = firstHigh(bytes) == bytes.size();
    bool plain = ascii && h.size() + 1 + bytes.size() <= 75 && (bytes.isEmpty() || !isBlank(bytes.back()));
    for (qsizetype i = 0; plain && i < bytes.size(); ++i)
        plain = uchar(bytes[i]) >= 0x20 && bytes[i] != 0x7F;
    if (plain) {
        line(h + ':' + bytes);
        return;
    }
    static const char kHex[] = "0123456789ABCDEF";
    QByteArray out = h;
    out += ascii ? ";ENCODING=QUOTED-PRINTABLE:" : ";CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:";
    qsizetype width = out.size();
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const uchar c = uchar(bytes[i]);
        char token[6];
        int len = 1;
        // ':' too is encoded, so that no continuation line reads as END:VCARD.
        if (c == '\n') {
            std::memcpy(token, "=0D=0A", 6);
            len = 6;
        } else if ((c > 32 && c < 127 && c != '=' && c != ':') || ((c == ' ' || c == '\t') && i + 1 < bytes.size())) {
            token[0] = char(c);
        } else {
            token[0] = '=';
            token[1] = kHex[c >> 4];
            token[2] = kHex[c & 15];
            len = 3;
        }
        if (width + len > 74) {
            out += "=\r\n";
            width = 0;
        }
        if (width == 0 && len == 1 && isBlank(token[0])) { // a line must not start with a blank
            token[1] = kHex[c >> 4];
            token[2] = kHex[c & 15];
            token[0] = '=';
            len = 3;
        }
        out.append(token, len);
        width += len;
    }
    out += "\r\n";
    m_out += out;
}

void Writer::line(const QByteArray &logical)
{
    foldedLine(logical);
}

void Writer::foldedLine(QByteArrayView logical)
{
    qsizetype i = 0;
    const qsizetype n = logical.size();
    qsizetype limit = 75;
    while (n - i > limit) {
        qsizetype cut = i + limit;
        while (cut > i + 1 && (uchar(logical[cut]) & 0xC0) == 0x80) // not inside a character
            --cut;
        AppendBytes(m_out, logical.sliced(i, cut - i));
        AppendBytes(m_out, "\r\n ");
        i = cut;
        limit = 74; // the leading space counts
    }
    AppendBytes(m_out, logical.sliced(i));
    AppendBytes(m_out, "\r\n");
}

} // namespace VCard
