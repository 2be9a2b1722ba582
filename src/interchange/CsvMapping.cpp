#include "interchange/CsvMapping.h"

#include "store/ItemList.h"

#include <QCryptographicHash>
#include <QHash>
#include <QRegularExpression>
#include <QVarLengthArray>

#include <algorithm>
#include <iterator>
#include <tuple>

using ContactCard::Contact;
using ContactCard::NamesFromN;
using ContactCard::Padded;
using VCard::Param;
using VCard::Property;

namespace CsvMapping {

namespace {

// Field's values as a mapping's text names them, in order.
const char *const kFieldNames[] = {
    "ignore", "keep", "name", "first", "middle", "last", "prefix", "suffix", "nickname", "company", "department",
    "title", "birthday", "address", "street", "pobox", "extended", "city", "region", "postalcode", "country",
    "category", "phone", "mail", "website", "phones", "mails", "websites", "notes", "label"};
static_assert(std::size(kFieldNames) == int(Field::Label) + 1);

// Header names compared without case and accents: "Straße privat" is "strasse privat".
QString norm(const QString &name)
{
    if (std::all_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() < 0x80; }))
        return name.simplified().toLower();
    const QString d = name.normalized(QString::NormalizationForm_KD);
    QString out;
    out.reserve(d.size());
    for (QChar c : d) {
        if (c.category() != QChar::Mark_NonSpacing)
            out += c;
    }
    // Case folding keeps the sharp s as it is.
    return out.toCaseFolded().replace(QChar(0xDF), QLatin1String("ss")).simplified();
}

bool isAddressField(Field f)
{
    return f >= Field::Address && f <= Field::Country;
}

