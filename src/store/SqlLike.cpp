#include "store/SqlLike.h"

#include "store/TextMatch.h"

#include <QByteArrayView>
#include <QList>

#include <sqlite3.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace {

// Pattern tokens: a literal code point (>= 0), any run, or exactly one character.
constexpr int kAnyRun = -1;
constexpr int kOne = -2;
constexpr int kNever = 0x110000; // beyond every code point

enum class Shape { Equals, Prefix, Contains, AnyNonNull, General };

struct CompiledPattern
{
    std::vector<int> tokens;    // case-folded
    std::string asciiLiteral;   // the literal of the simple shapes, folded, when ASCII
    std::u32string wideLiteral; // the same for non-ASCII texts
    std::string utf8Literal;    // the literal as UTF-8 (for text folded beforehand)
    Shape shape = Shape::General;
    bool asciiTokens = true;    // every literal token is ASCII
    char32_t escape = 0;
    bool hasEscape = false;
};

inline unsigned char foldAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

std::u32string foldedUcs4(QStringView text)
{
    const QList<uint> ucs = text.toString().toCaseFolded().toUcs4();
    return std::u32string(ucs.begin(), ucs.end());
}

CompiledPattern compile(QStringView pattern, bool hasEscape, char32_t escape)
{
    CompiledPattern cp;
    cp.hasEscape = hasEscape;
    cp.escape = escape;
    const std::u32string chars = [&] {
        const QList<uint> ucs = pattern.toString().toUcs4();
        return std::u32string(ucs.begin(), ucs.end());
    }();
    for (size_t i = 0; i < chars.size(); ++i) {
        const char32_t c = chars[i];
        if (hasEscape && c == escape) {
            if (i + 1 < chars.size()) {
                ++i;
                cp.tokens.push_back(int(chars[i]));
            }
            else {
                // A trailing escape matches nothing, as in the engine.
                cp.tokens.push_back(kNever);
            }
            continue;
        }
        if (c == U'%') {
            if (cp.tokens.empty() || cp.tokens.back() != kAnyRun)
                cp.tokens.push_back(kAnyRun);
        } else if (c == U'_') {
            cp.tokens.push_back(kOne);
        } else {
            cp.tokens.push_back(int(c));
        }
    }
    // Fold the literals (one code point may fold to several).
    std::vector<int> folded;
    folded.reserve(cp.tokens.size());
    for (int t : cp.tokens) {
        if (t < 0 || t >= 0x110000) {
            folded.push_back(t);
            continue;
        }
        const char32_t one = char32_t(t);
        const std::u32string f = foldedUcs4(QString::fromUcs4(&one, 1));
        for (char32_t fc : f)
            folded.push_back(int(fc));
    }
    cp.tokens = std::move(folded);
    for (int t : cp.tokens) {
        if (t >= 0x80)
            cp.asciiTokens = false;
    }

    // Recognise the shapes the program issues: 'x%', '%x%', plain text.
    const auto &tk = cp.tokens;
    const size_t n = tk.size();
    auto literalRun = [&](size_t from, size_t to) {
        for (size_t i = from; i < to; ++i) {
            if (tk[i] < 0)
                return false;
        }
        return true;
    };
    size_t from = 0, to = n;
    if (n == 1 && tk[0] == kAnyRun) {
        cp.shape = Shape::AnyNonNull;
        return cp;
    }
    if (n >= 2 && tk[0] == kAnyRun && tk[n - 1] == kAnyRun && literalRun(1, n - 1)) {
        cp.shape = Shape::Contains;
        from = 1;
        to = n - 1;
    } else if (n >= 1 && tk[n - 1] == kAnyRun && literalRun(0, n - 1)) {
        cp.shape = Shape::Prefix;
        to = n - 1;
    } else if (literalRun(0, n)) {
        cp.shape = Shape::Equals;
    } else {
        cp.shape = Shape::General;
        return cp;
    }
    for (size_t i = from; i < to; ++i) {
        cp.wideLiteral.push_back(char32_t(tk[i]));
        if (cp.asciiTokens)
            cp.asciiLiteral.push_back(char(tk[i]));
    }
    cp.utf8Literal = QString::fromUcs4(cp.wideLiteral.data(), qsizetype(cp.wideLiteral.size())).toStdString();
    return cp;
}

