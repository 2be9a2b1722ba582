#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class Connection;

// The initial letters of one column and the distinct values of another, with
// how many contacts have each, for the navigation tree: gathered in one walk
// through the table without a text made per row. Null and empty values give
// nothing; "a" and "A" are two letters. Each statement's errors are
// suppressed: what it gave so far stays.
class TreeValues
{
public:
    TreeValues();
    // Either column may be empty: that side is left out. A set `cancel` ends
    // the walk before the next row (it may be set from another thread).
    void collect(Connection &cn, const QString &letterColumn, const QString &categoryColumn,
                 const std::atomic<bool> *cancel = nullptr);

    // In the order first met.
    QStringList letters() const;
    QStringList categories() const;
    // Each letter or category with the number of contacts that have it.
    QHash<QString, int> letterCounts() const;
    QHash<QString, int> categoryCounts() const;

    // The letter a value gives: its first character (one code point).
    static QString LetterOf(const QString &value);

private:
    struct Hash
    {
        size_t operator()(std::string_view v) const noexcept;
    };
    void addLetter(QByteArrayView letter);
    void addCategory(QByteArrayView value);

    int m_byteLetter[256]; // index into m_letters, -1 when not seen
    std::vector<std::pair<quint32, int>> m_wideLetters; // code bytes, index
    std::vector<QByteArray> m_letters;
    std::vector<int> m_letterCounts;
    std::deque<std::string> m_categories; // stable addresses for the views below
    std::vector<int> m_categoryCounts;
    std::unordered_map<std::string_view, int, Hash> m_categoryIndex;
    std::string_view m_lastCategory;
    int m_lastCategoryIndex = -1;
};