// The names known exporters write (normalised), and what they mean. Unlisted
// columns of a known layout are kept; a name numbered "E-mail 1 - Value" is
// read by its pattern.
const QHash<QString, Role> &knownNames()
{
    static const QHash<QString, Role> names = [] {
        QHash<QString, Role> h;
        auto add = [&](std::initializer_list<const char *> list, Field f, const char *description = "", int group = 0) {
            for (const char *n : list)
                h.insert(QString::fromUtf8(n), Role{f, QString::fromUtf8(description), group, -1});
        };
        add({"first name", "given name", "vorname", "prenom"}, Field::First);
        add({"middle name", "additional name", "weitere vornamen", "deuxieme prenom"}, Field::Middle);
        add({"last name", "family name", "nachname", "nom"}, Field::Last);
        add({"name", "display name"}, Field::Name);
        add({"name prefix", "anrede"}, Field::Prefix);
        add({"name suffix", "suffix", "suffixe"}, Field::Suffix);
        add({"nickname", "spitzname", "surnom"}, Field::Nickname);
        add({"organization name", "company", "organization", "firma", "societe"}, Field::Company);
        add({"organization department", "department", "abteilung", "service"}, Field::Department);
        add({"organization title", "job title", "position", "fonction"}, Field::JobTitle);
        add({"birthday", "geburtstag", "anniversaire"}, Field::Birthday);
        add({"notes", "notizen"}, Field::Notes);
        add({"labels", "group membership", "categories", "kategorien", "category"}, Field::Category);
        add({"web page", "webseite", "page web"}, Field::Website);
        add({"web page 1"}, Field::Website, "work");
        add({"web page 2"}, Field::Website, "home");
        add({"e-mail address", "e-mail 2 address", "e-mail 3 address", "primary email", "secondary email",
             "e-mail-adresse", "e-mail 2: adresse", "e-mail 3: adresse", "adresse de messagerie",
             "adresse de messagerie 2", "adresse de messagerie 3"},
            Field::Mail);
        add({"e-mail type", "e-mail display name", "e-mail 2 type", "e-mail 2 display name", "e-mail 3 type",
             "e-mail 3 display name", "e-mail-typ", "e-mail: angezeigter name", "e-mail 2: typ",
             "e-mail 2: angezeigter name", "e-mail 3: typ", "e-mail 3: angezeigter name", "type de messagerie",
             "nom complet de l'adresse de messagerie", "photo"},
            Field::Ignore);
        add({"mobile phone", "mobile number", "mobiltelefon", "tel. mobile"}, Field::Phone, "mobile");
        add({"business phone", "business phone 2", "work phone", "telefon geschaftlich", "telefon geschaftlich 2",
             "telephone (bureau)", "telephone 2 (bureau)"},
            Field::Phone, "work");
        add({"home phone", "home phone 2", "telefon privat", "telefon privat 2", "telephone (domicile)",
             "telephone 2 (domicile)"},
            Field::Phone, "home");
        add({"business fax", "fax geschaftlich", "telecopie (bureau)"}, Field::Phone, "work fax");
        add({"home fax", "fax privat", "telecopie (domicile)"}, Field::Phone, "home fax");
        add({"other fax", "fax number", "weiteres fax", "telecopie (autre)"}, Field::Phone, "fax");
        add({"other phone", "weiteres telefon", "telephone (autre)"}, Field::Phone, "other");
        add({"pager", "pager number", "recepteur de radiomessagerie"}, Field::Phone, "pager");
        add({"car phone", "autotelefon", "telephone (voiture)"}, Field::Phone, "car");
        add({"company main phone", "telefon firma", "telephone societe"}, Field::Phone, "main");
        add({"assistant's phone", "telefon assistent", "telephone de l'assistant(e)"}, Field::Phone, "assistant");
        add({"primary phone", "haupttelefon", "telephone principal"}, Field::Phone);
        add({"callback", "ruckmeldung", "rappel"}, Field::Phone, "callback");
        add({"isdn", "rnis"}, Field::Phone, "isdn");
        add({"radio phone"}, Field::Phone, "radio");
        add({"tty/tdd phone"}, Field::Phone, "textphone");
        add({"telex"}, Field::Phone, "telex");
        // The plain layout's own names.
        add({"address"}, Field::Address, "", 1);
        add({"phones"}, Field::PhoneList);
        add({"e-mails"}, Field::MailList);
        add({"websites"}, Field::WebsiteList);

        // Addresses: the desktop suite in three languages, the mail client.
        struct Where
        {
            const char *en, *de, *fr;
            const char *type;
            int group;
        };
        for (const Where &p : {Where{"home", "privat", "domicile", "home", 1}, Where{"business", "geschaftlich", "bureau", "work", 2},
                               Where{"other", nullptr, "autre", "other", 3}}) {
            auto part = [&](Field f, std::initializer_list<QString> list) {
                for (const QString &n : list)
                    h.insert(n, Role{f, QString::fromUtf8(p.type), p.group, -1});
            };
            const QString en = QString::fromUtf8(p.en) + u' ', fr = QStringLiteral(" (%1)").arg(QString::fromUtf8(p.fr));
            part(Field::Street, {en + "street", en + "street 2", en + "street 3", "rue" + fr, "rue" + fr + " 2", "rue" + fr + " 3"});
            part(Field::City, {en + "city", "ville" + fr});
            part(Field::Region, {en + "state", "dep/region" + fr});
            part(Field::PostalCode, {en + "postal code", "code postal" + fr});
            part(Field::Country, {en + "country/region", "pays/region" + fr});
            part(Field::PoBox, {en + "address po box", "b.p." + fr});
            if (p.de) {
                const QString de = u' ' + QString::fromUtf8(p.de);
                part(Field::Street, {"strasse" + de, "strasse" + de + " 2", "strasse" + de + " 3"});
                part(Field::City, {"ort" + de});
                part(Field::Region, {"region" + de, "bundesland/kanton" + de});
                part(Field::PostalCode, {"postleitzahl" + de});
                part(Field::Country, {"land/region" + de});
                part(Field::PoBox, {"postfach" + de});
            } else {
                part(Field::Street, {"weitere strasse", "weitere strasse 2", "weitere strasse 3"});
                part(Field::City, {"weiterer ort"});
                part(Field::Region, {"weiteres/r bundesland/kanton"});
                part(Field::PostalCode, {"weitere postleitzahl"});
                part(Field::Country, {"weiteres/r land/region"});
                part(Field::PoBox, {"weiteres postfach"});
            }
        }
        for (const auto &[prefix, type, group] : {std::tuple{"home", "home", 1}, std::tuple{"work", "work", 2}}) {
            const QString p = QString::fromUtf8(prefix) + u' ';
            const QString t = QString::fromUtf8(type);
            for (const char *street : {"address", "address 2"})
                h.insert(p + QString::fromUtf8(street), Role{Field::Street, t, group, -1});
            h.insert(p + "city", Role{Field::City, t, group, -1});
            h.insert(p + "state", Role{Field::Region, t, group, -1});
            h.insert(p + "zipcode", Role{Field::PostalCode, t, group, -1});
            h.insert(p + "country", Role{Field::Country, t, group, -1});
        }
        return h;
    }();
    return names;
}

// "E-mail 1 - Value", "Address 2 - City": the web-mail layouts' numbered columns.
const QRegularExpression &numberedName()
{
    static const QRegularExpression re(QStringLiteral(
        "^(e-mail|phone|address|website|organization|relation|event|im|custom field|external id) (\\d+) - (.+)$"));
    return re;
}

Layout detect(const QStringList &names)
{
    auto any = [&](std::initializer_list<const char *> list) {
        for (const char *n : list) {
            if (names.contains(QLatin1String(n)))
                return true;
        }
        return false;
    };
    if (any({"phones", "e-mails"}))
        return Layout::Plain;
    if (any({"group membership", "given name", "e-mail 1 - type", "phone 1 - type"}))
        return Layout::WebMailLegacy;
    if (any({"organization name", "labels", "e-mail 1 - label", "phone 1 - label"}))
        return Layout::WebMail;
    if (any({"primary email", "secondary email", "mobile number"}))
        return Layout::MailClient;
    if (any({"e-mail address", "business phone", "mobile phone", "home street", "e-mail-adresse", "mobiltelefon",
             "strasse privat", "adresse de messagerie", "tel. mobile", "rue (domicile)"}))
        return Layout::DesktopSuite;
    return Layout::Unknown;
}

// A text value as a card holds it: \\ \, \; and \n escaped, every line break one \n.
QString escaped(const QString &v)
{
    qsizetype i = 0;
    while (i < v.size() && v[i] != u'\\' && v[i] != u',' && v[i] != u';' && v[i] != u'\r' && v[i] != u'\n')
        ++i;
    if (i == v.size())
        return v;
    QString out = v.left(i);
    out.reserve(v.size() + 8);
    for (; i < v.size(); ++i) {
        const QChar c = v[i];
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < v.size() && v[i + 1] == u'\n')
                ++i;
            out += QLatin1String("\\n");
        } else {
            if (c == u'\\' || c == u',' || c == u';')
                out += u'\\';
            out += c;
        }
    }
    return out;
}

