#include "store/SqlLike.h"

#include <QByteArrayView>
#include <QList>

#include <sqlite3.h>

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
    Shape shape = Shape::General;
    bool asciiTokens = true;    // every literal token is ASCII
    char32_t escape = 0;
    bool hasEscape = false;
};

inline unsigned char foldAscii(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? c + 32 : c;
}

bool isAscii(const unsigned char *p, size_t n)
{
    size_t i = 0;
    for (; i + 8 <= n; i += 8) {
        quint64 w;
        std::memcpy(&w, p + i, 8);
        if (w & 0x8080808080808080ULL)
            return false;
    }
    for (; i < n; ++i) {
        if (p[i] & 0x80)
            return false;
    }
    return true;
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
    if (cp.asciiTokens && isAscii(text, len)) {
        thread_local std::string buffer;
        buffer.resize(len);
        for (size_t i = 0; i < len; ++i)
            buffer[i] = char(foldAscii(text[i]));
        const std::string_view view(buffer);
        if (cp.shape == Shape::Contains && !cp.asciiLiteral.empty()) {
            return memmem(buffer.data(), len, cp.asciiLiteral.data(), cp.asciiLiteral.size()) != nullptr;
        }
        return matchShape(cp, view, cp.asciiLiteral.data(), cp.asciiLiteral.size());
    }
    const std::u32string folded =
        foldedUcs4(QString::fromUtf8(reinterpret_cast<const char *>(text), qsizetype(len)));
    return matchShape(cp, std::u32string_view(folded), cp.wideLiteral.data(), cp.wideLiteral.size());
}

void destroyPattern(void *p)
{
    delete static_cast<CompiledPattern *>(p);
}

void likeFunction(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    bool hasEscape = false;
    char32_t escape = 0;
    if (argc == 3) {
        const auto *e = sqlite3_value_text(argv[2]);
        if (!e)
            return; // NULL escape: NULL result
        const QString es = QString::fromUtf8(reinterpret_cast<const char *>(e));
        const QList<uint> ucs = es.toUcs4();
        if (ucs.size() != 1) {
            sqlite3_result_error(ctx, "ESCAPE expression must be a single character", -1);
            return;
        }
        hasEscape = true;
        escape = char32_t(ucs.first());
    }
    const auto *pat = sqlite3_value_text(argv[0]);
    const int patLen = sqlite3_value_bytes(argv[0]);
    const auto *txt = sqlite3_value_text(argv[1]);
    const int txtLen = sqlite3_value_bytes(argv[1]);
    if (!pat || !txt)
        return; // NULL in, NULL out

    auto *cp = static_cast<CompiledPattern *>(sqlite3_get_auxdata(ctx, 0));
    if (!cp || cp->hasEscape != hasEscape || cp->escape != escape) {
        cp = new CompiledPattern(
            compile(QString::fromUtf8(reinterpret_cast<const char *>(pat), patLen), hasEscape, escape));
        sqlite3_set_auxdata(ctx, 0, cp, destroyPattern);
        cp = static_cast<CompiledPattern *>(sqlite3_get_auxdata(ctx, 0));
        if (!cp) {
            // Not cacheable (a pattern that varies per row): compile for this call only.
            const CompiledPattern once =
                compile(QString::fromUtf8(reinterpret_cast<const char *>(pat), patLen), hasEscape, escape);
            sqlite3_result_int(ctx, matches(once, txt, size_t(txtLen)) ? 1 : 0);
            return;
        }
    }
    sqlite3_result_int(ctx, matches(*cp, txt, size_t(txtLen)) ? 1 : 0);
}

} // namespace

void RegisterLike(sqlite3 *db)
{
    const int flags = SQLITE_UTF8 | SQLITE_DETERMINISTIC | SQLITE_INNOCUOUS;
    sqlite3_create_function_v2(db, "like", 2, flags, nullptr, likeFunction, nullptr, nullptr, nullptr);
    sqlite3_create_function_v2(db, "like", 3, flags, nullptr, likeFunction, nullptr, nullptr, nullptr);
}

bool LikeMatches(const QString &pattern, const QString &text, QChar escape)
{
    const CompiledPattern cp = compile(pattern, !escape.isNull(), char32_t(escape.unicode()));
    const QByteArray bytes = text.toUtf8();
    return matches(cp, reinterpret_cast<const unsigned char *>(bytes.constData()), size_t(bytes.size()));
}
