#include "duplicates/Finder.h"

#include "duplicates/Phone.h"
#include "sqlite/Statement.h"
#include "store/Connection.h"
#include "store/Folding.h"
#include "store/ItemList.h"

#include <QHash>

#include <sqlite3.h>

#include <algorithm>
#include <numeric>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Duplicates {
namespace {

// What joined the contacts of a group.
enum Hint : unsigned {
    SameName = 1,
    SameMail = 2,
    SamePhone = 4,
    OneLetter = 8,       // names one letter apart, with one of:
    OneLetterMail = 16,
    OneLetterPhone = 32,
    OneLetterCompany = 64,
};

struct Person
{
    qint64 id = 0;
    QString name;             // folded "first last", for the one-letter test
    int nameId = -1;          // the same, interned
    std::vector<int> mails;   // keys
    std::vector<int> phones;  // indexes of distinct numbers as written, then keys
    int company = -1;
};

class Interned
{
public:
    int id(const QString &key)
    {
        const auto it = m_ids.constFind(key);
        if (it != m_ids.constEnd())
            return *it;
        const int next = int(m_ids.size());
        m_ids.insert(key, next);
        m_keys.append(key);
        return next;
    }
    int size() const { return int(m_keys.size()); }
    const QStringList &keys() const { return m_keys; }

private:
    QHash<QString, int> m_ids;
    QStringList m_keys;
};

struct UnionFind
{
    std::vector<int> parent;
    std::vector<unsigned> hints;
    explicit UnionFind(int n) : parent(size_t(n)), hints(size_t(n), 0) { std::iota(parent.begin(), parent.end(), 0); }
    int find(int x)
    {
        while (parent[size_t(x)] != x)
            x = parent[size_t(x)] = parent[size_t(parent[size_t(x)])];
        return x;
    }
    void join(int a, int b, unsigned hint)
    {
        a = find(a);
        b = find(b);
        if (a != b) {
            if (a > b)
                std::swap(a, b);
            parent[size_t(b)] = a;
            hints[size_t(a)] |= hints[size_t(b)];
        }
        hints[size_t(a)] |= hint;
    }
};

// Joins every contact of each key that more than one contact has.
void joinShared(UnionFind &uf, const std::vector<std::vector<int>> &byKey, unsigned hint)
{
    for (const std::vector<int> &members : byKey)
        for (size_t i = 1; i < members.size(); ++i)
            uf.join(members[0], members[i], hint);
}

bool oneEditApart(QStringView a, QStringView b)
{
    if (a.size() > b.size())
        std::swap(a, b);
    if (b.size() - a.size() > 1)
        return false;
    qsizetype i = 0;
    while (i < a.size() && a[i] == b[i])
        ++i;
    if (a.size() == b.size())
        return i < a.size() && a.sliced(i + 1) == b.sliced(i + 1);
    return a.sliced(i) == b.sliced(i + 1);
}

constexpr quint64 kBase = 0x100000001B3ull;

quint64 mix(quint64 x)
{
    x ^= x >> 31;
    x *= 0x7FB5D329728EA185ull;
    x ^= x >> 27;
    x *= 0x81DADEF4BC2DD44Dull;
    return x ^ (x >> 33);
}

// Names one letter apart that share a context (a company, a mail address, a
// phone number): both give the same text once one letter is taken out of one
// or both. Each name's variants are hashed in O(length) (polynomial hashes of
// prefix and suffix), sorted, and the names of equal hashes checked exactly.
void joinOneLetterApart(UnionFind &uf, const std::vector<Person> &people, const std::vector<std::vector<int>> &mails,
                        const std::vector<std::vector<int>> &phones, const std::vector<std::vector<int>> &companies)
{
    std::vector<std::pair<quint64, int>> variants;
    std::vector<quint64> suffix, powers;
    std::vector<int> members;
    auto add = [&](int person, quint64 context) {
        const QString &s = people[size_t(person)].name;
        const size_t n = size_t(s.size());
        suffix.assign(n + 1, 0);
        powers.assign(n + 1, 1);
        for (size_t k = 1; k <= n; ++k)
            powers[k] = powers[k - 1] * kBase;
        for (size_t i = n; i-- > 0;)
            suffix[i] = s[qsizetype(i)].unicode() * powers[n - 1 - i] + suffix[i + 1];
        const quint64 salt = mix(context + 1);
        variants.emplace_back(mix(suffix[0] ^ salt), person);
        quint64 prefix = 0;
        for (size_t i = 0; i < n; ++i) {
            variants.emplace_back(mix((prefix * powers[n - 1 - i] + suffix[i + 1]) ^ salt), person);
            prefix = prefix * kBase + s[qsizetype(i)].unicode();
        }
    };
    const struct {
        const std::vector<std::vector<int>> &byKey;
        unsigned hint;
    } contexts[] = {{mails, OneLetterMail}, {phones, OneLetterPhone}, {companies, OneLetterCompany}};
    for (const auto &kind : contexts) {
        variants.clear();
        for (size_t key = 0; key < kind.byKey.size(); ++key) {
            if (kind.byKey[key].size() < 2)
                continue;
            // Namesakes are joined already: one of each name is enough.
            members.clear();
            for (int person : kind.byKey[key])
                if (people[size_t(person)].name.size() >= 3)
                    members.push_back(person);
            std::sort(members.begin(), members.end(), [&](int a, int b) {
                return people[size_t(a)].nameId < people[size_t(b)].nameId;
            });
            members.erase(std::unique(members.begin(), members.end(), [&](int a, int b) {
                              return people[size_t(a)].nameId == people[size_t(b)].nameId;
                          }), members.end());
            // A few names (most shared numbers and mails) are cheaper compared pair by pair.
            if (members.size() <= 16) {
                for (size_t i = 0; i < members.size(); ++i)
                    for (size_t j = i + 1; j < members.size(); ++j)
                        if (oneEditApart(people[size_t(members[i])].name, people[size_t(members[j])].name))
                            uf.join(members[i], members[j], OneLetter | kind.hint);
                continue;
            }
            for (int person : members)
                add(person, key);
        }
        std::sort(variants.begin(), variants.end());
        for (size_t from = 0; from < variants.size();) {
            size_t to = from + 1;
            while (to < variants.size() && variants[to].first == variants[from].first)
                ++to;
            for (size_t i = from; i < to; ++i)
                for (size_t j = i + 1; j < to; ++j) {
                    const Person &a = people[size_t(variants[i].second)], &b = people[size_t(variants[j].second)];
                    if (a.nameId != b.nameId && oneEditApart(a.name, b.name))
                        uf.join(variants[i].second, variants[j].second, OneLetter | kind.hint);
                }
            from = to;
        }
    }
}

QString joinWords(const QStringList &words)
{
    if (words.size() < 2)
        return words.value(0);
    return QStringList(words.mid(0, words.size() - 1)).join(QStringLiteral(", ")) + QStringLiteral(" and ") +
           words.last();
}

QString reasonFor(unsigned hints)
{
    QStringList shared;
    if (hints & (SameMail | OneLetterMail))
        shared << QStringLiteral("mail address");
    if (hints & (SamePhone | OneLetterPhone))
        shared << QStringLiteral("phone number");
    if (hints & OneLetterCompany)
        shared << QStringLiteral("company");
    const bool sameName = hints & SameName, oneLetter = hints & OneLetter;
    if (sameName && !oneLetter)
        return shared.isEmpty() ? QStringLiteral("same name only") : QStringLiteral("same name and ") + joinWords(shared);
    QString reason = QStringLiteral("same ") + joinWords(shared);
    if (oneLetter)
        reason = QStringLiteral("names differ by one letter, ") + reason;
    if (sameName && oneLetter)
        reason = QStringLiteral("same name; ") + reason;
    return reason;
}

// Items of a stored list, trimmed, without the empty ones.
QStringList items(QStringView list)
{
    QStringList out;
    if (list.isEmpty())
        return out;
    for (const ItemEntry &e : SplitItemList(list.toString())) {
        const QString item = e.sItem.trimmed();
        if (!item.isEmpty())
            out << item;
    }
    return out;
}

} // namespace

