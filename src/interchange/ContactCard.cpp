#include "interchange/ContactCard.h"

#include "interchange/Bytes.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "store/ItemList.h"

#include <QHash>
#include <QSet>

using VCard::Card;
using VCard::Param;
using VCard::Property;

namespace {

const char *const kColumnNames[] = {"First_Name", "Last_Name", "Company",       "Address", "Category", "Phones",
                                    "Mails",      "Websites",  "Notes",         "Date_Registed", "Picture"};

// Properties the columns stand for, or the writer makes afresh each time.
const QSet<QString> &consumedNames()
{
    static const QSet<QString> names{QStringLiteral("BEGIN"), QStringLiteral("END"), QStringLiteral("VERSION"),
                                     QStringLiteral("PRODID"), QStringLiteral("REV"), QStringLiteral("UID")};
    return names;
}

// Types that say nothing a person needs to read in a description.
bool noiseType(const QString &type)
{
    return type.compare(QLatin1String("pref"), Qt::CaseInsensitive) == 0 ||
           type.compare(QLatin1String("internet"), Qt::CaseInsensitive) == 0;
}

// Types a description may be written back as, per property.
bool knownType(const QString &name, const QString &type)
{
    static const QSet<QString> tel{"home", "work", "cell", "voice", "fax", "pager", "video", "text", "msg",
                                   "car", "isdn", "bbs", "modem", "pcs", "main", "other", "textphone"};
    static const QSet<QString> other{"home", "work", "other"};
    return (name == QLatin1String("TEL") ? tel : other).contains(type);
}

// "_$!<Mobile>!$_" is how some programs mark a label of their own list.
QString cleanLabel(QString label)
{
    if (label.startsWith(QLatin1String("_$!<")) && label.endsWith(QLatin1String(">!$_")))
        label = label.mid(4, label.size() - 8);
    return label;
}

QString typesOf(const Property &p)
{
    QStringList out;
    for (const QString &value : p.param(QStringLiteral("TYPE"))) {
        for (const QString &t : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            const QString type = t.trimmed().toLower();
            if (!type.isEmpty() && !noiseType(type) && !out.contains(type))
                out << type;
        }
    }
    return out.join(QStringLiteral(", "));
}

QString itemValue(const Property &p)
{
    QString v = p.text().trimmed();
    if (p.name == QLatin1String("TEL") && v.startsWith(QLatin1String("tel:"), Qt::CaseInsensitive)) {
        v = v.mid(4);
        // "tel:+1-555-0100;ext=12" keeps the number and its extension.
        v.replace(QLatin1String(";ext="), QLatin1String(" ext. "));
    }
    return v;
}

// A text value as a card holds it, escapes in place; every kind of line break
// is one newline.
QString escapedText(QString v)
{
    v.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    v.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    v.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    v.replace(QLatin1Char(','), QLatin1String("\\,"));
    v.replace(QLatin1Char(';'), QLatin1String("\\;"));
    v.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    return v;
}

QString fullName(const QStringList &columns)
{
    return (columns.at(ContactCard::First) + QLatin1Char(' ') + columns.at(ContactCard::Last)).trimmed();
}

bool isPref(const Property &p)
{
    return p.hasType(QStringLiteral("pref")) || !p.param(QStringLiteral("PREF")).isEmpty();
}

// Whether the kept line of `name` still says what the columns say; then it is
// written instead of one made from the columns.
const Property *keptMatching(const QList<Property> &kept, const QString &name,
                             const std::function<bool(const Property &)> &matches)
{
    for (const Property &p : kept) {
        if (p.name == name && matches(p))
            return &p;
    }
    return nullptr;
}

} // namespace