// A kept line; `value` escaped already.
QString line(const QString &name, const QString &value, const QList<Param> &params = {})
{
    if (params.isEmpty())
        return name + u':' + value;
    Property p;
    p.name = name;
    p.params = params;
    p.value = value;
    return p.toLine();
}

QString joinEscaped(const QStringList &parts, QChar separator)
{
    QStringList out;
    for (const QString &p : parts)
        out << escaped(p);
    return out.join(separator);
}

// Blanks and byte order marks (left where files were joined) around a
// value are no part of it.
QString cleaned(const QString &v)
{
    auto edge = [](QChar c) { return c.isSpace() || c == QChar(0xFEFF); };
    qsizetype from = 0, to = v.size();
    while (from < to && edge(v[from]))
        ++from;
    while (to > from && edge(v[to - 1]))
        --to;
    return from == 0 && to == v.size() ? v : v.mid(from, to - from);
}

// Parts of a multi-value cell ("a ::: b"), blanks trimmed, empty ones kept so
// that values and labels stay paired.
QStringList multi(const QString &cell)
{
    if (!cell.contains(QLatin1String(" ::: ")))
        return {cleaned(cell)};
    QStringList parts = cell.split(QLatin1String(" ::: "));
    for (QString &p : parts)
        p = cleaned(p);
    return parts;
}

// "* Work" marks the preferred entry; the star is no part of the label.
QString cleanLabel(QString label)
{
    label = cleaned(label);
    if (label.startsWith(u'*'))
        label = cleaned(label.mid(1));
    return label;
}

// "555-0100 (work); 555-0101": the plain layout's lists.
QList<ItemEntry> parseList(const QString &cell)
{
    QList<ItemEntry> out;
    for (const QString &part : cell.split(u';')) {
        const QString p = cleaned(part);
        if (p.isEmpty())
            continue;
        ItemEntry e{p, QString()};
        if (p.endsWith(u')')) {
            int depth = 0;
            for (qsizetype i = p.size() - 1; i >= 0; --i) {
                depth += p[i] == u')' ? 1 : p[i] == u'(' ? -1 : 0;
                if (depth == 0) {
                    if (i > 0 && p[i - 1] == u' ')
                        e = ItemEntry{cleaned(p.left(i)), cleaned(p.mid(i + 1, p.size() - i - 2))};
                    break;
                }
            }
        }
        if (!e.sItem.isEmpty())
            out << e;
    }
    return out;
}

QString formatList(const QString &stored)
{
    QStringList out;
    for (const ItemEntry &e : SplitItemList(stored)) {
        // "()" keeps an item's own closing bracket from being read as a description.
        const QString d = e.sDescription.trimmed();
        out << e.sItem + (d.isEmpty() ? (e.sItem.endsWith(u')') ? QStringLiteral(" ()") : QString()) : " (" + d + u')');
    }
    return out.join(QLatin1String("; "));
}


QString adrLine(const QStringList &components, const QString &type)
{
    QList<Param> params;
    // TYPE is a list: a comma in a label would split it.
    const QString t = QString(type).replace(u',', u' ').simplified();
    if (!t.isEmpty())
        params << Param{QStringLiteral("TYPE"), {t}};
    return line(QStringLiteral("ADR"), joinEscaped(components, u';'), params);
}

// Only a street, which is the whole text: an address kept without parts.
bool flat(const QStringList &components)
{
    for (int i = 0; i < components.size(); ++i) {
        if (i != 2 && !components[i].trimmed().isEmpty())
            return false;
    }
    return true;
}

bool isBlankText(const QString &v)
{
    for (QChar c : v) {
        if (!c.isSpace() && c != QChar(0xFEFF))
            return false;
    }
    return true;
}

bool noDate(const QString &v)
{
    for (QChar c : v) {
        if (c.isDigit() && c != u'0')
            return false;
    }
    return true;
}

struct Place
{
    int group = 0;
    QString formatted;
    QString parts[7]; // ADR order: box, extended, street, city, region, code, country
    QString type;
};

// `text` after `to`, with `separator` between.
void append(QString &to, const QString &text, QChar separator)
{
    if (!to.isEmpty())
        to += separator;
    to += text;
}

int partIndex(Field f)
{
    switch (f) {
    case Field::PoBox: return 0;
    case Field::Extended: return 1;
    case Field::Street: return 2;
    case Field::City: return 3;
    case Field::Region: return 4;
    case Field::PostalCode: return 5;
    default: return 6;
    }
}

QList<Property> parsed(const QStringList &kept)
{
    QList<Property> out;
    for (const QString &l : kept) {
        Property p;
        if (Property::fromLine(l, p))
            out << p;
    }
    return out;
}

const Property *firstNamed(const QList<Property> &props, const char *name)
{
    for (const Property &p : props) {
        if (p.name == QLatin1String(name))
            return &p;
    }
    return nullptr;
}

