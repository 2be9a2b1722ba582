#include "Generator.h"

#include "store/mdlMDB.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cstdint>
#include <string>

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

} // namespace

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

} // namespace BenchData
