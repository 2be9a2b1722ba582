#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

// One entry of a phone, mail or web-site list.
struct ItemEntry
{
    QString sItem;
    QString sDescription;
    bool operator==(const ItemEntry &o) const { return sItem == o.sItem && sDescription == o.sDescription; }
};

// The separator of item and description in a stored list (":*:"); the tree's
// node keys use it between their kind and value too.
const QString &ItemSeparator();

// A list is stored as lines of item, ":*:", description, "\r\n".
//
// Text a user can type must never add, lose, merge or split entries, so each
// field is made safe before it is written: every line break ("\r\n", "\r",
// "\n", U+2028, U+2029) becomes a plain "\n", which the format does not split
// on; a ":*:" inside a field becomes ":* :", and an item that ends in ":*" gets
// a blank after it, so no separator can be read inside a field. NULs are dropped
// here, because the store drops them and a separator could close up behind them.
QString SafeItemField(const QString &field, bool isItem);

// The encoded text of the entries, in order; the empty list gives "".
QString GetList(const QList<ItemEntry> &rows);

// The entries of an encoded text, in order. Blank lines are skipped; a line
// without ":*:" is an item without description; text after a second ":*:" is
// dropped. Never fails.
QList<ItemEntry> SplitItemList(const QString &text);
// How many entries SplitItemList() finds, read from the stored UTF-8.
int StoredItemCount(QByteArrayView stored);

// The text before the first ":*:" of the whole text, or "".
QString GetFirstItem(const QString &text);

// True when the text holds more than one line.
bool IsMultyItems(const QString &text);