QString capitalized(const QString &s)
{
    return s.isEmpty() ? s : s.front().toUpper() + s.mid(1);
}

// The guess for a normalised name.
Role guessNormalised(const QString &n)
{
    QVarLengthArray<QStringView, 8> w; // the words
    for (qsizetype i = 0; i < n.size();) {
        const qsizetype from = i;
        while (i < n.size() && n[i].isLetterOrNumber())
            ++i;
        if (i > from)
            w.append(QStringView(n).sliced(from, i - from));
        else
            ++i;
    }
    auto has = [&](std::initializer_list<const char *> words) {
        for (const char *x : words) {
            for (QStringView word : w) {
                if (word == QLatin1String(x))
                    return true;
            }
        }
        return false;
    };
    Role r;
    if (w.isEmpty())
        return r;
    r.field = Field::Keep;
    const bool work = has({"work", "business", "office", "geschaftlich", "dienstlich", "bureau"});
    const bool home = has({"home", "private", "personal", "privat", "domicile"});
    const bool other = has({"other", "weitere", "weiterer", "weiteres", "autre"});
    auto as = [&](Field f, const QString &description = QString()) {
        r.field = f;
        r.description = description;
        return r;
    };
    // Readings and parts of a date say too little to be put anywhere else.
    if (has({"phonetic", "yomi", "year", "month", "day"}))
        return r;
    if (has({"mail", "email", "emails", "mails", "courriel", "messagerie"})) {
        if (has({"display", "type", "typ", "label"}))
            return as(Field::Ignore);
        return as(has({"emails", "mails"}) ? Field::MailList : Field::Mail, work ? "work" : home ? "home" : "");
    }
    if (has({"phone", "phones", "tel", "telephone", "telefon", "mobile", "mobil", "mobiltelefon", "cell", "cellular",
             "handy", "fax", "telecopie", "pager", "portable"})) {
        const Field f = has({"phones"}) ? Field::PhoneList : Field::Phone;
        if (has({"fax", "telecopie"}))
            return as(f, work ? "work fax" : home ? "home fax" : "fax");
        if (has({"mobile", "mobil", "mobiltelefon", "cell", "cellular", "handy", "portable"}))
            return as(f, QStringLiteral("mobile"));
        if (has({"pager"}))
            return as(f, QStringLiteral("pager"));
        return as(f, work ? "work" : home ? "home" : other ? "other" : "");
    }
    if (has({"web", "website", "websites", "homepage", "url", "site", "webseite", "www", "internet"}))
        return as(has({"websites"}) ? Field::WebsiteList : Field::Website, work ? "work" : home ? "home" : "");
    if (has({"prefix", "salutation", "anrede", "honorific", "civilite"}))
        return as(Field::Prefix);
    if (has({"suffix", "suffixe"}))
        return as(Field::Suffix);
    if (has({"middle"}) || (has({"weitere"}) && has({"vornamen", "vorname"})) || (has({"deuxieme"}) && has({"prenom"})))
        return as(Field::Middle);
    if (has({"first", "given", "forename", "firstname", "givenname", "vorname", "prenom", "fname"}))
        return as(Field::First);
    if (has({"last", "family", "surname", "lastname", "familyname", "nachname", "lname"}) || n == QLatin1String("nom"))
        return as(Field::Last);
    if (has({"nickname", "nick", "spitzname", "surnom"}))
        return as(Field::Nickname);
    if (has({"birthday", "birthdate", "birth", "dob", "geburtstag", "geburtsdatum", "born"}))
        return as(Field::Birthday);
    if (has({"note", "notes", "comment", "comments", "remark", "remarks", "notiz", "notizen", "memo", "bemerkung"}))
        return as(Field::Notes);
    if (has({"category", "categories", "group", "groups", "label", "labels", "tag", "tags", "kategorie", "kategorien",
             "categorie"}))
        return as(Field::Category);
    const struct
    {
        Field field;
        std::initializer_list<const char *> words;
    } parts[] = {{Field::PoBox, {"box", "postfach", "pobox"}},
                 {Field::PostalCode, {"zip", "zipcode", "postal", "postcode", "plz", "postleitzahl"}},
                 {Field::City, {"city", "town", "ort", "ville", "locality", "stadt"}},
                 {Field::Country, {"country", "land", "pays"}},
                 {Field::Region, {"state", "region", "province", "county", "bundesland"}},
                 {Field::Street, {"street", "strasse", "rue"}},
                 {Field::Address, {"address", "adresse", "addr", "anschrift"}}};
    for (const auto &p : parts) {
        if (has(p.words)) {
            as(p.field, work ? "work" : other ? "other" : home ? "home" : "");
            r.group = work ? 2 : other ? 3 : 1;
            return r;
        }
    }
    if (has({"title", "job", "position", "role", "occupation", "fonction", "beruf", "profession"}))
        return as(Field::JobTitle);
    if (has({"department", "abteilung", "division", "service"}))
        return as(Field::Department);
    if (has({"company", "organization", "organisation", "org", "firm", "firma", "societe", "employer", "unternehmen"}))
        return as(Field::Company);
    if (has({"name", "fullname", "displayname", "contact", "kontakt"}))
        return as(Field::Name);
    return r;
}

} // namespace

Role Guess(const QString &name)
{
    return guessNormalised(norm(name));
}