QList<Group> FindDuplicates(Connection &cn, const QString &region, const Progress &progress)
{
    qint64 total = 0;
    {
        Statement count(cn.handle(), "SELECT count(*) FROM Contacts");
        const int rc = count.step();
        if (rc != SQLITE_ROW)
            cn.fail(rc);
        total = count.int64(0);
    }
    // Reading is half the work; reading the phone numbers the other half.
    const qint64 steps = 2 * std::max<qint64>(total, 1);
    auto goOn = [&](qint64 done) { return !progress || progress(std::min(done, steps), steps); };

    std::vector<Person> people;
    people.reserve(size_t(total));
    Interned names, fullNames, mails, numbers, companies;
    std::vector<std::vector<int>> byName, byMail, byCompany;
    auto addTo = [](std::vector<std::vector<int>> &byKey, int key, int person) {
        if (size_t(key) >= byKey.size())
            byKey.resize(size_t(key) + 1);
        byKey[size_t(key)].push_back(person);
    };
    {
        Statement st(cn.handle(), "SELECT ContactID, First_Name, Last_Name, Company, Phones, Mails FROM Contacts "
                                  "ORDER BY ContactID");
        int rc;
        while ((rc = st.step()) == SQLITE_ROW) {
            const int index = int(people.size());
            Person p;
            p.id = st.int64(0);
            const QString first = Fold(st.text(1)).simplified(), last = Fold(st.text(2)).simplified();
            if (!first.isEmpty() || !last.isEmpty()) {
                // Either order of the two parts is the same name.
                const QChar sep(0x1F);
                addTo(byName, names.id(first < last ? first + sep + last : last + sep + first), index);
                p.name = (first + QLatin1Char(' ') + last).trimmed();
                p.nameId = fullNames.id(p.name);
            }
            const QString company = Fold(st.text(3)).simplified();
            if (!company.isEmpty())
                addTo(byCompany, p.company = companies.id(company), index);
            for (const QString &number : items(st.text(4)))
                p.phones.push_back(numbers.id(number.simplified()));
            for (const QString &mail : items(st.text(5))) {
                const int key = mails.id(mail.toCaseFolded());
                if (std::find(p.mails.begin(), p.mails.end(), key) == p.mails.end()) {
                    p.mails.push_back(key);
                    addTo(byMail, key, index);
                }
            }
            people.push_back(std::move(p));
            if ((index & 1023) == 1023 && !goOn(index))
                return {};
        }
        if (rc != SQLITE_DONE)
            cn.fail(rc);
    }
    if (!goOn(total))
        return {};

    // Two numbers that are one number end in the same digits (the subscriber's
    // number, whatever precedes it), so only numbers that share their last
    // seven digits with another are read, each once; a number alone with its
    // ending, or one that cannot be read, is compared by its digits.
    const QStringList &written = numbers.keys();
    std::vector<QString> digitsOf(size_t(written.size()));
    QHash<QString, int> endings;
    for (qsizetype i = 0; i < written.size(); ++i) {
        digitsOf[size_t(i)] = Phone::DialledDigits(written.at(i));
        ++endings[digitsOf[size_t(i)].right(7)];
    }
    QStringList toRead;
    std::vector<qsizetype> readIndex;
    for (qsizetype i = 0; i < written.size(); ++i) {
        if (!digitsOf[size_t(i)].isEmpty() && endings.value(digitsOf[size_t(i)].right(7)) > 1) {
            toRead << written.at(i);
            readIndex.push_back(i);
        }
    }
    std::vector<int> numberKey(size_t(written.size()), -1);
    Interned phoneKeys;
    std::vector<QString> keyOf(size_t(written.size()));
    constexpr qsizetype kChunk = 8192;
    for (qsizetype from = 0; from < toRead.size(); from += kChunk) {
        const QStringList chunk = toRead.mid(from, kChunk);
        const QStringList e164 = Phone::ToE164(chunk, region);
        for (qsizetype i = 0; i < chunk.size(); ++i)
            keyOf[size_t(readIndex[size_t(from + i)])] = e164.at(i);
        if (!goOn(total + total * (from + chunk.size()) / std::max<qsizetype>(toRead.size(), 1)))
            return {};
    }
    for (qsizetype i = 0; i < written.size(); ++i) {
        QString key = keyOf[size_t(i)];
        if (key.isEmpty() && !digitsOf[size_t(i)].isEmpty())
            key = QLatin1Char('#') + digitsOf[size_t(i)];
        if (!key.isEmpty())
            numberKey[size_t(i)] = phoneKeys.id(key);
    }
    std::vector<std::vector<int>> byPhone(size_t(phoneKeys.size()));
    for (size_t index = 0; index < people.size(); ++index) {
        std::vector<int> keys;
        for (int number : people[index].phones) {
            const int key = numberKey[size_t(number)];
            if (key >= 0 && std::find(keys.begin(), keys.end(), key) == keys.end()) {
                keys.push_back(key);
                byPhone[size_t(key)].push_back(int(index));
            }
        }
        people[index].phones = std::move(keys);
    }

    UnionFind uf(int(people.size()));
    joinShared(uf, byName, SameName);
    joinShared(uf, byMail, SameMail);
    joinShared(uf, byPhone, SamePhone);
    joinOneLetterApart(uf, people, byMail, byPhone, byCompany);

    // People are in key order, so each group comes when its first contact does.
    std::unordered_map<int, qsizetype> groupOf;
    QList<Group> groups;
    std::vector<int> roots;
    for (size_t index = 0; index < people.size(); ++index) {
        const int root = uf.find(int(index));
        auto [it, added] = groupOf.emplace(root, groups.size());
        if (added) {
            groups.append(Group());
            roots.push_back(root);
        }
        groups[it->second].contacts.append(people[index].id);
    }
    QList<Group> out;
    for (qsizetype g = 0; g < groups.size(); ++g) {
        if (groups[g].contacts.size() < 2)
            continue;
        const unsigned hints = uf.hints[size_t(roots[size_t(g)])];
        groups[g].reason = reasonFor(hints);
        groups[g].strong = hints & (SameMail | SamePhone | OneLetterMail | OneLetterPhone);
        out.append(std::move(groups[g]));
    }
    goOn(steps);
    return out;
}

} // namespace Duplicates
