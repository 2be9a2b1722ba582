#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <atomic>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

class Connection;

// The initial letters of one column and the distinct values of another, for
// the navigation tree, gathered in one walk through the table without a text
// made per row. Null and empty values give nothing; "a" and "A" are two
// letters. Each statement's errors are suppressed: what it gave so far stays.
class TreeValues
{
public:
    // Either column may be empty: that side is left out. A set `cancel` ends
    // the walk before the next row (it may be set from another thread).
    void collect(Connection &cn, const QString &letterColumn, const QString &categoryColumn,
                 const std::atomic<bool> *cancel = nullptr);

    // In the order first met.
    QStringList letters() const;
    QStringList categories() const;

private:
    struct Hash
    {
        size_t operator()(std::string_view v) const noexcept;
    };
    void addLetter(QByteArrayView letter);
    void addCategory(QByteArrayView value);

    bool m_seenByte[256] = {};
    std::vector<quint32> m_seenWide;
    std::vector<QByteArray> m_letters;
    std::deque<std::string> m_categories; // stable addresses for the views below
    std::unordered_set<std::string_view, Hash> m_seenCategories;
    std::string_view m_lastCategory;
};
