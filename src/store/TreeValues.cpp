#include "store/TreeValues.h"

#include "store/Recordset.h"
#include "store/Statements.h"
#include "store/StoreError.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

// The first character of a UTF-8 value: one code point, never half of one.
QByteArrayView firstCharacter(QByteArrayView v)
{
    if (v.isEmpty())
        return v;
    const auto lead = static_cast<unsigned char>(v.at(0));
    qsizetype len = 1;
    if (lead >= 0xF0)
        len = 4;
    else if (lead >= 0xE0)
        len = 3;
    else if (lead >= 0xC0)
        len = 2;
    return v.first(qMin(len, v.size()));
}

bool openQuietly(Recordset &rs, const QString &statement)
{
    try {
        rs.open(statement);
        return true;
    } catch (const StoreError &) {
        return false;
    }
}

// Takes the current row's value (null values are skipped) and moves on;
// false once the statement has ended or failed.
template <typename Take>
bool stepQuietly(Recordset &rs, Take take)
{
    try {
        if (rs.atEnd())
            return false;
        const QByteArrayView v = rs.utf8(0);
        if (v.data())
            take(v);
        rs.moveNext();
        return true;
    } catch (const StoreError &) {
        return false;
    }
}

} // namespace

// FNV-1a: short texts hash in a few cycles.
size_t TreeValues::Hash::operator()(std::string_view v) const noexcept
{
    uint64_t h = 1469598103934665603ULL;
    for (const char c : v)
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ULL;
    return size_t(h);
}

void TreeValues::collect(Connection &cn, const QString &letterColumn, const QString &categoryColumn,
                         const std::atomic<bool> *cancel)
{
    // The two statements step side by side over the same pages.
    Recordset letters(cn);
    Recordset categories(cn);
    bool lettersLive = !letterColumn.isEmpty() && openQuietly(letters, Statements::ColumnValues(letterColumn));
    bool categoriesLive =
        !categoryColumn.isEmpty() && openQuietly(categories, Statements::ColumnValues(categoryColumn));
    while ((lettersLive || categoriesLive) && !(cancel && cancel->load(std::memory_order_relaxed))) {
        if (lettersLive)
            lettersLive = stepQuietly(letters, [this](QByteArrayView v) { addLetter(firstCharacter(v)); });
        if (categoriesLive)
            categoriesLive = stepQuietly(categories, [this](QByteArrayView v) { addCategory(v); });
    }
}

QStringList TreeValues::letters() const
{
    QStringList out;
    for (const QByteArray &letter : m_letters)
        out << QString::fromUtf8(letter);
    return out;
}

QStringList TreeValues::categories() const
{
    QStringList out;
    for (const std::string &value : m_categories)
        out << QString::fromUtf8(value.data(), qsizetype(value.size()));
    return out;
}

void TreeValues::addLetter(QByteArrayView letter)
{
    if (letter.isEmpty())
        return;
    if (letter.size() == 1) {
        const auto byte = static_cast<unsigned char>(letter.at(0));
        if (m_seenByte[byte])
            return;
        m_seenByte[byte] = true;
    } else {
        quint32 code = 0;
        std::memcpy(&code, letter.data(), size_t(letter.size()));
        if (std::find(m_seenWide.begin(), m_seenWide.end(), code) != m_seenWide.end())
            return;
        m_seenWide.push_back(code);
    }
    m_letters.push_back(letter.toByteArray());
}

void TreeValues::addCategory(QByteArrayView value)
{
    if (value.isEmpty())
        return;
    const std::string_view v(value.data(), size_t(value.size()));
    // Books hold few categories, mostly repeated: the last one seen is checked
    // first, then the set.
    if (v == m_lastCategory)
        return;
    const auto seen = m_seenCategories.find(v);
    if (seen != m_seenCategories.end()) {
        m_lastCategory = *seen;
        return;
    }
    m_categories.emplace_back(v);
    m_seenCategories.insert(m_categories.back());
    m_lastCategory = m_categories.back();
}
