#include "interchange/ContactCard.h"

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
    const struct
    {
        int column;
        const char *name;
    } lists[] = {{Phones, "TEL"}, {Mails, "EMAIL"}, {Websites, "URL"}};
    for (const auto &l : lists) {
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