Mapping ForHeader(const QStringList &header)
{
    Mapping m;
    QStringList names;
    for (const QString &h : header)
        names << norm(h);
    m.layout = detect(names);
    struct PendingLabel
    {
        int column;
        QString target; // "phone 1"
    };
    QList<PendingLabel> labels;
    QHash<QString, int> targets; // "phone 1" -> its value column, "address 2" -> its first column
    for (int i = 0; i < names.size(); ++i) {
        const QString &n = names[i];
        Role r;
        // What the layout says of a name it does not know.
        auto unknown = [&] { return m.layout == Layout::Unknown ? guessNormalised(n) : Role{Field::Keep, {}, 0, -1}; };
        if (n.isEmpty()) {
            // A column without a name says nothing to keep it under.
        } else if (m.layout == Layout::DesktopSuite && (n == QLatin1String("title") || n == QLatin1String("titre"))) {
            r.field = Field::Prefix;
        } else if (const auto it = knownNames().constFind(n); it != knownNames().cend()) {
            r = *it;
        } else if (!n.contains(QLatin1String(" - "))) {
            r = unknown();
        } else if (const QRegularExpressionMatch numbered = numberedName().match(n); numbered.hasMatch()) {
            const QString kind = numbered.captured(1), what = numbered.captured(3);
            const int number = numbered.captured(2).toInt();
            const QString target = kind + u' ' + QString::number(number);
            r.field = Field::Keep;
            const bool listed = kind == QLatin1String("e-mail") || kind == QLatin1String("phone") ||
                                kind == QLatin1String("website") || kind == QLatin1String("address");
            if (listed && (what == QLatin1String("label") || what == QLatin1String("type"))) {
                r.field = Field::Label;
                labels << PendingLabel{i, target};
            } else if (listed && what == QLatin1String("value")) {
                r.field = kind == QLatin1String("e-mail") ? Field::Mail : kind == QLatin1String("phone") ? Field::Phone : Field::Website;
                targets.insert(target, i);
            } else if (kind == QLatin1String("address")) {
                static const QHash<QString, Field> parts{{"formatted", Field::Address},   {"street", Field::Street},
                                                         {"city", Field::City},           {"po box", Field::PoBox},
                                                         {"region", Field::Region},       {"postal code", Field::PostalCode},
                                                         {"country", Field::Country},     {"extended address", Field::Extended}};
                if (parts.contains(what)) {
                    r.field = parts.value(what);
                    r.group = number;
                    if (!targets.contains(target))
                        targets.insert(target, i);
                }
            } else if (kind == QLatin1String("organization") && number == 1) {
                static const QHash<QString, Field> parts{
                    {"name", Field::Company}, {"title", Field::JobTitle}, {"department", Field::Department}, {"type", Field::Ignore}};
                r.field = parts.value(what, Field::Keep);
            }
        } else {
            r = unknown();
        }
        m.roles << r;
    }
    for (const PendingLabel &l : labels) {
        m.roles[l.column].of = targets.value(l.target, -1);
        if (m.roles[l.column].of < 0)
            m.roles[l.column].field = Field::Ignore;
    }
    return m;
}

QString ToText(const Mapping &mapping)
{
    QStringList out;
    for (const Role &r : mapping.roles) {
        QString s = QString::fromLatin1(kFieldNames[int(r.field)]);
        if (r.group)
            s += u'/' + QString::number(r.group);
        if (r.of >= 0)
            s += u'@' + QString::number(r.of);
        if (!r.description.isEmpty())
            s += u'=' + QString::fromLatin1(r.description.toUtf8().toPercentEncoding());
        out << s;
    }
    return out.join(u';');
}

bool FromText(const QString &text, qsizetype columns, Mapping &out)
{
    static const QRegularExpression re(QStringLiteral("^([a-z]+)(?:/(\\d{1,4}))?(?:@(\\d{1,4}))?(?:=(.*))?$"));
    const QStringList parts = text.isEmpty() ? QStringList() : text.split(u';');
    if (parts.size() != columns)
        return false;
    Mapping m;
    for (const QString &p : parts) {
        const QRegularExpressionMatch match = re.match(p);
        if (!match.hasMatch())
            return false;
        Role r;
        const auto field = std::find(std::begin(kFieldNames), std::end(kFieldNames), match.captured(1));
        if (field == std::end(kFieldNames))
            return false;
        r.field = Field(field - std::begin(kFieldNames));
        r.group = match.captured(2).toInt();
        r.of = match.hasCaptured(3) ? match.captured(3).toInt() : -1;
        r.description = QString::fromUtf8(QByteArray::fromPercentEncoding(match.captured(4).toLatin1()));
        if (r.of >= columns || (r.field == Field::Label) != (r.of >= 0))
            return false;
        m.roles << r;
    }
    out = m;
    return true;
}

QString Key(const QStringList &header)
{
    QStringList names;
    for (const QString &h : header)
        names << h.trimmed();
    const QByteArray hash = QCryptographicHash::hash(names.join(QChar(0x1F)).toUtf8(), QCryptographicHash::Sha1);
    return QStringLiteral("csv-") + QString::fromLatin1(hash.toHex().left(16));
}

