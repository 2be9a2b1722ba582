#include "store/ItemList.h"

#include <cstring>

namespace {
const QString kEol = QStringLiteral("\r\n");
} // namespace

const QString &ItemSeparator()
{
    static const QString separator = QStringLiteral(":*:");
    return separator;
}

QString SafeItemField(const QString &typed, bool isItem)
{
    QString field = typed;
    field.remove(QChar(0));
    QString out;
    out.reserve(field.size() + 4);
    const qsizetype n = field.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = field.at(i);
        if (c == QLatin1Char('\r')) {
            if (i + 1 < n && field.at(i + 1) == QLatin1Char('\n'))
                ++i;
            out.append(QLatin1Char('\n'));
        } else if (c == QChar(0x2028) || c == QChar(0x2029)) {
            out.append(QLatin1Char('\n'));
        } else if (c == QLatin1Char('*') && i > 0 && field.at(i - 1) == QLatin1Char(':') && i + 1 < n &&
                   field.at(i + 1) == QLatin1Char(':')) {
            out.append(QStringLiteral("* "));
        } else {
            out.append(c);
        }
    }
    if (isItem && out.endsWith(QLatin1String(":*")))
        out.append(QLatin1Char(' '));
    return out;
}

QString GetList(const QList<ItemEntry> &rows)
{
    QString out;
    for (const ItemEntry &e : rows) {
        out += SafeItemField(e.sItem, true);
        out += ItemSeparator();
        out += SafeItemField(e.sDescription, false);
        out += kEol;
    }
    return out;
}

QList<ItemEntry> SplitItemList(const QString &text)
{
    QList<ItemEntry> entries;
    const QStringView all(text);
    qsizetype start = 0;
    while (start <= all.size()) {
        qsizetype end = all.indexOf(kEol, start);
        if (end < 0)
            end = all.size();
        const QStringView line = all.mid(start, end - start);
        if (!line.isEmpty()) {
            ItemEntry e;
            const qsizetype s1 = line.indexOf(ItemSeparator());
            if (s1 < 0) {
                e.sItem = line.toString();
            } else {
                e.sItem = line.left(s1).toString();
                const QStringView rest = line.mid(s1 + ItemSeparator().size());
                const qsizetype s2 = rest.indexOf(ItemSeparator());
                e.sDescription = (s2 < 0 ? rest : rest.left(s2)).toString();
            }
            entries.append(e);
        }
        start = end + kEol.size();
    }
    return entries;
}

int StoredItemCount(QByteArrayView stored)
{
    // Lines between CR LF pairs, empty ones not counted; a CR alone is text.
    const char *p = stored.data();
    const qsizetype size = stored.size();
    int n = 0;
    qsizetype start = 0;
    for (;;) {
        qsizetype end = start;
        for (;;) {
            const void *cr = end < size ? std::memchr(p + end, '\r', size_t(size - end)) : nullptr;
            end = cr ? static_cast<const char *>(cr) - p : size;
            if (end == size || (end + 1 < size && p[end + 1] == '\n'))
                break;
            ++end;
        }
        n += end > start;
        if (end >= size)
            return n;
        start = end + 2;
    }
}

QString GetFirstItem(const QString &text)
{
    const qsizetype i = text.indexOf(ItemSeparator());
    return i < 0 ? QString() : text.left(i);
}

bool IsMultyItems(const QString &text)
{
    if (text.isEmpty())
        return false;
    return QStringView(text).chopped(qMin<qsizetype>(2, text.size())).contains(kEol);
}
