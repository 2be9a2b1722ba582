#pragma once

#include <QString>

// Every statement the program sends to the store. Values are spliced into the
// fixed texts with single quotes doubled (and NULs dropped), so that no value can
// end its literal early; column names are taken only from the Contacts columns.
namespace Statements {

QString QuoteText(const QString &value);

QString AllContacts();                                              // 1
QString ContactById(qint64 contactId);                              // 2
QString FirstNameLike(const QString &letter);                       // 3
QString LastNameLike(const QString &letter);                        // 4
QString ContactsInCategory(const QString &category);                // 5
QString DistinctColumn(const QString &column);                      // 6
QString DistinctCategories();                                       // 7
QString ColumnValues(const QString &column);                        // 8
QString SearchOneField(const QString &column, const QString &text); // 9
QString SearchAllFields(const QString &text);                       // 10

// The columns searched by "All fields", in statement order.
const QStringList &SearchedColumns();

} // namespace Statements