bool ToContact(const Mapping &mapping, const QStringList &header, const QStringList &cells, Contact &out, QString *reason)
{
    using namespace ContactCard;
    out = Contact();
    const qsizetype n = qMin(mapping.roles.size(), cells.size());
    QVarLengthArray<Place, 4> places; // in the order of their groups
    auto place = [&](int group) -> Place & {
        qsizetype at = 0;
        while (at < places.size() && places[at].group < group)
            ++at;
        if (at == places.size() || places[at].group != group)
            places.insert(at, Place{group, {}, {}, {}});
        return places[at];
    };
    QVarLengthArray<qsizetype, 64> labelOf(n, -1); // value column -> the column of its label
    for (qsizetype i = 0; i < n; ++i) {
        const Role &r = mapping.roles[i];
        if (r.field != Field::Label || r.of < 0 || r.of >= n || isBlankText(cells[i]))
            continue;
        if (labelOf[r.of] < 0)
            labelOf[r.of] = i;
        const Role &target = mapping.roles[r.of];
        if (isAddressField(target.field)) {
            Place &p = place(target.group);
            if (p.type.isEmpty())
                p.type = cleanLabel(cells[i]).toLower();
        }
    }

    QStringList categories, extra;
    QString firstName, middleName, lastName, prefix, suffix, notes, fullName, company, department, title, nickname, birthday;
    QList<ItemEntry> lists[3];
    for (qsizetype i = 0; i < n; ++i) {
        const Role &r = mapping.roles[i];
        if (r.field == Field::Ignore || r.field == Field::Label || isBlankText(cells[i]))
            continue;
        const QString v = cleaned(cells[i]);
        auto once = [&](QString &target) {
            if (target.isEmpty())
                target = v;
        };
        switch (r.field) {
        case Field::Ignore:
        case Field::Label: break;
        case Field::Keep: {
            QString column = header.value(i);
            for (QChar &c : column) {
                if (c.category() == QChar::Other_Control)
                    c = u' ';
            }
            extra << line(QStringLiteral("X-CSV"), escaped(v), {Param{QStringLiteral("X-COLUMN"), {column}}});
            break;
        }
        case Field::Name: once(fullName); break;
        case Field::First: append(firstName, v, u' '); break;
        case Field::Middle: append(middleName, v, u' '); break;
        case Field::Last: append(lastName, v, u' '); break;
        case Field::Prefix: append(prefix, v, u' '); break;
        case Field::Suffix: append(suffix, v, u' '); break;
        case Field::Nickname: once(nickname); break;
        case Field::Company: once(company); break;
        case Field::Department: once(department); break;
        case Field::JobTitle: once(title); break;
        case Field::Birthday:
            if (!noDate(v)) // "0/0/00" is how one exporter says none
                once(birthday);
            break;
        case Field::Notes: append(notes, cells[i], u'\n'); break;
        case Field::Category:
            for (const QString &part : multi(v)) {
                for (const QString &piece : part.split(u';')) {
                    const QString c = cleaned(piece);
                    if (!c.isEmpty() && !c.startsWith(u'*') && !categories.contains(c))
                        categories << c;
                }
            }
            break;
        case Field::Phone:
        case Field::Mail:
        case Field::Website: {
            const QStringList values = multi(cells[i]);
            const QStringList labels = labelOf[i] < 0 ? QStringList() : multi(cells[labelOf[i]]);
            for (qsizetype k = 0; k < values.size(); ++k) {
                if (values[k].isEmpty())
                    continue;
                QString d = cleanLabel(labels.size() == 1 ? labels[0] : labels.value(k));
                if (d.isEmpty())
                    d = r.description;
                lists[int(r.field) - int(Field::Phone)] << ItemEntry{values[k], d};
            }
            break;
        }
        case Field::PhoneList:
        case Field::MailList:
        case Field::WebsiteList: lists[int(r.field) - int(Field::PhoneList)] << parseList(v); break;
        case Field::Address: append(place(r.group).formatted, v, u'\n'); break;
        case Field::Street:
        case Field::PoBox:
        case Field::Extended:
        case Field::City:
        case Field::Region:
        case Field::PostalCode:
        case Field::Country: {
            Place &p = place(r.group);
            append(p.parts[partIndex(r.field)], v, u'\n');
            if (p.type.isEmpty())
                p.type = r.description;
            break;
        }
        }
    }

    // Names: a whole name is split when it is all there is.
    bool nameSplit = false;
    if (firstName.isEmpty() && lastName.isEmpty() && !fullName.isEmpty()) {
        nameSplit = true;
        const qsizetype comma = fullName.indexOf(u',');
        const QStringList words = fullName.simplified().split(u' ');
        if (comma > 0) { // "Adams, Ann"
            lastName = cleaned(fullName.left(comma));
            firstName = cleaned(fullName.mid(comma + 1));
        } else if (words.size() == 1) {
            firstName = words.first();
        } else {
            lastName = cleaned(words.last());
            firstName = cleaned(words.mid(0, words.size() - 1).join(u' '));
        }
    }
    out.columns[First] = (firstName + u' ' + middleName).trimmed();
    out.columns[Last] = lastName;
    if (!middleName.isEmpty() || !prefix.isEmpty() || !suffix.isEmpty()) {
        out.kept << line(QStringLiteral("N"), joinEscaped({lastName, firstName, middleName, prefix, suffix}, u';'));
    }
    if (!nameSplit && !fullName.isEmpty() &&
        fullName.simplified() != (out.columns[First] + u' ' + out.columns[Last]).simplified())
        out.kept << line(QStringLiteral("FN"), escaped(fullName));
    if (!nickname.isEmpty())
        out.kept << line(QStringLiteral("NICKNAME"), escaped(nickname));
    if (!birthday.isEmpty())
        out.kept << line(QStringLiteral("BDAY"), escaped(birthday));
    if (!title.isEmpty())
        out.kept << line(QStringLiteral("TITLE"), escaped(title));
    if (!department.isEmpty())
        out.kept << line(QStringLiteral("ORG"), joinEscaped({company, department}, u';'));

    out.columns[Company] = company;
    // As for a card: no contact arrives without a visible name when it has a company.
    if (out.columns[First].isEmpty() && out.columns[Last].isEmpty())
        out.columns[First] = company;

    for (const Place &p : places) {
        QStringList parts(std::begin(p.parts), std::end(p.parts));
        const bool hasParts = std::any_of(parts.cbegin(), parts.cend(), [](const QString &s) { return !s.isEmpty(); });
        const QString text = p.formatted.isEmpty() ? AddressText(parts) : p.formatted;
        if (text.isEmpty())
            continue;
        const QString &type = p.type;
        // The parts are kept only while they still say what the text says.
        if (!hasParts || AddressText(parts) != text)
            parts = QStringList{QString(), QString(), text, QString(), QString(), QString(), QString()};
        if (out.columns[Address].isEmpty()) {
            out.columns[Address] = text;
            if (flat(parts) && type.isEmpty())
                continue;
        }
        out.kept << adrLine(parts, type);
    }
    out.columns[Category] = categories.value(0);
    if (categories.size() > 1)
        out.kept << line(QStringLiteral("CATEGORIES"), joinEscaped(categories, u','));
    out.columns[Phones] = GetList(lists[0]);
    out.columns[Mails] = GetList(lists[1]);
    out.columns[Websites] = GetList(lists[2]);
    out.columns[Notes] = notes;
    out.kept << extra;

    // A contact with only an address or notes is still one (the book holds
    // such, and exports them); a row with nothing at all is not.
    bool any = !out.kept.isEmpty();
    for (const QString &value : std::as_const(out.columns))
        any = any || !value.trimmed().isEmpty();
    if (!any) {
        if (reason)
            *reason = QStringLiteral("The row holds nothing to import.");
        return false;
    }
    return true;
}