namespace ContactCard {

namespace {

// The item lists and the card property each entry becomes.
struct ListProperty
{
    int column;
    const char *name;
};
const ListProperty kLists[] = {{Phones, "TEL"}, {Mails, "EMAIL"}, {Websites, "URL"}};

} // namespace


QStringList Padded(QStringList parts, int count)
{
    while (parts.size() < count)
        parts << QString();
    return parts;
}

void NamesFromN(const QStringList &components, QString &first, QString &last)
{
    const QStringList c = Padded(components, 5);
    last = c.at(0).trimmed();
    first = (c.at(1).trimmed() + QLatin1Char(' ') + c.at(2).trimmed()).trimmed();
}

const char *ColumnName(int column)
{
    return kColumnNames[column];
}

QString AddressText(const QStringList &components)
{
    const QStringList c = Padded(components, 7);
    QStringList lines;
    for (int i : {0, 1, 2}) {
        if (!c.at(i).trimmed().isEmpty())
            lines << c.at(i).trimmed();
    }
    QStringList place;
    for (int i : {3, 4, 5}) {
        if (!c.at(i).trimmed().isEmpty())
            place << c.at(i).trimmed();
    }
    if (!place.isEmpty())
        lines << place.join(QLatin1Char(' '));
    if (!c.at(6).trimmed().isEmpty())
        lines << c.at(6).trimmed();
    return lines.join(QLatin1Char('\n'));
}

QString PictureType(const QByteArray &bytes, QString *suffix)
{
    struct Kind
    {
        const char *magic;
        const char *type;
        const char *suffix;
    };
    static const Kind kinds[] = {{"\xFF\xD8\xFF", "image/jpeg", "jpg"},
                                 {"\x89PNG", "image/png", "png"},
                                 {"GIF8", "image/gif", "gif"},
                                 {"BM", "image/bmp", "bmp"}};
    for (const Kind &k : kinds) {
        if (bytes.startsWith(k.magic)) {
            if (suffix)
                *suffix = QString::fromLatin1(k.suffix);
            return QString::fromLatin1(k.type);
        }
    }
    return QString();
}

QString JoinKept(const QStringList &kept)
{
    return kept.join(QLatin1Char('\n'));
}

QStringList SplitKept(const QString &stored)
{
    QStringList out;
    for (const QString &line : stored.split(QLatin1Char('\n'))) {
        const QString l = line.trimmed();
        if (!l.isEmpty())
            out << l;
    }
    return out;
}

Contact FromCard(const Card &card)
{
    Contact c;
    // Labels of grouped properties ("item1.TEL" and "item1.X-ABLabel").
    QHash<QString, QString> labels;
    for (const Property &p : card.properties) {
        if (!p.group.isEmpty() && p.name == QLatin1String("X-ABLABEL"))
            labels.insert(p.group.toLower(), cleanLabel(p.text().trimmed()));
    }
    QSet<const Property *> listed; // entries of the phone, mail and site lists
    QSet<QString> labelledGroups; // groups whose label a list entry used
    QList<ItemEntry> lists[3];
    const QString listNames[3] = {QStringLiteral("TEL"), QStringLiteral("EMAIL"), QStringLiteral("URL")};
    const Property *n = nullptr, *fn = nullptr, *org = nullptr, *adr = nullptr, *note = nullptr, *photo = nullptr;
    QStringList categories;
    int categoryLines = 0;
    for (const Property &p : card.properties) {
        if (p.name == QLatin1String("N") && !n)
            n = &p;
        else if (p.name == QLatin1String("FN") && !fn)
            fn = &p;
        else if (p.name == QLatin1String("ORG") && !org)
            org = &p;
        else if (p.name == QLatin1String("NOTE") && !note)
            note = &p;
        else if (p.name == QLatin1String("ADR") && (!adr || (isPref(p) && !isPref(*adr))))
            adr = &p;
        else if (p.name == QLatin1String("PHOTO") && !photo && !p.binary.isEmpty())
            photo = &p;
        else if (p.name == QLatin1String("PHOTO") && !photo && p.value.startsWith(QLatin1String("data:")))
            photo = &p;
        else if (p.name == QLatin1String("CATEGORIES")) {
            categories << p.list();
            ++categoryLines;
        }
        for (int i = 0; i < 3; ++i) {
            if (p.name != listNames[i])
                continue;
            const QString item = itemValue(p);
            if (item.isEmpty())
                break;
            listed << &p;
            QString description;
            if (!p.group.isEmpty() && !labels.isEmpty() && labels.contains(p.group.toLower())) {
                description = labels.value(p.group.toLower());
                labelledGroups << p.group.toLower();
            } else if (!p.params.isEmpty()) {
                description = typesOf(p);
            }
            lists[i] << ItemEntry{SafeItemField(item, true), SafeItemField(description, false)};
        }
    }
    c.uid = card.first(QStringLiteral("UID")) ? card.first(QStringLiteral("UID"))->text().trimmed() : QString();
    if (c.uid.startsWith(QLatin1String("urn:uuid:"), Qt::CaseInsensitive))
        c.uid = c.uid.mid(9);

    // Names: from N; from FN when N gives none, then the organisation, so
    // that no contact arrives without a visible name.
    const QStringList nParts = n ? Padded(n->components(), 5) : QStringList();
    if (n)
        NamesFromN(nParts, c.columns[First], c.columns[Last]);
    if (c.columns[First].isEmpty() && c.columns[Last].isEmpty()) {
        if (fn && !fn->text().trimmed().isEmpty())
            c.columns[First] = fn->text().trimmed();
        else if (org)
            c.columns[First] = org->components().value(0).trimmed();
    }
    c.columns[Company] = org ? org->components().value(0).trimmed() : QString();
    c.columns[Address] = adr ? AddressText(adr->components()) : QString();
    c.columns[Category] = categories.isEmpty() ? QString() : categories.first().trimmed();
    c.columns[Phones] = GetList(lists[0]);
    c.columns[Mails] = GetList(lists[1]);
    c.columns[Websites] = GetList(lists[2]);
    c.columns[Notes] = note ? note->text() : QString();
    if (photo) {
        QByteArray bytes = photo->binary;
        if (bytes.isEmpty()) { // data:image/jpeg;base64,....
            const qsizetype comma = photo->value.indexOf(QLatin1Char(','));
            if (comma > 0 && photo->value.left(comma).endsWith(QLatin1String(";base64")))
                bytes = QByteArray::fromBase64(photo->value.mid(comma + 1).toLatin1());
        }
        QString suffix;
        if (!PictureType(bytes, &suffix).isEmpty()) {
            c.photo = bytes;
            c.photoType = suffix;
        } else {
            photo = nullptr; // not a picture we can show: kept as it came
        }
    }

    // What the columns cannot give back exactly is kept.
    const QString name = fullName(c.columns);
    for (const Property &p : card.properties) {
        if (consumedNames().contains(p.name))
            continue;
        if (&p == photo || &p == note)
            continue;
        if (&p == n && nParts == QStringList{c.columns[Last], c.columns[First], QString(), QString(), QString()} &&
            p.params.isEmpty() && p.group.isEmpty())
            continue;
        if (&p == fn && p.text().trimmed() == name && p.params.isEmpty() && p.group.isEmpty())
            continue;
        if (&p == org && p.components().size() <= 1 && p.params.isEmpty() && p.group.isEmpty())
            continue;
        if (&p == adr && p.params.isEmpty() && p.group.isEmpty() &&
            Padded(p.components(), 7) == QStringList{QString(), QString(), c.columns[Address], QString(), QString(),
                                                      QString(), QString()})
            continue;
        if (p.name == QLatin1String("CATEGORIES") && categories.size() <= 1 && categoryLines <= 1 &&
            p.params.isEmpty() && p.group.isEmpty())
            continue;
        if (listed.contains(&p))
            continue;
        if (p.name == QLatin1String("X-ABLABEL") && labelledGroups.contains(p.group.toLower()))
            continue;
        c.kept << p.toLine();
    }
    return c;
}

void ToCard(VCard::Writer &w, const QStringList &columns, const QString &uid, const QStringList &keptLines,
            const QString &rev, const QByteArray &picture)
{
    QList<Property> kept;
    for (const QString &line : keptLines) {
        Property p;
        if (Property::fromLine(line, p))
            kept << p;
    }
    QSet<const Property *> written;
    const QString name = fullName(columns);
    w.begin();

    const Property *keptN = keptMatching(kept, QStringLiteral("N"), [&](const Property &p) {
        QString first, last;
        NamesFromN(p.components(), first, last);
        return first == columns.at(First) && last == columns.at(Last);
    });
    const Property *keptFn = keptMatching(kept, QStringLiteral("FN"), [&](const Property &p) {
        const QString t = p.text();
        return t.contains(columns.at(First)) && t.contains(columns.at(Last));
    });
    QString fn = name;
    if (fn.isEmpty())
        fn = columns.at(Company);
    if (fn.isEmpty())
        fn = GetFirstItem(columns.at(Mails));
    auto writeFn = [&] {
        if (keptFn) {
            w.property(*keptFn);
            written << keptFn;
        } else {
            w.text(QStringLiteral("FN"), fn);
        }
    };
    auto writeN = [&] {
        if (keptN) {
            w.property(*keptN);
            written << keptN;
        } else {
            w.components(QStringLiteral("N"), {columns.at(Last), columns.at(First), QString(), QString(), QString()});
        }
    };
    // Kept ones in the order they came, so that the kept lines read back the same.
    if (keptFn && keptN && keptN < keptFn) {
        writeN();
        writeFn();
    } else {
        writeFn();
        writeN();
    }
    // Other FN or N lines that no longer match the names are dropped: the
    // names were changed here since.
    for (const Property &p : kept) {
        if ((p.name == QLatin1String("N") || p.name == QLatin1String("FN")) && !written.contains(&p))
            written << &p;
    }

    if (!columns.at(Company).isEmpty()) {
        const Property *keptOrg = keptMatching(kept, QStringLiteral("ORG"), [&](const Property &p) {
            return p.components().value(0).trimmed() == columns.at(Company);
        });
        if (!keptOrg)
            w.components(QStringLiteral("ORG"), {columns.at(Company)});
    }
    if (!columns.at(Address).isEmpty()) {
        const Property *keptAdr = keptMatching(kept, QStringLiteral("ADR"), [&](const Property &p) {
            return AddressText(p.components()) == columns.at(Address);
        });
        if (!keptAdr) {
            w.components(QStringLiteral("ADR"),
                         {QString(), QString(), columns.at(Address), QString(), QString(), QString(), QString()});
        }
    }

    int group = 0;
    for (const ListProperty &l : kLists) {
        const QString propName = QString::fromLatin1(l.name);
        for (const ItemEntry &e : SplitItemList(columns.at(l.column))) {
            const QString description = e.sDescription.trimmed();
            QStringList types;
            bool plain = true;
            for (const QString &t : description.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
                types << t.trimmed().toLower();
                plain = plain && knownType(propName, types.last()) && t.trimmed() == types.last();
            }
            if (plain) {
                QList<Param> params;
                if (!types.isEmpty())
                    params << Param{QStringLiteral("TYPE"), types};
                w.text(propName, e.sItem, params);
            } else {
                // A description of its own travels as a label of the entry's group.
                Property p;
                p.group = QStringLiteral("item%1").arg(++group);
                p.name = propName;
                p.value = escapedText(e.sItem);
                w.property(p);
                Property label;
                label.group = p.group;
                label.name = QStringLiteral("X-ABLABEL");
                label.value = escapedText(description);
                w.property(label);
            }
        }
    }
    if (!columns.at(Category).isEmpty()) {
        const Property *keptCategories = keptMatching(kept, QStringLiteral("CATEGORIES"), [&](const Property &p) {
            return p.list().value(0).trimmed() == columns.at(Category);
        });
        if (!keptCategories)
            w.list(QStringLiteral("CATEGORIES"), {columns.at(Category)});
    }
    if (!columns.at(Notes).isEmpty())
        w.text(QStringLiteral("NOTE"), columns.at(Notes));
    const QString mediaType = PictureType(picture);
    if (!mediaType.isEmpty())
        w.binary(QStringLiteral("PHOTO"), picture, mediaType);
    w.text(QStringLiteral("UID"), w.version() == VCard::Version::V40 && uid.size() == 36 && uid.count(QLatin1Char('-')) == 4
                                      ? QStringLiteral("urn:uuid:") + uid
                                      : uid);
    w.text(QStringLiteral("REV"), rev);
    for (const Property &p : kept) {
        if (!written.contains(&p))
            w.property(p);
    }
    w.end();
}

} // namespace ContactCard

