#include "interchange/Csv.h"

#include <QFile>
#include <QStringDecoder>

#include <cstring>
#include <utility>

namespace Csv {

namespace {

// Windows-1252's 0x80..0x9F (0: undefined, read as the C1 control of the
// same number, as decoders do); the other bytes are Latin-1.
const char16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

// Windows-1252 straight to UTF-8: a table is much faster than a converter
// for a code page whose every byte is one character.
QByteArray cp1252ToUtf8(QByteArrayView bytes)
{
    QByteArray out(bytes.size() * 3, Qt::Uninitialized); // pages not written are never touched
    char *o = out.data();
    for (char ch : bytes) {
        const uchar b = uchar(ch);
        if (b < 0x80) {
            *o++ = ch;
            continue;
        }
        const char16_t u = b < 0xA0 && kCp1252High[b - 0x80] ? kCp1252High[b - 0x80] : b;
        if (u < 0x800) {
            *o++ = char(0xC0 | (u >> 6));
        } else {
            *o++ = char(0xE0 | (u >> 12));
            *o++ = char(0x80 | ((u >> 6) & 0x3F));
        }
        *o++ = char(0x80 | (u & 0x3F));
    }
    out.truncate(o - out.constData());
    return out;
}

// A UTF-16 decoder lets lone surrogates through; they would not survive
// being written as UTF-8 again.
void replaceLoneSurrogates(QString &text)
{
    const qsizetype n = text.size();
    QChar *c = text.data();
    for (qsizetype i = 0; i < n; ++i) {
        if (c[i].isHighSurrogate() && i + 1 < n && c[i + 1].isLowSurrogate())
            ++i;
        else if (c[i].isSurrogate())
            c[i] = QChar::ReplacementCharacter;
    }
}

// UTF-16 without a byte order mark: text of mostly ASCII has a zero in every
// other byte.
QStringConverter::Encoding guessUtf16(QByteArrayView data)
{
    const qsizetype pairs = qMin<qsizetype>(data.size(), 1024) / 2;
    if (pairs < 2)
        return QStringConverter::System;
    qsizetype evenZeros = 0, oddZeros = 0;
    for (qsizetype i = 0; i < pairs; ++i) {
        evenZeros += data[2 * i] == 0;
        oddZeros += data[2 * i + 1] == 0;
    }
    if (evenZeros == 0 && oddZeros * 4 >= pairs * 3)
        return QStringConverter::Utf16LE;
    if (oddZeros == 0 && evenZeros * 4 >= pairs * 3)
        return QStringConverter::Utf16BE;
    return QStringConverter::System;
}

// Whether the bytes are UTF-8 (no overlong forms, surrogates or values past
// U+10FFFF), without decoding them.
bool validUtf8(QByteArrayView bytes)
{
    const uchar *p = reinterpret_cast<const uchar *>(bytes.data());
    const uchar *const end = p + bytes.size();
    while (p < end) {
        while (end - p >= 8) { // ASCII runs, eight bytes at a time
            quint64 word;
            std::memcpy(&word, p, 8);
            if (word & 0x8080808080808080ULL)
                break;
            p += 8;
        }
        if (p == end)
            break;
        const uchar c = *p;
        if (c < 0x80) {
            ++p;
            continue;
        }
        int more = 0;
        uchar low = 0x80, high = 0xBF; // the second byte's range
        if (c >= 0xC2 && c <= 0xDF)
            more = 1;
        else if (c >= 0xE0 && c <= 0xEF)
            more = 2, low = c == 0xE0 ? 0xA0 : 0x80, high = c == 0xED ? 0x9F : 0xBF;
        else if (c >= 0xF0 && c <= 0xF4)
            more = 3, low = c == 0xF0 ? 0x90 : 0x80, high = c == 0xF4 ? 0x8F : 0xBF;
        else
            return false;
        if (end - p <= more || p[1] < low || p[1] > high)
            return false;
        for (int i = 2; i <= more; ++i) {
            if ((p[i] & 0xC0) != 0x80)
                return false;
        }
        p += more + 1;
    }
    return true;
}

// The text to read, as UTF-8: the data itself when it is UTF-8, else converted.
struct Decoded
{
    QByteArray converted;
    QByteArrayView text;
    QString encoding;
    QString refused;
};

Decoded decode(QByteArrayView data, const QString &name)
{
    Decoded d;
    auto take = [&](QString text, const char *encoding) {
        replaceLoneSurrogates(text);
        d.converted = text.toUtf8();
        d.text = d.converted;
        if (encoding)
            d.encoding = QString::fromLatin1(encoding);
    };
    if (data.startsWith("\xEF\xBB\xBF")) {
        d.text = data.sliced(3);
        d.encoding = QStringLiteral("UTF-8");
        if (!validUtf8(d.text))
            take(QString::fromUtf8(d.text), nullptr);
    } else if (data.startsWith("\xFF\xFE")) {
        take(QStringDecoder(QStringConverter::Utf16LE).decode(data.sliced(2)), "UTF-16LE");
    } else if (data.startsWith("\xFE\xFF")) {
        take(QStringDecoder(QStringConverter::Utf16BE).decode(data.sliced(2)), "UTF-16BE");
    } else if (!name.isEmpty()) {
        QStringDecoder decoder(name.toLatin1().constData());
        if (!decoder.isValid()) {
            d.refused = QStringLiteral("Unknown character encoding \"%1\".").arg(name);
            return d;
        }
        take(decoder.decode(data), nullptr);
        d.encoding = name;
    } else if (const auto e = guessUtf16(data); e != QStringConverter::System) {
        take(QStringDecoder(e).decode(data), e == QStringConverter::Utf16LE ? "UTF-16LE" : "UTF-16BE");
    } else if (validUtf8(data)) {
        d.text = data;
        d.encoding = QStringLiteral("UTF-8");
    } else {
        d.converted = cp1252ToUtf8(data);
        d.text = d.converted;
        d.encoding = QStringLiteral("windows-1252");
    }
    return d;
}

// Text has no NULs and few control characters; what has them is no table.
bool looksBinary(QByteArrayView text)
{
    if (std::memchr(text.data(), 0, text.size()))
        return true;
    const QByteArrayView s = text.first(qMin<qsizetype>(text.size(), 64 * 1024));
    qsizetype chars = 0, controls = 0;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const uchar c = uchar(s[i]);
        chars += (c & 0xC0) != 0x80;
        if ((c < 0x20 && c != '\t' && c != '\n' && c != '\r' && c != '\f') || c == 0x7F)
            ++controls;
        else if (c == 0xC2 && i + 1 < s.size() && uchar(s[i + 1]) < 0xA0) // U+0080..U+009F
            ++controls;
        else if (c == 0xEF && s.sliced(i).startsWith("\xEF\xBF\xBD")) // what could not be decoded
            ++controls;
    }
    return controls * 10 > chars;
}

bool isBlank(const char *from, const char *to)
{
    for (; from < to; ++from) {
        if (*from != ' ' && *from != '\t')
            return false;
    }
    return true;
}

bool isBlank(QByteArrayView s)
{
    return isBlank(s.data(), s.data() + s.size());
}

// The delimiter the header line (from `text`'s start) has most of, outside
// quotes; a comma when it has none.
char sniffDelimiter(QByteArrayView text)
{
    qsizetype commas = 0, semicolons = 0, tabs = 0;
    bool quoted = false;
    for (char c : text) {
        if (c == '"')
            quoted = !quoted;
        else if (quoted)
            continue;
        else if (c == '\r' || c == '\n')
            break;
        else if (c == ',')
            ++commas;
        else if (c == ';')
            ++semicolons;
        else if (c == '\t')
            ++tabs;
    }
    if (semicolons > commas && semicolons >= tabs)
        return ';';
    if (tabs > commas && tabs > semicolons)
        return '\t';
    return ',';
}

struct Record
{
    int line = 0;
    qsizetype count = 0;    // cells seen, stored or not
    bool extraText = false; // a cell beyond those stored has text
    bool tooBig = false;
    bool unterminated = false;
};

class Parser
{
public:
    Parser(QByteArrayView text, char delimiter, int line)
        : m_begin(text.data()), m_p(text.data()), m_end(text.data() + text.size()), m_delim(delimiter), m_line(line)
    {
    }
    bool atEnd() const { return m_p == m_end; }
    qsizetype offset() const { return m_p - m_begin; }
    qsizetype remaining() const { return m_end - m_p; }

