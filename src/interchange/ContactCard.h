#pragma once

// What a vCard means for a contact of the book, both ways. The columns take
// what they can hold; everything else a card brings is kept beside the
// contact as vCard lines and written back on export, so that a card read,
// written and read again gives the same contact and the same kept lines.

#include "interchange/VCard.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ContactCard {

// Contacts' columns after its key, in table order.
enum Column { First, Last, Company, Address, Category, Phones, Mails, Websites, Notes, Registered, Picture, ColumnCount };
const char *ColumnName(int column);

struct Contact
{
    QStringList columns = QStringList(ColumnCount, QString());
    QString uid;       // as the card gave it ("urn:uuid:" taken off); empty when it gave none
    QStringList kept;  // vCard lines (VCard::Property::toLine), in the card's order
    QByteArray photo;  // an embedded picture, to be written as a file
    QString photoType; // its file suffix: "jpg", "png", ...
};

// The contact a card describes. Date_Registed and Picture are left empty
// (the importer decides them).
Contact FromCard(const VCard::Card &card);

// Writes the contact as one card. `uid` and `rev` must not be empty;
// `picture` is the picture file's bytes (empty for none).
void ToCard(VCard::Writer &writer, const QStringList &columns, const QString &uid, const QStringList &kept,
            const QString &rev, const QByteArray &picture);

// The row of the plain CSV layout (one column per contact column, lists as
// "item (description); item") for a contact as stored, appended to `out`
// from the stored bytes, byte for byte what the general way writes; false,
// with nothing written, when it cannot be sure of that (text that is not
// UTF-8, space beyond ASCII at a description's ends): the general way then.
bool ToPlainCsvFromStored(QByteArray &out, const QByteArrayView *columns);

// The same for the web-mail layout (CsvMapping::ExportRow) of a contact
// without kept lines, with `mails`, `phones`, `addresses` and `websites`
// groups of columns as the header has them.
bool ToWebMailCsvFromStored(QByteArray &out, const QByteArrayView *columns, int mails, int phones, int addresses,
                            int websites);

// The same card for a contact that has no kept lines, read straight from the
// stored UTF-8 of its columns (First_Name ... Picture) without converting
// them: byte for byte what ToCard writes; `picture` as for ToCard. False,
// with nothing written, for a contact it leaves to ToCard (text that is not
// valid UTF-8, blanks beyond ASCII at the ends of a name, a 2.1 card).
bool ToCardFromStored(VCard::Writer &writer, const QByteArrayView *columns, QByteArrayView uid, QByteArrayView rev,
                      const QByteArray &picture = QByteArray());

// The kept lines as stored (one per line) and back.
QString JoinKept(const QStringList &kept);
QStringList SplitKept(const QString &stored);

// The list with empty entries added up to `count` (a card's compound values
// may stop early).
QStringList Padded(QStringList parts, int count);
// The first and last name an N value's components give: the given and
// additional names are the first name, the family name the last.
void NamesFromN(const QStringList &components, QString &first, QString &last);

// The address text the columns hold for an ADR value's components.
QString AddressText(const QStringList &components);

// The media type of a picture file's bytes ("image/jpeg"), or empty when
// they are no picture the program knows; `suffix` gets its file suffix.
QString PictureType(const QByteArray &bytes, QString *suffix = nullptr);

} // namespace ContactCard
