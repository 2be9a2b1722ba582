#pragma once

// What the columns of a CSV file mean for a contact, and the layouts the
// program writes. As with vCards, the contact's columns take what they can
// hold and the rest is kept as vCard lines (ContactCard::Contact::kept):
//   Birthday BDAY, Nickname NICKNAME, job title TITLE, department ORG
//   (company;department); middle name, prefix and suffix an N line
//   (last;first;middle;prefix;suffix) while the first-name column holds
//   "first middle", as for a card; a full name that says more than first and
//   last an FN line; further categories CATEGORIES; an address with parts or
//   a type, and every further address, ADR;TYPE=home; any other column
//   chosen to be kept X-CSV;X-COLUMN="<header>":<value>.

#include "interchange/ContactCard.h"
#include "interchange/Csv.h"

#include <QList>
#include <QString>
#include <QStringList>

namespace CsvMapping {

enum class Field {
    Ignore,
    Keep, // an X-CSV line with the column's header
    Name, // the whole name, split when no first or last name is given: the last word (or what
          // comes before a comma) is the last name; a single word is a first name
    First,
    Middle,
    Last,
    Prefix,
    Suffix,
    Nickname,
    Company,
    Department,
    JobTitle,
    Birthday,
    Address, // a whole address, lines and all
    Street,
    PoBox,
    Extended,
    City,
    Region,
    PostalCode,
    Country,
    Category, // values split at " ::: " and ';'; ones starting with '*' are the exporter's own
    Phone,    // values split at " ::: "
    Mail,
    Website,
    PhoneList, // "item (description); item", as the plain layout writes
    MailList,
    WebsiteList,
    Notes,
    Label, // the descriptions of column `of`'s values, or the type of its address
};

struct Role
{
    Field field = Field::Ignore;
    // Phone, Mail, Website: the entries' description when no label column
    // gives one ("mobile"); address fields: the address's type ("home").
    QString description;
    int group = 0; // address fields: which address, from 1; the lowest with text fills the column
    int of = -1;   // Label: the column it describes
    friend bool operator==(const Role &, const Role &) = default;
};

enum class Layout { Unknown, WebMail, WebMailLegacy, DesktopSuite, MailClient, Plain };

struct Mapping
{
    QList<Role> roles; // one per header column
    Layout layout = Layout::Unknown; // a known export: then every column has its meaning already
};

// The mapping for a header: the names known exporters write, and a guess by
// words for the others (a column of a known layout that is not known is kept).
Mapping ForHeader(const QStringList &header);
// The guess for one header name, for a dialog to start from.
Role Guess(const QString &name);

// A mapping as text, to be remembered under the header set's key, and back;
// false when the text is not one or is for another number of columns.
QString ToText(const Mapping &mapping);
bool FromText(const QString &text, qsizetype columns, Mapping &out);
QString Key(const QStringList &header);

// One row as a contact. False, with the reason, when the row gives no name,
// company, e-mail address or phone number.
bool ToContact(const Mapping &mapping, const QStringList &header, const QStringList &cells, ContactCard::Contact &out,
               QString *reason = nullptr);

struct Contacts
{
    QList<ContactCard::Contact> contacts;
    QList<int> lines; // where each contact's row starts in the file
    QList<Csv::Problem> skipped;
};
Contacts ToContacts(const Csv::Table &table, const Mapping &mapping);

// Writing. WebMail: the web-mail layout, which that service imports again;
// Plain: one column per contact column, lists as "item (description); item".
enum class ExportLayout { WebMail, Plain };

// How many value columns the web-mail layout gets; fit() widens it for a
// contact, so that a first pass over the contacts gives every entry a column
// (entries beyond share the last column, " ::: " between them).
struct Shape
{
    int mails = 1, phones = 1, websites = 1, addresses = 1;
    void fit(const QStringList &columns, const QStringList &kept);
};

QStringList ExportHeader(ExportLayout layout, const Shape &shape = {});
// `columns` in ContactCard::Column order; `kept` as the contact keeps them.
QStringList ExportRow(ExportLayout layout, const QStringList &columns, const QStringList &kept,
                      const Shape &shape = {});

} // namespace CsvMapping