Contacts ToContacts(const Csv::Table &table, const Mapping &mapping)
{
    Contacts out;
    Contact c;
    QString reason;
    out.contacts.reserve(table.rowCount());
    for (qsizetype row = 0; row < table.rowCount(); ++row) {
        if (ToContact(mapping, table.header, table.cells(row), c, &reason)) {
            out.contacts << c;
            out.lines << table.line(row);
        } else {
            out.skipped << Csv::Problem{table.line(row), reason};
        }
    }
    return out;
}

// ---- Writing ---------------------------------------------------------------

namespace {

const char *const kPlainHeader[] = {"First Name", "Last Name", "Company",  "Address", "Category",
                                    "Phones",     "E-mails",   "Websites", "Notes"};
// The web-mail layout's first columns; ExportRow() fills them by these places.
const char *const kWebMailNames[] = {"First Name",        "Middle Name",        "Last Name",
                                     "Name Prefix",       "Name Suffix",        "Nickname",
                                     "Organization Name", "Organization Title", "Organization Department",
                                     "Birthday",          "Notes",              "Labels"};
const char *const kAddressParts[] = {"Label", "Formatted", "Street", "City", "PO Box",
                                     "Region", "Postal Code", "Country", "Extended Address"};
// ADR component of each part after Formatted.
const int kAddressComponent[] = {2, 3, 0, 4, 5, 6, 1};

// The kept ADR lines: the one that says the address column's text (null when
// none does), and the others.
const Property *splitAddresses(const QList<Property> &kept, const QString &address, QList<const Property *> &others)
{
    const Property *main = nullptr;
    for (const Property &p : kept) {
        if (p.name != QLatin1String("ADR"))
            continue;
        if (!main && !address.isEmpty() && ContactCard::AddressText(p.components()) == address)
            main = &p;
        else
            others << &p;
    }
    return main;
}

// Values and labels for `count` columns: the last one takes every entry left.
void fillSlots(QStringList &row, qsizetype at, int count, const QList<ItemEntry> &entries)
{
    for (int slot = 0; slot < count; ++slot) {
        const qsizetype from = slot, to = slot == count - 1 ? entries.size() : qMin<qsizetype>(slot + 1, entries.size());
        QStringList labels, values;
        for (qsizetype k = from; k < to; ++k) {
            labels << entries[k].sDescription;
            values << entries[k].sItem;
        }
        const bool anyLabel = std::any_of(labels.cbegin(), labels.cend(), [](const QString &l) { return !l.isEmpty(); });
        row[at + 2 * slot] = anyLabel ? labels.join(QLatin1String(" ::: ")) : QString();
        row[at + 2 * slot + 1] = values.join(QLatin1String(" ::: "));
    }
}

} // namespace

