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

TreeValues::TreeValues()
{
    std::fill(std::begin(m_byteLetter), std::end(m_byteLetter), -1);
}

QString TreeValues::LetterOf(const QString &value)
{
    if (value.isEmpty())
        return QString();
    return value.left(value.at(0).isHighSurrogate() && value.size() > 1 ? 2 : 1);
}

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

QHash<QString, int> TreeValues::letterCounts() const
{
    QHash<QString, int> out;
    for (size_t i = 0; i < m_letters.size(); ++i)
        out[QString::fromUtf8(m_letters[i])] += m_letterCounts[i];
    return out;
}

QHash<QString, int> TreeValues::categoryCounts() const
{
    QHash<QString, int> out;
    size_t i = 0;
    for (const std::string &value : m_categories)
        out[QString::fromUtf8(value.data(), qsizetype(value.size()))] += m_categoryCounts[i++];
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
    int *index = nullptr;
    if (letter.size() == 1) {
        index = &m_byteLetter[static_cast<unsigned char>(letter.at(0))];
    } else {
        quint32 code = 0;
        std::memcpy(&code, letter.data(), size_t(letter.size()));
        auto seen = std::find_if(m_wideLetters.begin(), m_wideLetters.end(),
                                 [code](const std::pair<quint32, int> &p) { return p.first == code; });
        if (seen == m_wideLetters.end()) {
            m_wideLetters.emplace_back(code, -1);
            seen = m_wideLetters.end() - 1;
        }
        index = &seen->second;
    }
    if (*index < 0) {
        *index = int(m_letters.size());
        m_letters.push_back(letter.toByteArray());
        m_letterCounts.push_back(0);
    }
    ++m_letterCounts[size_t(*index)];
}

void TreeValues::addCategory(QByteArrayView value)
{
    if (value.isEmpty())
        return;
    const std::string_view v(value.data(), size_t(value.size()));
    // Books hold few categories, mostly repeated: the last one seen is checked
    // first, then the map.
    if (m_lastCategoryIndex < 0 || v != m_lastCategory) {
        const auto seen = m_categoryIndex.find(v);
        if (seen != m_categoryIndex.end()) {
            m_lastCategory = seen->first;
            m_lastCategoryIndex = seen->second;
        } else {
            m_categories.emplace_back(v);
            m_categoryCounts.push_back(0);
            m_lastCategoryIndex = int(m_categories.size() - 1);
            m_lastCategory = m_categories.back();
            m_categoryIndex.emplace(m_lastCategory, m_lastCategoryIndex);
        }
    }
    ++m_categoryCounts[size_t(m_lastCategoryIndex)];
}