    // Reads one record: the text of its first `keep` cells goes to `out`, and
    // where each ends to `ends`; the others are only counted. On a problem the
    // caller takes back what was added.
    Record next(QByteArray &out, QList<quint32> &ends, qsizetype keep);

    // Goes on from the line after `line`, which started at `from`.
    void restartAfter(qsizetype from, int line)
    {
        m_p = m_begin + from;
        while (m_p < m_end && *m_p != '\r' && *m_p != '\n')
            ++m_p;
        if (m_p < m_end && *m_p == '\r' && m_p + 1 < m_end && m_p[1] == '\n')
            ++m_p;
        if (m_p < m_end)
            ++m_p;
        m_line = line + 1;
    }

private:
    const char *m_begin, *m_p, *m_end;
    char m_delim;
    int m_line;
};

Record Parser::next(QByteArray &out, QList<quint32> &ends, qsizetype keep)
{
    Record r;
    r.line = m_line;
    for (;;) {
        const bool stored = r.count < keep;
        const qsizetype cellStart = out.size();
        bool text = false; // for a cell not stored: whether it has any
        auto add = [&](const char *from, const char *to) {
            if (from == to)
                return;
            if (!stored)
                text = text || !isBlank(from, to);
            else if (out.size() - cellStart + (to - from) > kMaxCellBytes)
                r.tooBig = true;
            else if (!r.tooBig)
                out.append(from, to - from);
        };
        // A quote opens a quoted cell, also after blanks some writers put
        // after the delimiter.
        const char *q = m_p;
        if (m_delim != ' ') {
            while (q < m_end && *q == ' ')
                ++q;
        }
        if (q < m_end && *q == '"') {
            m_p = q + 1;
            for (;;) {
                const char *from = m_p;
                while (m_p < m_end && *m_p != '"' && *m_p != '\r' && *m_p != '\n')
                    ++m_p;
                add(from, m_p);
                if (m_p == m_end) {
                    r.unterminated = true;
                    return r;
                }
                if (*m_p == '"') {
                    if (m_p + 1 < m_end && m_p[1] == '"') {
                        add(m_p, m_p + 1);
                        m_p += 2;
                        continue;
                    }
                    ++m_p;
                    break;
                }
                // A line break inside the cell is a newline, whichever the file uses.
                static const char kNewline = '\n';
                if (*m_p == '\r' && m_p + 1 < m_end && m_p[1] == '\n')
                    ++m_p;
                ++m_p;
                ++m_line;
                add(&kNewline, &kNewline + 1);
            }
        }
        // Unquoted text, or what some writers put after a closing quote.
        const char *from = m_p;
        while (m_p < m_end && *m_p != m_delim && *m_p != '\r' && *m_p != '\n')
            ++m_p;
        add(from, m_p);
        if (stored)
            ends.append(quint32(out.size()));
        else
            r.extraText = r.extraText || text;
        ++r.count;
        if (m_p == m_end)
            return r;
        if (*m_p == m_delim) {
            ++m_p;
            continue;
        }
        if (*m_p == '\r' && m_p + 1 < m_end && m_p[1] == '\n')
            ++m_p;
        ++m_p;
        ++m_line;
        return r;
    }
}

Table refuse(const QString &reason)
{
    Table t;
    t.refused = reason;
    return t;
}

} // namespace

