#include "sync/CardMerge.h"

#include "store/ItemList.h"

#include <QSet>

using ContactCard::Contact;

namespace {

bool isList(int column)
{
    return column == ContactCard::Phones || column == ContactCard::Mails || column == ContactCard::Websites;
}

// The entries of `from` whose item `into` lacks, appended to it.
QString withEntries(const QString &into, const QString &from, const QString &except = QString())
{
    QList<ItemEntry> out = SplitItemList(into);
    QSet<QString> have;
    for (const ItemEntry &e : out)
        have << e.sItem.trimmed().toCaseFolded();
    QSet<QString> dropped;
    for (const ItemEntry &e : SplitItemList(except))
        dropped << e.sItem.trimmed().toCaseFolded();
    for (const ItemEntry &e : SplitItemList(from)) {
        const QString key = e.sItem.trimmed().toCaseFolded();
        if (!have.contains(key) && !dropped.contains(key)) {
            out << e;
            have << key;
        }
    }
    return GetList(out);
}

// "item1.TEL;TYPE=x:..." -> "TEL"
QString propertyName(const QString &line)
{
    qsizetype end = 0;
    while (end < line.size() && line.at(end) != QLatin1Char(':') && line.at(end) != QLatin1Char(';'))
        ++end;
    QString name = line.left(end);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    if (dot >= 0)
        name = name.mid(dot + 1);
    return name.toUpper();
}

QStringList linesNamed(const QStringList &kept, const QString &name)
{
    QStringList out;
    for (const QString &l : kept) {
        if (propertyName(l) == name)
            out << l;
    }
    return out;
}

QStringList mergeKept(const QStringList &winner, const QStringList &loser, const QStringList *base)
{
    QStringList names;
    for (const QStringList *side : {&winner, &loser}) {
        for (const QString &l : *side) {
            const QString n = propertyName(l);
            if (!names.contains(n))
                names << n;
        }
    }
    QStringList out;
    for (const QString &name : names) {
        const QStringList w = linesNamed(winner, name);
        const QStringList l = linesNamed(loser, name);
        if (!base) {
            out << (w.isEmpty() ? l : w);
            continue;
        }
        const QStringList b = linesNamed(*base, name);
        if (w == b) { // only the loser changed these
            out << l;
            continue;
        }
        out << w;
        // Lines the loser added beside the winner's.
        for (const QString &line : l) {
            if (!b.contains(line) && !w.contains(line))
                out << line;
        }
    }
    return out;
}

} // namespace

namespace CardMerge {

Contact Merge(const Contact &winner, const Contact &loser, const Contact *base)
{
    Contact out = winner;
    for (int c = 0; c < ContactCard::ColumnCount; ++c) {
        if (c == ContactCard::Registered || c == ContactCard::Picture)
            continue;
        const QString &w = winner.columns.at(c);
        const QString &l = loser.columns.at(c);
        if (base && w == base->columns.at(c)) {
            out.columns[c] = l;
        } else if (isList(c)) {
            // The loser's entries the winner lacks; with a common version, not
            // those the winner removed since.
            out.columns[c] = withEntries(w, l, base ? base->columns.at(c) : QString());
        } else if (w.isEmpty()) {
            // With a common version the winner emptied it on purpose only when
            // the loser still has the old value.
            if (!base || l != base->columns.at(c))
                out.columns[c] = l;
        }
    }
    // The picture, by its bytes, as any other field.
    if (base ? winner.photo == base->photo : winner.photo.isEmpty()) {
        out.photo = loser.photo;
        out.photoType = loser.photoType;
        out.columns[ContactCard::Picture] = loser.columns.at(ContactCard::Picture);
    }
    out.kept = mergeKept(winner.kept, loser.kept, base ? &base->kept : nullptr);
    return out;
}

bool Same(const Contact &a, const Contact &b)
{
    for (int c = 0; c < ContactCard::ColumnCount; ++c) {
        if (c == ContactCard::Registered || c == ContactCard::Picture)
            continue;
        if (a.columns.at(c) != b.columns.at(c))
            return false;
    }
    return a.kept == b.kept && a.photo == b.photo;
}

} // namespace CardMerge
