#include "Generator.h"

#include "store/Folding.h"
#include "store/mdlMDB.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QStringList>

#include <sqlite3.h>

#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace BenchData {
namespace {

// splitmix64: small, fast and the same everywhere.
struct Rng
{
    uint64_t s;
    uint64_t next()
    {
        uint64_t z = (s += 0x9E3779B97F4A7C15ULL);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
        return z ^ (z >> 31);
    }
    int below(int n) { return int(next() % uint64_t(n)); }
    bool chance(int percent) { return below(100) < percent; }
    template <size_t N>
    const char *pick(const char *const (&list)[N])
    {
        return list[below(int(N))];
    }
};

const char *const kFirst[] = {
    "Anna", "Émile", "Zoë", "Jürgen", "Łukasz", "Søren", "Ángel", "María", "José", "François", "Björn", "Åsa",
    "Chloé", "Noémie", "İlkay", "Oğuz", "Çağla", "Ólafur", "Þóra", "Małgorzata", "Hélène", "Jérôme", "Mårten",
    "Ørjan", "Siân", "Zdeněk", "Tomáš", "Jiří", "John", "Mary", "Peter", "Laura", "Michael", "Sarah", "David",
    "Emma", "Thomas", "Julia", "Daniel", "Sophie", "Lukas", "Hannah", "Paul", "Lena", "Max", "Mia", "Felix",
    "Clara", "Jonas", "Nina", "Oliver", "Eva", "Samuel", "Ida", "Robert", "Kate", "William", "Grace", "Henry",
    "Lucy", "George", "Alice", "Oscar", "Ruth", "Victor", "Irene", "Hugo", "Olga", "Ivan", "Yuki", "Kenji", "Wei",
    "Priya", "Arjun", "Fatima", "Omar", "Ewa", "Grzegorz", "Renée", "Nikolaï", "bell", "danah", "Ξένια", "Дмитрий"};

const char *const kLast[] = {
    "Müller", "Schmidt", "Schneider", "Fischer", "Weber", "Meyer", "Wagner", "Becker", "Hoffmann", "Schäfer",
    "Koch", "Bauer", "Richter", "Klein", "Wolf", "Schröder", "Neumann", "Schwarz", "Zimmermann", "Braun", "Krüger",
    "Hartmann", "Lange", "Smith", "Johnson", "Williams", "Brown", "Jones", "Miller", "Davis", "Wilson", "Anderson",
    "Taylor", "Moore", "Jackson", "Thompson", "White", "Harris", "Clark", "Lewis", "Robinson", "Walker", "Young",
    "Allen", "King", "Wright", "Scott", "Green", "Baker", "Adams", "Nelson", "Hill", "Campbell", "Mitchell",
    "Roberts", "Carter", "Phillips", "Evans", "Turner", "Torres", "Parker", "Collins", "Edwards", "Stewart",
    "Morris", "Nguyen", "García", "Martínez", "Rodríguez", "López", "González", "Pérez", "Sánchez", "Dupont",
    "Lefèvre", "Moreau", "Girard", "Bonnet", "Lambert", "Fontaine", "Rousseau", "Nowak", "Kowalski", "Wiśniewski",
    "Wójcik", "Dvořák", "Novák", "Svoboda", "Černý", "Ødegaard", "Håland", "Sørensen", "Ångström", "Öztürk",
    "Yılmaz", "Çelik", "Şahin", "Ivanov", "Petrova", "Ó Súilleabháin", "O'Brien", "van Dijk", "de Vries",
    "van den Berg", "de Jong", "von Weizsäcker", "da Silva", "dos Santos", "d'Amico", "le Roux", "ter Horst",
    "de la Cruz", "Østergård", "Þórsson", "Kim", "Lee", "Park", "Tanaka", "Suzuki", "Watanabe", "Chen", "Wang",
    "Zhang", "Liu", "Singh", "Patel", "Kumar", "Khan", "Haddad", "Cohen", "Παπαδόπουλος", "Кузнецов"};

// What mail addresses are made of (ASCII, as addresses mostly are).
const char *const kMailFirst[] = {"anna", "emile", "zoe", "juergen", "lukasz", "soren", "angel", "maria", "jose",
                                  "francois", "bjorn", "asa", "chloe", "john", "mary", "peter", "laura", "michael",
                                  "sarah", "david", "emma", "thomas", "julia", "daniel", "sophie", "lukas",
                                  "hannah", "paul", "lena", "max", "mia", "felix", "clara", "jonas", "nina"};
const char *const kMailLast[] = {"mueller", "schmidt", "fischer", "weber", "meyer", "wagner", "becker", "koch",
                                 "smith", "johnson", "brown", "jones", "miller", "davis", "wilson", "taylor",
                                 "moore", "white", "clark", "lewis", "walker", "young", "king", "wright", "green",
                                 "baker", "hill", "garcia", "lopez", "dupont", "moreau", "nowak", "novak", "kim",
                                 "lee", "chen", "wang", "singh", "patel", "khan", "cohen", "ivanov", "vries"};
const char *const kDomains[] = {"example.org", "mail.example.com", "post.example.net", "firma.example.de",
                                "uni.example.edu", "example.fr", "example.co.uk", "web.example.pl"};

const char *const kCategories[] = {"Family",   "Friends",      "Work",        "Colleagues", "Clients",
                                   "Suppliers", "School",      "University",  "Sports club", "Neighbours",
                                   "Doctors",  "Services",     "Restaurants", "Travel",     "Music",
                                   "Book club", "Volunteering", "Église",     "Café",       "Ärzte"};

const char *const kPhoneDesc[] = {"", "", "home", "work", "mobile", "fax", "Büro", "privé", "office"};
const char *const kMailDesc[] = {"", "", "", "private", "work", "old", "newsletter"};

const char *const kStreets[] = {"Hauptstraße", "Rue de l'Église", "Calle Mayor", "Main Street", "Königsallee",
                                "High Street", "Via Roma", "Rynek Główny", "Church Road", "Bahnhofstraße",
                                "Avenue des Champs", "Oak Lane", "Mill Road", "Storgatan", "Nørregade"};
const char *const kCities[] = {"Berlin", "Paris", "Madrid", "London", "Düsseldorf", "Kraków", "Roma", "København",
                               "Göteborg", "Zürich", "Brno", "Leeds", "Lyon", "Porto", "Wien", "Springfield"};
const char *const kCompanies[] = {"Acme Ltd", "Globex", "Initech", "Umbrella GmbH", "Stark & Söhne", "Wayne plc",
                                  "Hooli", "Vandelay Import", "Soylent", "Müller Bau", "Café Central", "Öko-Markt"};
const char *const kWords[] = {
    "met", "at", "the", "conference", "in", "spring", "call", "back", "about", "the", "offer", "birthday", "in",
    "June", "likes", "jazz", "and", "cycling", "prefers", "mail", "over", "phone", "owes", "me", "a", "book",
    "old", "friend", "from", "school", "works", "on", "the", "project", "ask", "for", "the", "report", "moved",
    "to", "another", "city", "has", "two", "kids", "vegetarian", "Grüße", "réunion", "lundi", "Weihnachten",
    "invoice", "pending", "recommended", "by", "a", "neighbour", "plays", "tennis", "on", "Sundays"};

void appendPhone(std::string &s, Rng &r)
{
    static const char *const prefixes[] = {"+49 30 ", "+33 1 ", "+1 (555) ", "030 ", "+44 20 ", "+48 12 ", "0"};
    s += prefixes[r.below(7)];
    const int digits = 6 + r.below(3);
    for (int i = 0; i < digits; ++i) {
        s += char('0' + r.below(10));
        if (i == 2 && r.chance(40))
            s += ' ';
    }
}

std::string items(Rng &r, int count, bool mails, const char *first, const char *last)
{
    std::string s;
    for (int i = 0; i < count; ++i) {
        if (mails) {
            s += r.chance(50) ? first : r.pick(kMailFirst);
            s += r.chance(60) ? "." : "_";
            s += r.chance(50) ? last : r.pick(kMailLast);
            if (i > 0 || r.chance(20))
                s += std::to_string(r.below(100));
            s += '@';
            s += r.pick(kDomains);
            s += ":*:";
            s += r.pick(kMailDesc);
        } else {
            appendPhone(s, r);
            s += ":*:";
            s += r.pick(kPhoneDesc);
        }
        s += "\r\n";
    }
    return s;
}

std::string sentence(Rng &r)
{
    std::string s;
    const int words = 4 + r.below(12);
    for (int i = 0; i < words; ++i) {
        if (i)
            s += ' ';
        s += r.pick(kWords);
    }
    s += '.';
    return s;
}

void bindText(sqlite3_stmt *st, int i, const std::string &v)
{
    sqlite3_bind_text(st, i, v.data(), int(v.size()), SQLITE_TRANSIENT);
}

// A value that is sometimes null, sometimes empty.
void bindMaybe(sqlite3_stmt *st, int i, Rng &r, int nullPercent, int emptyPercent, const std::string &v)
{
    const int x = r.below(100);
    if (x < nullPercent)
        sqlite3_bind_null(st, i);
    else if (x < nullPercent + emptyPercent)
        sqlite3_bind_text(st, i, "", 0, SQLITE_STATIC);
    else
        bindText(st, i, v);
}

bool generate(const QString &path, int count)
{
    QFile::remove(path);
    try {
        Connection::open(path); // the program's own table
    } catch (const StoreError &) {
        return false;
    }
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return false;
    sqlite3_exec(db, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO Contacts (First_Name, Last_Name, Company, Address, Category, Phones, Mails, "
                       "Websites, Notes, Date_Registed, Picture) VALUES (?,?,?,?,?,?,?,?,?,?,?)",
                       -1, &st, nullptr);
    Rng r{uint64_t(count) * 7919u + 17u};
    bool ok = true;
    for (int i = 0; i < count && ok; ++i) {
        const char *first = r.pick(kFirst);
        const char *last = r.pick(kLast);
        const char *mailFirst = r.pick(kMailFirst);
        const char *mailLast = r.pick(kMailLast);
        // Names: now and then only one of the two, rarely none.
        const int shape = r.below(100);
        bindMaybe(st, 1, r, shape < 3 ? 100 : 1, shape < 6 ? 50 : 1, first);
        bindMaybe(st, 2, r, shape >= 97 ? 100 : 1, 1, last);
        bindMaybe(st, 3, r, 35, 15, r.pick(kCompanies));
        std::string address = std::to_string(1 + r.below(240)) + ' ' + r.pick(kStreets) + ", " +
                              std::to_string(10000 + r.below(89999)) + ' ' + r.pick(kCities);
        bindMaybe(st, 4, r, 20, 10, address);
        bindMaybe(st, 5, r, 6, 6, r.pick(kCategories));
        bindText(st, 6, items(r, r.below(4), false, mailFirst, mailLast));
        bindText(st, 7, items(r, r.below(4), true, mailFirst, mailLast));
        std::string sites;
        const int siteCount = r.chance(70) ? 0 : 1 + r.below(2);
        for (int k = 0; k < siteCount; ++k)
            sites += std::string("https://www.") + r.pick(kDomains) + "/~" + mailLast + ":*:" +
                     (r.chance(50) ? "" : "blog") + "\r\n";
        bindMaybe(st, 8, r, 10, 20, sites);
        std::string notes;
        const int sentences = r.chance(55) ? 0 : 1 + r.below(3);
        for (int k = 0; k < sentences; ++k) {
            if (k)
                notes += ' ';
            notes += sentence(r);
        }
        bindMaybe(st, 9, r, 10, 0, notes);
        char date[64];
        std::snprintf(date, sizeof date, "20%02d-%02d-%02d %02d:%02d:%02d", 10 + r.below(15), 1 + r.below(12),
                      1 + r.below(28), r.below(24), r.below(60), r.below(60));
        bindText(st, 10, date);
        bindMaybe(st, 11, r, 40, 50, "/home/user/Pictures/contact-" + std::to_string(i) + ".jpg");
        ok = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close_v2(db);
    return ok;
}

// --- the book for the duplicate finder ------------------------------------------------------

// A letter changed, added or dropped: the finder's "one letter apart".
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

QString folded(const QString &name)
{
    return Fold(name).simplified();
}

// The name as the finder compares it: folded, either order.
QString nameKey(const QString &first, const QString &last)
{
    const QString a = folded(first), b = folded(last);
    return a < b ? a + QChar(0x1F) + b : b + QChar(0x1F) + a;
}

// Without the marks that decompose off a letter: "José" → "Jose" (ł and ø stay).
QString withoutAccents(const QString &text)
{
    QString out;
    for (const QChar c : text.normalized(QString::NormalizationForm_D))
        if (c.category() != QChar::Mark_NonSpacing)
            out += c;
    return out.normalized(QString::NormalizationForm_C);
}

// "jose.garcia@example.org" → "Jose.Garcia@Example.org", or all in capitals.
QString otherCase(const QString &mail, bool capitals)
{
    if (capitals)
        return mail.toUpper();
    QString out = mail;
    bool start = true;
    for (QChar &c : out) {
        if (start)
            c = c.toUpper();
        start = c == QLatin1Char('.') || c == QLatin1Char('_') || c == QLatin1Char('@');
    }
    return out;
}

// The ASCII letters of a folded name, or nothing when it has others.
QString mailWord(const QString &name)
{
    QString out;
    for (const QChar c : Fold(name)) {
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            out += c;
        else if (c != QLatin1Char(' ') && c != QLatin1Char('-') && c != QLatin1Char('\''))
            return QString();
    }
    return out;
}

struct Card
{
    QString first, last, company, address, category;
    QStringList phones, mails; // as written
    int person = 0;
    int namesake = 0;
    int planted = 0;
    QString kind; // of a second card: how it differs from the first
};

class DuplicatesMaker
{
public:
    explicit DuplicatesMaker(int count) : m_count(count), r{uint64_t(count) * 104729u + 5u}
    {
        // No two name parts equal or one letter apart once folded, so that
        // the finder's one-letter rule never joins two people by chance.
        QStringList kept;
        auto keep = [&](const char *const *names, size_t n, QStringList &into) {
            for (size_t i = 0; i < n; ++i) {
                const QString name = QString::fromUtf8(names[i]), key = folded(name);
                bool near = false;
                for (const QString &k : kept)
                    near = near || k == key || oneEditApart(k, key);
                if (!near) {
                    kept << key;
                    into << name;
                }
            }
        };
        keep(kFirst, std::size(kFirst), m_firsts);
        keep(kLast, std::size(kLast), m_lasts);
    }

    std::vector<Card> make()
    {
        const int planted = m_count / 50;
        const int pairs = m_count / 200;
        const int people = m_count - planted;
        std::vector<Card> cards;
        cards.reserve(size_t(m_count));
        for (int p = 0; p < people; ++p) {
            Card c;
            c.person = p + 1;
            if (p < 2 * pairs && p % 2 == 1) {
                // The same name as the one before, nothing else.
                c.first = cards.back().first;
                c.last = cards.back().last;
                c.namesake = cards.back().namesake = p / 2 + 1;
            } else {
                newName(c);
            }
            const bool original = p >= 2 * pairs && p < 2 * pairs + planted;
            const int phones = original ? 1 + r.below(3) : (r.chance(12) ? 0 : 1 + r.below(3));
            for (int k = 0; k < phones; ++k)
                c.phones << newPhone(original && k == 0);
            const int mails = original ? 1 + r.below(2) : (r.chance(12) ? 0 : 1 + r.below(2));
            for (int k = 0; k < mails; ++k)
                c.mails << newMail(c);
            if (!r.chance(40))
                c.company = QString::fromUtf8(r.pick(kCompanies));
            if (!r.chance(30))
                c.address = QStringLiteral("%1 %2, %3 %4")
                                .arg(1 + r.below(240))
                                .arg(QString::fromUtf8(r.pick(kStreets)))
                                .arg(10000 + r.below(89999))
                                .arg(QString::fromUtf8(r.pick(kCities)));
            if (!r.chance(10))
                c.category = QString::fromUtf8(r.pick(kCategories));
            c.planted = original ? 1 : 0;
            cards.push_back(std::move(c));
        }
        for (int k = 0; k < planted; ++k)
            cards.push_back(secondCard(cards[size_t(2 * pairs + k)], k));
        // Second cards among the others, as a book collects them over the years.
        for (size_t i = cards.size(); i > 1; --i)
            std::swap(cards[i - 1], cards[size_t(r.below(int(i)))]);
        return cards;
    }

private:
    void newName(Card &c)
    {
        for (;;) {
            QString first = m_firsts.at(r.below(int(m_firsts.size())));
            if (r.chance(35)) {
                const QString second = m_firsts.at(r.below(int(m_firsts.size())));
                if (second != first)
                    first += QLatin1Char(' ') + second;
            }
            QString last = m_lasts.at(r.below(int(m_lasts.size())));
            if (r.chance(20)) {
                const QString second = m_lasts.at(r.below(int(m_lasts.size())));
                if (second != last)
                    last += QLatin1Char('-') + second;
            }
            if (!m_names.contains(nameKey(first, last))) {
                m_names.insert(nameKey(first, last));
                c.first = first;
                c.last = last;
                return;
            }
        }
    }

    // A number no one else has: `digits` digits from a running count, shuffled
    // differently for each kind of number (`salt`), so that the numbers of two
    // kinds do not end in the same digits more often than real ones do.
    static QString digitsOf(int serial, int digits, int salt)
    {
        qint64 space = 1;
        for (int i = 0; i < digits; ++i)
            space *= 10;
        static const qint64 multipliers[] = {7919, 104729, 1299709, 15485863};
        return QString::number((qint64(serial) * multipliers[salt] + 4711 + salt * 1000003) % space)
            .rightJustified(digits, QLatin1Char('0'));
    }

    // London and mobile numbers written nationally or with +44; some German
    // and French ones. `ukOnly`: one of the former.
    QString newPhone(bool ukOnly)
    {
        const int kind = ukOnly ? r.below(3) : r.below(5);
        switch (kind) {
        case 0: {
            const QString d = digitsOf(++m_london, 7, 0);
            return QStringLiteral("020 7") + d.left(3) + QLatin1Char(' ') + d.mid(3);
        }
        case 1: {
            const QString d = digitsOf(++m_mobile, 8, 1);
            return QStringLiteral("077") + d.left(2) + QLatin1Char(' ') + d.mid(2);
        }
        case 2: {
            if (r.chance(50)) {
                const QString d = digitsOf(++m_london, 7, 0);
                return QStringLiteral("+44 20 7") + d.left(3) + QLatin1Char(' ') + d.mid(3);
            }
            const QString d = digitsOf(++m_mobile, 8, 1);
            return QStringLiteral("+44 77") + d.left(2) + QLatin1Char(' ') + d.mid(2);
        }
        case 3:
            return QStringLiteral("+49 30 ") + digitsOf(++m_german, 8, 2);
        default: {
            const QString d = digitsOf(++m_french, 8, 3);
            return QStringLiteral("+33 1 %1 %2 %3 %4").arg(d.mid(0, 2), d.mid(2, 2), d.mid(4, 2), d.mid(6, 2));
        }
        }
    }

    QString newMail(const Card &c)
    {
        QString given = mailWord(c.first.section(QLatin1Char(' '), 0, 0));
        QString family = mailWord(c.last);
        if (given.isEmpty())
            given = QString::fromLatin1(r.pick(kMailFirst));
        if (family.isEmpty())
            family = QString::fromLatin1(r.pick(kMailLast));
        QString local;
        switch (r.below(4)) {
        case 0: local = given + QLatin1Char('.') + family; break;
        case 1: local = given + QLatin1Char('_') + family; break;
        case 2: local = given.left(1) + family; break;
        default: local = family + QLatin1Char('.') + given; break;
        }
        const QString domain = QString::fromLatin1(r.pick(kDomains));
        QString mail = local + QLatin1Char('@') + domain;
        for (int n = 2; m_mails.contains(mail); ++n)
            mail = local + QString::number(n) + QLatin1Char('@') + domain;
        m_mails.insert(mail);
        return mail;
    }

    // A second card of `o`: its name written otherwise, and its number or
    // address (or both) as another program or person would have written them.
    Card secondCard(const Card &o, int k)
    {
        Card c;
        c.person = o.person;
        c.planted = 2;
        static const char *const names[] = {"accents dropped", "first and last swapped",
                                            "swapped, accents dropped", "last name in capitals",
                                            "a letter doubled"};
        static const char *const details[] = {"phone +44/national", "mail in other case", "both"};
        c.kind = QStringLiteral("%1; %2").arg(QLatin1String(names[k % 5]), QLatin1String(details[(k / 5) % 3]));
        switch (k % 5) {
        case 0: c.first = withoutAccents(o.first); c.last = withoutAccents(o.last); break;
        case 1: c.first = o.last; c.last = o.first; break;
        case 2: c.first = withoutAccents(o.last); c.last = withoutAccents(o.first); break;
        case 3: c.first = o.first; c.last = o.last.toUpper(); break;
        default: {
            // One letter doubled, when that is no one else's name.
            QString last = o.last;
            const int at = r.below(int(last.size()));
            if (last.at(at).isLetter())
                last.insert(at, last.at(at));
            if (last != o.last && !m_names.contains(nameKey(o.first, last))) {
                m_names.insert(nameKey(o.first, last));
                c.first = o.first;
                c.last = last;
            } else {
                c.first = withoutAccents(o.first);
                c.last = withoutAccents(o.last);
                c.kind.replace(QLatin1String(names[4]), QLatin1String(names[0]));
            }
        }
        }
        const int detail = (k / 5) % 3;
        if (detail != 1) {
            const QString &p = o.phones.first(); // written nationally or with +44
            c.phones << (p.startsWith(QLatin1String("+44 ")) ? QLatin1Char('0') + p.mid(4)
                                                              : QStringLiteral("+44 ") + p.mid(1));
        }
        if (detail != 0)
            c.mails << otherCase(o.mails.first(), k % 2);
        if (r.chance(30))
            c.phones << newPhone(false);
        if (r.chance(20))
            c.mails << newMail(c);
        if (k % 5 != 4 && r.chance(50))
            c.company = o.company;
        if (r.chance(50))
            c.address = o.address;
        c.category = o.category;
        return c;
    }

    int m_count;
    Rng r;
    QStringList m_firsts, m_lasts;
    QSet<QString> m_names, m_mails;
    int m_london = 0, m_mobile = 0, m_german = 0, m_french = 0;
};

QByteArray itemList(const QStringList &items, const char *const *descriptions, int n, Rng &r)
{
    QByteArray out;
    for (const QString &item : items)
        out += item.toUtf8() + ":*:" + descriptions[r.below(n)] + "\r\n";
    return out;
}

void bindUtf8(sqlite3_stmt *st, int i, const QString &v)
{
    if (v.isEmpty()) {
        sqlite3_bind_null(st, i);
        return;
    }
    const QByteArray u = v.toUtf8();
    sqlite3_bind_text(st, i, u.constData(), int(u.size()), SQLITE_TRANSIENT);
}

bool generateDuplicates(const QString &path, int count)
{
    QFile::remove(path);
    try {
        Connection::open(path);
    } catch (const StoreError &) {
        return false;
    }
    const std::vector<Card> cards = DuplicatesMaker(count).make();
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return false;
    bool ok = sqlite3_exec(db,
                           "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; BEGIN;"
                           "CREATE TABLE BenchPeople (ContactID INTEGER PRIMARY KEY, Person INTEGER NOT NULL,"
                           " Namesake INTEGER NOT NULL, Planted INTEGER NOT NULL, Kind TEXT)",
                           nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt *st = nullptr, *truth = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO Contacts (First_Name, Last_Name, Company, Address, Category, Phones, Mails, "
                       "Websites, Notes, Date_Registed, Picture) VALUES (?,?,?,?,?,?,?,NULL,NULL,?,NULL)",
                       -1, &st, nullptr);
    sqlite3_prepare_v2(db, "INSERT INTO BenchPeople VALUES (last_insert_rowid(), ?, ?, ?, ?)", -1, &truth, nullptr);
    static const char *const phoneDesc[] = {"", "", "home", "work", "mobile"};
    static const char *const mailDesc[] = {"", "", "private", "work"};
    Rng r{uint64_t(count) * 31u + 3u};
    for (const Card &c : cards) {
        if (!ok)
            break;
        bindUtf8(st, 1, c.first);
        bindUtf8(st, 2, c.last);
        bindUtf8(st, 3, c.company);
        bindUtf8(st, 4, c.address);
        bindUtf8(st, 5, c.category);
        const QByteArray phones = itemList(c.phones, phoneDesc, 5, r), mails = itemList(c.mails, mailDesc, 4, r);
        sqlite3_bind_text(st, 6, phones.constData(), int(phones.size()), SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 7, mails.constData(), int(mails.size()), SQLITE_TRANSIENT);
        char date[64];
        std::snprintf(date, sizeof date, "20%02d-%02d-%02d %02d:%02d:%02d", 10 + r.below(15), 1 + r.below(12),
                      1 + r.below(28), r.below(24), r.below(60), r.below(60));
        sqlite3_bind_text(st, 8, date, -1, SQLITE_TRANSIENT);
        ok = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
        sqlite3_bind_int(truth, 1, c.person);
        sqlite3_bind_int(truth, 2, c.namesake);
        sqlite3_bind_int(truth, 3, c.planted);
        bindUtf8(truth, 4, c.kind);
        ok = ok && sqlite3_step(truth) == SQLITE_DONE;
        sqlite3_reset(truth);
    }
    sqlite3_finalize(st);
    sqlite3_finalize(truth);
    ok = ok && sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close_v2(db);
    return ok;
}

} // namespace

bool EnsureDuplicatesBook(const QString &path, int count)
{
    if (QFileInfo::exists(path))
        return true;
    QDir().mkpath(QFileInfo(path).absolutePath());
    const QString part = path + QStringLiteral(".partial");
    if (!generateDuplicates(part, count))
        return false;
    return QFile::rename(part, path);
}

bool EnsureBook(const QString &folder, int count, const QString &languageFile)
{
    QDir().mkpath(folder + QStringLiteral("/db"));
    QDir().mkpath(folder + QStringLiteral("/trans"));
    if (!QFileInfo::exists(folder + QStringLiteral("/trans/eng.txt")))
        QFile::copy(languageFile, folder + QStringLiteral("/trans/eng.txt"));
    const QString db = folder + QStringLiteral("/db/db.sqlite");
    if (QFileInfo::exists(db))
        return true;
    // Made under another name and renamed when whole, so that an interrupted
    // run never leaves a short book behind.
    const QString part = folder + QStringLiteral("/db/partial.sqlite");
    if (!generate(part, count))
        return false;
    return QFile::rename(part, db);
}

QString BroadTerm()
{
    return QStringLiteral("ma");
}

QString SelectiveTerm()
{
    return QStringLiteral("park");
}

QString MissingTerm()
{
    return QStringLiteral("qqxz");
}

QString AccentFreeTerm()
{
    return QStringLiteral("muller");
}

} // namespace BenchData