QString Table::cell(qsizetype row, qsizetype column) const
{
    const qsizetype width = header.size();
    if (row < 0 || row >= rowCount() || column < 0 || column >= width)
        return QString();
    const qsizetype i = row * width + column;
    QByteArrayView bytes(m_text.constData() + (i ? m_ends[i - 1] : 0), m_text.constData() + m_ends[i]);
    if (!bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(bytes);
    // fromUtf8() drops a byte order mark at the start, which is text here.
    QString marks;
    while (bytes.startsWith("\xEF\xBB\xBF")) {
        marks += QChar(0xFEFF);
        bytes = bytes.sliced(3);
    }
    return marks + QString::fromUtf8(bytes);
}

QStringList Table::cells(qsizetype row) const
{
    QStringList out;
    out.reserve(header.size());
    for (qsizetype c = 0; c < header.size(); ++c)
        out << cell(row, c);
    return out;
}

Table Read(QByteArrayView data, const Options &options)
{
    if (data.size() > kMaxFileBytes)
        return refuse(QStringLiteral("The file is larger than %1 MiB.").arg(kMaxFileBytes / (1024 * 1024)));
    if (options.delimiter.unicode() >= 0x80 || options.delimiter == u'"' || options.delimiter == u'\r' ||
        options.delimiter == u'\n')
        return refuse(QStringLiteral("\"%1\" cannot be the delimiter.").arg(options.delimiter));
    const Decoded decoded = decode(data, options.encoding);
    if (!decoded.refused.isEmpty())
        return refuse(decoded.refused);
    QByteArrayView text = decoded.text;
    if (text.trimmed().isEmpty())
        return refuse(QStringLiteral("The file is empty."));
    if (looksBinary(text))
        return refuse(QStringLiteral("The file holds binary data, not text."));

    Table t;
    t.encoding = decoded.encoding;
    int line = 1;
    char delimiter = char(options.delimiter.unicode());
    if (!delimiter) {
        // "sep=;" on a line of its own names the delimiter.
        if (text.size() >= 5 && text.first(4).compare("sep=", Qt::CaseInsensitive) == 0 && uchar(text[4]) < 0x80 &&
            text[4] != '"' && text[4] != '\r' && text[4] != '\n' && text[4] != 0 &&
            (text.size() == 5 || text[5] == '\r' || text[5] == '\n')) {
            delimiter = text[4];
            qsizetype skip = 5;
            if (skip < text.size() && text[skip] == '\r')
                ++skip;
            if (skip < text.size() && text[skip] == '\n')
                ++skip;
            text = text.sliced(skip);
            line = 2;
        } else {
            qsizetype start = 0; // the header is the first line with text
            while (start < text.size() && QChar::isSpace(uchar(text[start])))
                ++start;
            delimiter = sniffDelimiter(text.sliced(start));
        }
    }
    t.delimiter = QLatin1Char(delimiter);

    Parser parser(text, delimiter, line);
    QByteArray out;
    QList<quint32> ends;
    Record r;
    for (;;) { // the header is the first record with text
        out.clear();
        ends.clear();
        r = parser.next(out, ends, kMaxColumns + 1);
        if (parser.atEnd() || r.unterminated || r.tooBig || !isBlank(out))
            break;
    }
    if (r.unterminated)
        return refuse(QStringLiteral("The quote opened in the header line (line %1) is never closed.").arg(r.line));
    if (r.count > kMaxColumns)
        return refuse(QStringLiteral("The file has more than %1 columns.").arg(kMaxColumns));
    if (r.tooBig)
        return refuse(QStringLiteral("A name in the header line is larger than 1 MiB."));
    if (isBlank(out))
        return refuse(QStringLiteral("The file is empty."));
    for (qsizetype i = 0, from = 0; i < ends.size(); from = ends[i++]) {
        QString name = QString::fromUtf8(out.constData() + from, ends[i] - from).trimmed();
        while (i == 0 && name.startsWith(QChar(0xFEFF))) // more byte order marks
            name = name.mid(1).trimmed();
        t.header << name;
    }
    t.headerLine = r.line;

    const qsizetype width = t.header.size();
    out.clear();
    out.reserve(text.size() - parser.offset());
    ends.clear();
    bool sawRecord = false;
    // Work spent again after unclosed quotes, so that many of them cannot
    // make reading quadratic.
    qsizetype rescanBudget = 2 * text.size();
    while (!parser.atEnd()) {
        const qsizetype start = parser.offset(), mark = out.size(), endsMark = ends.size();
        r = parser.next(out, ends, width);
        // Text only beyond the header's width gives no row either, but is told.
        const bool blank = isBlank(QByteArrayView(out).sliced(mark));
        if (r.unterminated || r.tooBig || blank) {
            out.truncate(mark);
            ends.resize(endsMark);
        }
        if (r.unterminated) {
            sawRecord = true;
            const bool again = rescanBudget > 0;
            t.problems << Problem{r.line, again ? QStringLiteral("A quote opened here is never closed: the row is skipped.")
                                                : QStringLiteral("A quote opened here is never closed: the rest of the file is skipped.")};
            if (!again)
                break;
            parser.restartAfter(start, r.line);
            rescanBudget -= parser.remaining();
            continue;
        }
        if (r.tooBig) {
            sawRecord = true;
            t.problems << Problem{r.line, QStringLiteral("A cell is larger than 1 MiB: the row is skipped.")};
            continue;
        }
        if (r.extraText) {
            t.problems << Problem{r.line, QStringLiteral("The row has %1 cells, the header %2: the cells beyond are left out.")
                                              .arg(r.count)
                                              .arg(width)};
            sawRecord = true;
        }
        if (blank)
            continue;
        sawRecord = true;
        while (ends.size() < endsMark + width) // a short row: empty cells
            ends.append(quint32(out.size()));
        if (ends.size() > kMaxCells)
            return refuse(QStringLiteral("The file is too large: it has more than %1 cells.").arg(kMaxCells));
        t.m_lines.append(r.line);
    }
    if (!sawRecord)
        return refuse(QStringLiteral("The file has a header line but no rows."));
    t.m_text = std::move(out);
    t.m_ends = std::move(ends);
    return t;
}

Table ReadFile(const QString &path, const Options &options)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return refuse(QStringLiteral("The file cannot be read: %1").arg(f.errorString()));
    if (f.size() > kMaxFileBytes)
        return refuse(QStringLiteral("The file is larger than %1 MiB.").arg(kMaxFileBytes / (1024 * 1024)));
    return Read(f.readAll(), options);
}