namespace {

bool asciiBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// Well-formed UTF-8 (as QString reads it back unchanged).
bool validUtf8(QByteArrayView s)
{
    const auto *p = reinterpret_cast<const uchar *>(s.data());
    const qsizetype n = s.size();
    qsizetype i = 0;
    while (i < n) {
        // Plain ASCII eight bytes at a time.
        for (quint64 w; i + 8 <= n; i += 8) {
            std::memcpy(&w, p + i, 8);
            if (w & 0x8080808080808080ULL)
                break;
        }
        if (i == n)
            break;
        const uchar c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int more;
        char32_t cp;
        if (c >= 0xC2 && c <= 0xDF) {
            more = 1;
            cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            more = 2;
            cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            more = 3;
            cp = c & 0x07;
        } else {
            return false;
        }
        for (int k = 1; k <= more; ++k) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if ((more == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (more == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += more + 1;
    }
    return true;
}

// Stored text that QString reads as it is: valid UTF-8 that does not begin
// with a byte order mark (not read as a character).
bool readsBackAsStored(QByteArrayView s)
{
    return validUtf8(s) && !(s.size() >= 3 && uchar(s[0]) == 0xEF && uchar(s[1]) == 0xBB && uchar(s[2]) == 0xBF);
}

// White space beyond ASCII, as QChar::isSpace() has it.
bool wideSpace(char32_t c)
{
    return c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 ||
           c == 0x202F || c == 0x205F || c == 0x3000;
}

// The first or last character of valid UTF-8 text.
char32_t edgeCharacter(QByteArrayView s, bool last)
{
    const auto *p = reinterpret_cast<const uchar *>(s.data());
    qsizetype i = last ? s.size() - 1 : 0;
    if (last) {
        while (i > 0 && (p[i] & 0xC0) == 0x80)
            --i;
    }
    const uchar c = p[i];
    if (c < 0x80)
        return c;
    const int more = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : 1;
    char32_t cp = c & (0x3F >> more);
    for (int k = 1; k <= more && i + k < s.size(); ++k)
        cp = (cp << 6) | (p[i + k] & 0x3F);
    return cp;
}

// A name whose ends QString::trimmed() would leave as they are.
bool plainEnds(QByteArrayView s)
{
    if (s.isEmpty())
        return true;
    const auto blank = [](char32_t c) { return c < 0x80 ? asciiBlank(char(c)) : wideSpace(c); };
    return !blank(edgeCharacter(s, false)) && !blank(edgeCharacter(s, true));
}

QByteArrayView trimmedAscii(QByteArrayView s)
{
    while (!s.isEmpty() && asciiBlank(s.front()))
        s = s.sliced(1);
    while (!s.isEmpty() && asciiBlank(s.back()))
        s.chop(1);
    return s;
}

// A text value escaped for 3.0 and 4.0: line breaks as \n, and \ , ; escaped.
// Runs without any of them are copied whole.
void appendEscaped(std::string &out, QByteArrayView v)
{
    const char *p = v.data();
    const qsizetype n = v.size();
    qsizetype run = 0;
    for (qsizetype i = FirstOf<'\r', '\n', '\\', ',', ';'>(p, 0, n); i < n;
         i = FirstOf<'\r', '\n', '\\', ',', ';'>(p, i + 1, n)) {
        const char c = p[i];
        out.append(p + run, size_t(i - run));
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < n && p[i + 1] == '\n')
                ++i;
            out.append("\\n", 2);
        } else {
            out += '\\';
            out += c;
        }
        run = i + 1;
    }
    out.append(p + run, size_t(n - run));
}

bool knownTypeAscii(const char *prop, QByteArrayView t)
{
    static const char *const tel[] = {"home", "work", "cell", "voice", "fax", "pager", "video", "text", "msg",
                                      "car", "isdn", "bbs", "modem", "pcs", "main", "other", "textphone"};
    static const char *const other[] = {"home", "work", "other"};
    if (std::strcmp(prop, "TEL") == 0)
        return std::any_of(std::begin(tel), std::end(tel), [&](const char *k) { return t == QByteArrayView(k); });
    return std::any_of(std::begin(other), std::end(other), [&](const char *k) { return t == QByteArrayView(k); });
}

// Ends that QString::trimmed() might see otherwise than the ASCII blanks
// (a space beyond ASCII): left to the general way.
bool unsureEnds(QByteArrayView s)
{
    s = trimmedAscii(s);
    return !s.isEmpty() && (wideSpace(edgeCharacter(s, false)) || wideSpace(edgeCharacter(s, true)));
}

// Where `sep` first is in `s` from `from` on, or -1: a short separator found
// by its first byte, which the C library looks for many bytes at a time.
qsizetype findSeparator(QByteArrayView s, QByteArrayView sep, qsizetype from = 0)
{
    const char *p = s.data();
    const qsizetype n = s.size(), k = sep.size();
    while (from >= 0 && from + k <= n) {
        const void *hit = std::memchr(p + from, sep[0], size_t(n - k - from + 1));
        if (!hit)
            return -1;
        const qsizetype at = static_cast<const char *>(hit) - p;
        if (std::memcmp(p + at, sep.data(), size_t(k)) == 0)
            return at;
        from = at + 1;
    }
    return -1;
}

// Every entry of an item list: item and description, as SplitItemList gives them.
template <typename Each>
void forEachEntry(QByteArrayView all, Each each)
{
    const QByteArrayView seps(":*:");
    qsizetype start = 0;
    while (start <= all.size()) {
        qsizetype end = findSeparator(all, "\r\n", start);
        if (end < 0)
            end = all.size();
        const QByteArrayView entry = all.sliced(start, end - start);
        start = end + 2;
        if (entry.isEmpty())
            continue;
        QByteArrayView item = entry, description;
        if (const qsizetype s1 = findSeparator(entry, seps); s1 >= 0) {
            item = entry.first(s1);
            const QByteArrayView rest = entry.sliced(s1 + 3);
            const qsizetype s2 = findSeparator(rest, seps);
            description = s2 < 0 ? rest : rest.first(s2);
        }
        each(item, description);
    }
}

// The comma-separated parts of a description, empty ones skipped, as
// QString::split(',', Qt::SkipEmptyParts) gives them.
template <typename Each>
void forEachPart(QByteArrayView description, Each each)
{
    for (qsizetype from = 0; from <= description.size();) {
        qsizetype comma = description.indexOf(',', from);
        if (comma < 0)
            comma = description.size();
        const QByteArrayView part = description.sliced(from, comma - from);
        from = comma + 1;
        if (!part.isEmpty())
            each(part);
    }
}

// The contact columns a CSV row of either layout is made of.
constexpr int kCsvColumns[] = {ContactCard::First, ContactCard::Last,   ContactCard::Company,
                               ContactCard::Address, ContactCard::Category, ContactCard::Phones,
                               ContactCard::Mails, ContactCard::Websites, ContactCard::Notes};

// Whether those columns read back as stored (else the general way writes the row).
bool csvColumnsReadBack(const QByteArrayView *c)
{
    return std::all_of(std::begin(kCsvColumns), std::end(kCsvColumns), [c](int i) { return readsBackAsStored(c[i]); });
}

// A CSV row written cell by cell, commas between, onto the end of `out`.
// Written through a pointer into room kept ahead: a row of the web-mail
// layout is some sixty cells, most of them empty, and growing the array
// by hand for each comma weighed more than the cells' text.
class CsvLine
{
public:
    explicit CsvLine(QByteArray &out) : m_out(out), m_used(out.size()) { make(256); }
    ~CsvLine() { m_out.resize(m_used); }
    void cell(QByteArrayView v)
    {
        // As Csv::Writer writes a cell: quoted when it holds the delimiter, a
        // quote or a line break or starts or ends with a blank, quotes
        // doubled. The most it takes: its comma, quotes, every byte doubled.
        make(2 * v.size() + 3);
        char *p = m_out.data() + m_used;
        if (!m_first)
            *p++ = ',';
        m_first = false;
        if (!v.isEmpty()) {
            const bool quote = FirstOf<',', '"', '\r', '\n'>(v.data(), 0, v.size()) < v.size() || v.front() == ' ' ||
                               v.front() == '\t' || v.back() == ' ' || v.back() == '\t';
            if (!quote) {
                std::memcpy(p, v.data(), size_t(v.size()));
                p += v.size();
            } else {
                *p++ = '"';
                for (qsizetype from = 0; from < v.size();) {
                    const qsizetype at = FirstOf<'"'>(v.data(), from, v.size());
                    std::memcpy(p, v.data() + from, size_t(at - from));
                    p += at - from;
                    if (at < v.size()) {
                        *p++ = '"';
                        *p++ = '"';
                    }
                    from = at + 1;
                }
                *p++ = '"';
            }
        }
        m_used = p - m_out.data();
    }
    void empty(int n)
    {
        if (n <= 0)
            return;
        cell({}); // with its comma when it is not the first
        make(n - 1);
        std::memset(m_out.data() + m_used, ',', size_t(n - 1));
        m_used += n - 1;
    }
    void end()
    {
        make(2);
        std::memcpy(m_out.data() + m_used, "\r\n", 2);
        m_used += 2;
    }

private:
    // Room for `n` more bytes past what is written.
    void make(qsizetype n)
    {
        if (m_out.size() - m_used >= n)
            return;
        const qsizetype want = std::max(m_used + n + 4096, 2 * m_out.size());
        if (m_out.capacity() < want)
            m_out.reserve(want);
        m_out.resize(m_out.capacity());
    }
    QByteArray &m_out;
    qsizetype m_used;
    bool m_first = true;
};

} // namespace

namespace ContactCard {

bool ToCardFromStored(VCard::Writer &w, const QByteArrayView *c, QByteArrayView uid, QByteArrayView rev,
                      const QByteArray &picture)
{
    if (w.version() == VCard::Version::V21)
        return false;
    for (int i = 0; i < Picture; ++i) {
        if (!readsBackAsStored(c[i]))
            return false;
    }
    if (!plainEnds(c[First]) || !plainEnds(c[Last]))
        return false;
    bool unsure = false;
    for (const int list : {Phones, Mails, Websites}) {
        forEachEntry(c[list], [&](QByteArrayView, QByteArrayView description) {
            unsure = unsure || unsureEnds(description);
            forEachPart(trimmedAscii(description), [&](QByteArrayView part) { unsure = unsure || unsureEnds(part); });
        });
    }
    if (unsure)
        return false;

    thread_local std::string line;
    auto begin = [](const char *head) {
        line.resize(0);
        line += head;
    };
    auto flush = [&] { w.foldedLine(QByteArrayView(line.data(), qsizetype(line.size()))); };
    auto text = [&](const char *head, QByteArrayView value) {
        begin(head);
        appendEscaped(line, value);
        flush();
    };

    w.begin();
    // The name written is the full name, else the company, else the first mail.
    begin("FN:");
    if (!c[First].isEmpty() || !c[Last].isEmpty()) {
        appendEscaped(line, c[First]);
        if (!c[First].isEmpty() && !c[Last].isEmpty())
            line += ' ';
        appendEscaped(line, c[Last]);
    } else if (!c[Company].isEmpty()) {
        appendEscaped(line, c[Company]);
    } else if (const qsizetype at = findSeparator(c[Mails], ":*:"); at > 0) {
        appendEscaped(line, c[Mails].first(at));
    }
    flush();
    begin("N:");
    appendEscaped(line, c[Last]);
    line += ';';
    appendEscaped(line, c[First]);
    line += ";;;";
    flush();
    if (!c[Company].isEmpty())
        text("ORG:", c[Company]);
    if (!c[Address].isEmpty()) {
        begin("ADR:;;");
        appendEscaped(line, c[Address]);
        line += ";;;;";
        flush();
    }

    int group = 0;
    for (const ListProperty &l : kLists) {
        forEachEntry(c[l.column], [&](QByteArrayView item, QByteArrayView description) {
            description = trimmedAscii(description);
            // Known lower-case types go as TYPE; any other description as the
            // label of the entry's group.
            bool plain = true;
            forEachPart(description, [&](QByteArrayView part) {
                const QByteArrayView t = trimmedAscii(part);
                bool lower = true;
                for (const char ch : t)
                    lower = lower && uchar(ch) < 0x80 && !(ch >= 'A' && ch <= 'Z');
                plain = plain && lower && knownTypeAscii(l.name, t);
            });
            line.resize(0);
            if (plain) {
                line += l.name;
                bool first = true;
                forEachPart(description, [&](QByteArrayView part) {
                    line += first ? ";TYPE=" : ",";
                    const QByteArrayView t = trimmedAscii(part);
                    line.append(t.data(), size_t(t.size()));
                    first = false;
                });
                line += ':';
                appendEscaped(line, item);
                flush();
                return;
            }
            const std::string prefix = "item" + std::to_string(++group) + '.';
            line += prefix;
            line += l.name;
            line += ':';
            appendEscaped(line, item);
            flush();
            line.resize(0);
            line += prefix;
            line += "X-ABLABEL:";
            appendEscaped(line, description);
            flush();
        });
    }
    if (!c[Category].isEmpty())
        text("CATEGORIES:", c[Category]);
    if (!c[Notes].isEmpty())
        text("NOTE:", c[Notes]);
    if (!picture.isEmpty()) {
        const QString mediaType = PictureType(picture);
        if (!mediaType.isEmpty())
            w.binary(QStringLiteral("PHOTO"), picture, mediaType);
    }
    begin("UID:");
    if (w.version() == VCard::Version::V40 && uid.size() == 36 && uid.count('-') == 4)
        line += "urn:uuid:";
    appendEscaped(line, uid);
    flush();
    text("REV:", rev);
    w.end();
    return true;
}

bool ToPlainCsvFromStored(QByteArray &out, const QByteArrayView *c)
{
    if (!csvColumnsReadBack(c))
        return false;
    bool unsure = false;
    for (const int list : {Phones, Mails, Websites})
        forEachEntry(c[list], [&](QByteArrayView, QByteArrayView description) { unsure = unsure || unsureEnds(description); });
    if (unsure)
        return false;
    thread_local std::string formatted;
    CsvLine line(out);
    for (const int i : kCsvColumns) {
        if (i != Phones && i != Mails && i != Websites) {
            line.cell(c[i]);
            continue;
        }
        // "item (description)", "item ()" when the item itself ends with a
        // bracket, entries joined with "; ".
        formatted.resize(0);
        int entries = 0;
        forEachEntry(c[i], [&](QByteArrayView item, QByteArrayView description) {
            if (entries++)
                formatted += "; ";
            formatted.append(item.data(), size_t(item.size()));
            description = trimmedAscii(description);
            if (!description.isEmpty()) {
                formatted += " (";
                formatted.append(description.data(), size_t(description.size()));
                formatted += ')';
            } else if (item.endsWith(')')) {
                formatted += " ()";
            }
        });
        line.cell(QByteArrayView(formatted.data(), qsizetype(formatted.size())));
    }
    line.end();
    return true;
}

bool ToWebMailCsvFromStored(QByteArray &out, const QByteArrayView *c, int mails, int phones, int addresses,
                            int websites)
{
    if (!csvColumnsReadBack(c))
        return false;
    CsvLine line(out);
    auto view = [](const std::string &s) { return QByteArrayView(s.data(), qsizetype(s.size())); };

    // First, middle and last name, prefix, suffix, nickname: a company's own
    // contact gets its name from the company again.
    line.cell(c[Last].isEmpty() && c[First] == c[Company] ? QByteArrayView() : c[First]);
    line.empty(1);
    line.cell(c[Last]);
    line.empty(3);
    // Organization, its title and department, birthday, notes, labels.
    line.cell(c[Company]);
    line.empty(3);
    line.cell(c[Notes]);
    thread_local std::string labels, values;
    labels = "* myContacts";
    if (!c[Category].isEmpty()) {
        labels += " ::: ";
        labels.append(c[Category].data(), size_t(c[Category].size()));
    }
    line.cell(view(labels));

    // A label and a value per entry; the last of `count` columns takes every
    // entry left, " ::: " between them.
    auto columnsOf = [&](QByteArrayView list, int count) {
        if (count <= 0)
            return;
        int written = 0;
        bool anyLabel = false;
        labels.resize(0);
        values.resize(0);
        forEachEntry(list, [&](QByteArrayView item, QByteArrayView description) {
            if (written < count - 1) {
                line.cell(description);
                line.cell(item);
                ++written;
                return;
            }
            if (written++ > count - 1) {
                labels += " ::: ";
                values += " ::: ";
            }
            anyLabel = anyLabel || !description.isEmpty();
            labels.append(description.data(), size_t(description.size()));
            values.append(item.data(), size_t(item.size()));
        });
        line.empty(2 * (count - 1 - qMin(written, count - 1)));
        line.cell(anyLabel ? view(labels) : QByteArrayView());
        line.cell(view(values));
    };
    columnsOf(c[Mails], mails);
    columnsOf(c[Phones], phones);
    // Each address a label, the formatted text and seven parts: only the
    // formatted text is known without kept lines.
    for (int a = 0; a < addresses; ++a) {
        line.empty(1);
        line.cell(a == 0 ? c[Address] : QByteArrayView());
        line.empty(7);
    }
    columnsOf(c[Websites], websites);
    line.end();
    return true;
}

} // namespace ContactCard