template <typename Ch>
bool matchTokens(const std::vector<int> &tk, const Ch *s, size_t n)
{
    size_t ti = 0, pi = 0, mark = 0;
    ptrdiff_t star = -1;
    const size_t m = tk.size();
    while (ti < n) {
        if (pi < m && (tk[pi] == kOne || (tk[pi] >= 0 && char32_t(tk[pi]) == char32_t(s[ti])))) {
            ++pi;
            ++ti;
        } else if (pi < m && tk[pi] == kAnyRun) {
            star = ptrdiff_t(pi++);
            mark = ti;
        } else if (star >= 0) {
            pi = size_t(star) + 1;
            ti = ++mark;
        } else {
            return false;
        }
    }
    while (pi < m && tk[pi] == kAnyRun)
        ++pi;
    return pi == m;
}

template <typename View>
bool matchShape(const CompiledPattern &cp, View text, const typename View::value_type *lit, size_t litLen)
{
    const View literal(lit, litLen);
    switch (cp.shape) {
    case Shape::AnyNonNull:
        return true;
    case Shape::Equals:
        return text == literal;
    case Shape::Prefix:
        return text.size() >= litLen && text.substr(0, litLen) == literal;
    case Shape::Contains:
        return text.find(literal) != View::npos;
    case Shape::General:
        return matchTokens(cp.tokens, text.data(), text.size());
    }
    return false;
}

bool matches(const CompiledPattern &cp, const unsigned char *text, size_t len)
{
    if (cp.shape == Shape::AnyNonNull)
        return true;
    const char *chars = reinterpret_cast<const char *>(text);
    if (cp.asciiTokens && cp.shape != Shape::General) {
        // An ASCII literal is looked for in the bytes themselves, A to Z folded
        // on the way: no copy, no conversion. Only a value that holds a letter
        // folding to ASCII from beyond it is folded whole.
        const TextMatch::Anchor anchor = cp.shape == Shape::Equals   ? TextMatch::Anchor::Whole
                                         : cp.shape == Shape::Prefix ? TextMatch::Anchor::Start
                                                                     : TextMatch::Anchor::Anywhere;
        const TextMatch::Verdict v =
            TextMatch::MatchAsciiFolded(anchor, chars, len, cp.asciiLiteral.data(), cp.asciiLiteral.size());
        if (v != TextMatch::Verdict::FoldWhole)
            return v == TextMatch::Verdict::Yes;
    } else if (!cp.asciiTokens && TextMatch::IsAscii(chars, len)) {
        // A letter beyond ASCII in the pattern never meets folded ASCII text.
        return false;
    } else if (cp.asciiTokens && TextMatch::IsAscii(chars, len)) {
        thread_local std::string buffer;
        buffer.resize(len);
        for (size_t i = 0; i < len; ++i)
            buffer[i] = char(foldAscii(text[i]));
        return matchShape(cp, std::string_view(buffer), cp.asciiLiteral.data(), cp.asciiLiteral.size());
    }
    const std::u32string folded =
        foldedUcs4(QString::fromUtf8(chars, qsizetype(len)));
    return matchShape(cp, std::u32string_view(folded), cp.wideLiteral.data(), cp.wideLiteral.size());
}

// The last pattern and escape seen on this thread, compiled. A statement's
// LIKE terms share one pattern (the search puts the same text in all nine), so
// one entry answers nearly every call; a pattern that changes per row is
// compiled afresh each time, as it would be anyway.
struct PatternCache
{
    std::string patternBytes;
    bool hasEscape = false;
    char32_t escape = 0;
    bool valid = false;
    CompiledPattern compiled;

    std::string escapeBytes;
    bool escapeKnown = false;
    bool escapeValid = false;
    char32_t escapeChar = 0;
};

inline bool sameBytes(const std::string &a, const char *b, size_t n)
{
    if (a.size() != n)
        return false;
    for (size_t i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return false;
    }
    return true;
}

PatternCache &cache()
{
    thread_local PatternCache c;
    return c;
}

// The escape character, or false when the text is not a single character.
bool decodeEscape(const char *e, char32_t &out)
{
    PatternCache &c = cache();
    const size_t n = std::strlen(e);
    if (!c.escapeKnown || c.escapeBytes.size() != n || std::memcmp(c.escapeBytes.data(), e, n) != 0) {
        const QList<uint> ucs = QString::fromUtf8(e, qsizetype(n)).toUcs4();
        c.escapeBytes.assign(e, n);
        c.escapeKnown = true;
        c.escapeValid = ucs.size() == 1;
        c.escapeChar = c.escapeValid ? char32_t(ucs.first()) : 0;
    }
    out = c.escapeChar;
    return c.escapeValid;
}