Writer::Writer(QChar delimiter, bool byteOrderMark) : m_delimiter(delimiter)
{
    if (byteOrderMark)
        m_out = "\xEF\xBB\xBF";
}

void Writer::row(const QStringList &cells)
{
    const char16_t delimiter = m_delimiter.unicode();
    for (qsizetype i = 0; i < cells.size(); ++i) {
        const QString &cell = cells[i];
        if (i)
            appendUtf8(QStringView(&delimiter, 1));
        if (cell.isEmpty())
            continue;
        bool quote = cell.front() == u' ' || cell.front() == u'\t' || cell.back() == u' ' || cell.back() == u'\t';
        bool quotes = false;
        for (const QChar c : cell) {
            const char16_t u = c.unicode();
            if (u == delimiter || u == u'"' || u == u'\r' || u == u'\n') {
                quote = true;
                quotes = quotes || u == u'"';
            }
        }
        if (!quote) {
            appendUtf8(cell);
            continue;
        }
        m_out += '"';
        if (quotes) {
            QString doubled = cell;
            doubled.replace(u'"', QLatin1String("\"\""));
            appendUtf8(doubled);
        } else {
            appendUtf8(cell);
        }
        m_out += '"';
    }
    m_out += "\r\n";
}

// Appends the text as UTF-8 without a converted copy of it.
void Writer::appendUtf8(QStringView text)
{
    const char16_t *p = text.utf16();
    const qsizetype n = text.size();
    qsizetype i = 0;
    while (i < n && p[i] < 0x80)
        ++i;
    const qsizetype at = m_out.size();
    m_out.resize(at + i);
    char *o = m_out.data() + at;
    for (qsizetype k = 0; k < i; ++k)
        o[k] = char(p[k]);
    if (i < n)
        m_out += text.sliced(i).toUtf8();
}

QByteArray Writer::take()
{
    return std::exchange(m_out, QByteArray());
}

} // namespace Csv