void Shape::fit(const QStringList &columns, const QStringList &kept)
{
    using namespace ContactCard;
    mails = qMax<int>(mails, SplitItemList(columns.value(Mails)).size());
    phones = qMax<int>(phones, SplitItemList(columns.value(Phones)).size());
    websites = qMax<int>(websites, SplitItemList(columns.value(Websites)).size());
    QList<const Property *> others;
    const QList<Property> props = parsed(kept);
    splitAddresses(props, columns.value(Address), others);
    addresses = qMax<int>(addresses, 1 + others.size());
}

QStringList ExportHeader(ExportLayout layout, const Shape &shape)
{
    QStringList h;
    if (layout == ExportLayout::Plain) {
        for (const char *n : kPlainHeader)
            h << QString::fromLatin1(n);
        return h;
    }
    for (const char *n : kWebMailNames)
        h << QString::fromLatin1(n);
    auto numbered = [&](const char *kind, int count, std::initializer_list<const char *> parts) {
        for (int i = 1; i <= count; ++i) {
            for (const char *p : parts)
                h << QStringLiteral("%1 %2 - %3").arg(QLatin1String(kind)).arg(i).arg(QLatin1String(p));
        }
    };
    numbered("E-mail", shape.mails, {"Label", "Value"});
    numbered("Phone", shape.phones, {"Label", "Value"});
    for (int i = 1; i <= shape.addresses; ++i) {
        for (const char *p : kAddressParts)
            h << QStringLiteral("Address %1 - %2").arg(i).arg(QLatin1String(p));
    }
    numbered("Website", shape.websites, {"Label", "Value"});
    return h;
}

QStringList ExportRow(ExportLayout layout, const QStringList &columns, const QStringList &keptLines, const Shape &shape)
{
    using namespace ContactCard;
    const QStringList c = Padded(columns, ColumnCount);
    if (layout == ExportLayout::Plain) {
        return {c[First], c[Last], c[Company], c[Address], c[Category], formatList(c[Phones]), formatList(c[Mails]),
                formatList(c[Websites]), c[Notes]};
    }
    // As many cells as the header has (built once by the caller, not per row).
    const qsizetype width = qsizetype(std::size(kWebMailNames)) + 2 * shape.mails + 2 * shape.phones +
                            shape.addresses * qsizetype(std::size(kAddressParts)) + 2 * shape.websites;
    QStringList row(width, QString());
    const QList<Property> kept = parsed(keptLines);

    const Property *n = nullptr;
    for (const Property &p : kept) {
        if (p.name != QLatin1String("N"))
            continue;
        QString first, last;
        NamesFromN(p.components(), first, last);
        if (first == c[First] && last == c[Last]) {
            n = &p;
            break;
        }
    }
    if (n) {
        const QStringList parts = Padded(n->components(), 5);
        row[0] = parts[1];
        row[1] = parts[2];
        row[2] = parts[0];
        row[3] = parts[3];
        row[4] = parts[4];
    } else {
        // A company's own contact gets its name from the company again.
        const bool company = c[Last].isEmpty() && c[First] == c[Company];
        row[0] = company ? QString() : c[First];
        row[2] = c[Last];
    }
    auto text = [&](const char *name) {
        const Property *p = firstNamed(kept, name);
        return p ? p->text() : QString();
    };
    row[5] = text("NICKNAME");
    row[6] = c[Company];
    row[7] = text("TITLE");
    for (const Property &p : kept) {
        if (p.name == QLatin1String("ORG") && p.components().value(0) == c[Company]) {
            row[8] = p.components().value(1);
            break;
        }
    }
    row[9] = text("BDAY");
    row[10] = c[Notes];
    QStringList labels{QStringLiteral("* myContacts")};
    if (!c[Category].isEmpty()) {
        labels << c[Category];
        const Property *categories = firstNamed(kept, "CATEGORIES");
        if (categories && categories->list().value(0) == c[Category])
            labels << categories->list().mid(1);
    }
    row[11] = labels.join(QLatin1String(" ::: "));

    qsizetype at = std::size(kWebMailNames);
    fillSlots(row, at, shape.mails, SplitItemList(c[Mails]));
    at += 2 * shape.mails;
    fillSlots(row, at, shape.phones, SplitItemList(c[Phones]));
    at += 2 * shape.phones;
    QList<const Property *> others;
    const Property *main = splitAddresses(kept, c[Address], others);
    auto address = [&](qsizetype base, const Property *adr, const QString &formatted) {
        row[base + 1] = formatted;
        if (!adr)
            return;
        row[base] = capitalized(adr->param(QStringLiteral("TYPE")).join(QLatin1String(", ")));
        const QStringList parts = Padded(adr->components(), 7);
        if (flat(parts))
            return;
        for (int k = 0; k < 7; ++k)
            row[base + 2 + k] = parts[kAddressComponent[k]];
    };
    if (shape.addresses > 0 && !c[Address].isEmpty())
        address(at, main, c[Address]);
    for (int slot = 1; slot < shape.addresses && slot - 1 < others.size(); ++slot) {
        const Property *adr = others[slot - 1];
        address(at + slot * std::size(kAddressParts), adr, AddressText(adr->components()));
    }
    at += shape.addresses * std::size(kAddressParts);
    fillSlots(row, at, shape.websites, SplitItemList(c[Websites]));
    return row;
}

} // namespace CsvMapping