const CompiledPattern &compiledPattern(const char *pat, int patLen, bool hasEscape, char32_t escape)
{
    PatternCache &c = cache();
    const size_t n = size_t(patLen);
    if (!c.valid || c.hasEscape != hasEscape || c.escape != escape || !sameBytes(c.patternBytes, pat, n)) {
        c.valid = false;
        c.compiled = compile(QString::fromUtf8(pat, patLen), hasEscape, escape);
        c.patternBytes.assign(pat, n);
        c.hasEscape = hasEscape;
        c.escape = escape;
        c.valid = true;
    }
    return c.compiled;
}

void likeFunction(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    bool hasEscape = false;
    char32_t escape = 0;
    if (argc == 3) {
        const auto *e = sqlite3_value_text(argv[2]);
        if (!e)
            return; // NULL escape: NULL result
        if (!decodeEscape(reinterpret_cast<const char *>(e), escape)) {
            sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
            return;
        }
        hasEscape = true;
    }
    const auto *pat = sqlite3_value_text(argv[0]);
    const int patLen = sqlite3_value_bytes(argv[0]);
    const auto *txt = sqlite3_value_text(argv[1]);
    const int txtLen = sqlite3_value_bytes(argv[1]);
    if (!pat || !txt)
        return; // NULL in, NULL out
    const CompiledPattern &cp = compiledPattern(reinterpret_cast<const char *>(pat), patLen, hasEscape, escape);
    sqlite3_result_int(ctx, matches(cp, txt, size_t(txtLen)) ? 1 : 0);
}

// One column of text folded beforehand: its bytes are compared as they are.
bool matchesFolded(const CompiledPattern &cp, std::string_view column)
{
    const std::string_view literal(cp.utf8Literal);
    switch (cp.shape) {
    case Shape::AnyNonNull:
        return true;
    case Shape::Equals:
        return column == literal;
    case Shape::Prefix:
        return column.substr(0, literal.size()) == literal;
    case Shape::Contains:
        return column.find(literal) != std::string_view::npos;
    case Shape::General:
        break;
    }
    const std::u32string wide = [&] {
        const QList<uint> ucs = QString::fromUtf8(column.data(), qsizetype(column.size())).toUcs4();
        return std::u32string(ucs.begin(), ucs.end());
    }();
    return matchTokens(cp.tokens, wide.data(), wide.size());
}

// folded_like(pattern, folded, column): the folded columns are separated by
// U+001F; `column` picks one (0, 1, ...) or, when negative, any.
void foldedLikeFunction(sqlite3_context *ctx, int, sqlite3_value **argv)
{
    const auto *pat = sqlite3_value_text(argv[0]);
    const int patLen = sqlite3_value_bytes(argv[0]);
    const auto *txt = sqlite3_value_text(argv[1]);
    const int txtLen = sqlite3_value_bytes(argv[1]);
    if (!pat || !txt)
        return;
    const CompiledPattern &cp = compiledPattern(reinterpret_cast<const char *>(pat), patLen, false, 0);
    const std::string_view text(reinterpret_cast<const char *>(txt), size_t(txtLen));
    const sqlite3_int64 wanted = sqlite3_value_int64(argv[2]);
    // A literal never holds the separator, so an occurrence anywhere is one
    // inside a column.
    if (wanted < 0 && cp.shape == Shape::Contains) {
        sqlite3_result_int(ctx, text.find(cp.utf8Literal) != std::string_view::npos);
        return;
    }
    sqlite3_int64 column = 0;
    size_t from = 0;
    for (;;) {
        const size_t end = std::min(text.find('\x1f', from), text.size());
        if (wanted < 0 || column == wanted) {
            if (matchesFolded(cp, text.substr(from, end - from))) {
                sqlite3_result_int(ctx, 1);
                return;
            }
            if (column == wanted)
                break;
        }
        if (end >= text.size())
            break;
        from = end + 1;
        ++column;
    }
    sqlite3_result_int(ctx, 0);
}

} // namespace

void RegisterLike(sqlite3 *db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    sqlite3_create_function_v2(db, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "like", 3, flags, nullptr, likeFunction, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "folded_like", 3, flags, nullptr, foldedLikeFunction, nullptr, nullptr, nullptr);
}

bool LikeMatches(const QString &pattern, const QString &text, QChar escape)
{
    const CompiledPattern cp = compile(pattern, !escape.isNull(), char32_t(escape.unicode()));
    const QByteArray bytes = text.toUtf8();
    return matches(cp, reinterpret_cast<const unsigned char *>(bytes.constData()), size_t(bytes.size()));
}
