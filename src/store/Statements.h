#pragma once

#include <QString>

// Every statement the program sends to the store. Values are spliced into the
// fixed texts with single quotes doubled (and NULs dropped), so that no value can
// end its literal early; column names are taken only from the Contacts columns.
namespace Statements {

// A statement that fills the contact list. `sliceable` when it is a whole-row
// statement on Contacts with a WHERE clause at most, which reads the same rows
// in the same order when its key range is cut into slices.
struct Query
{
    QString text;
    bool sliceable = false;
    operator const QString &() const { return text; }
};

QString QuoteText(const QString &value);

Query AllContacts();
QString ContactById(qint64 contactId);
Query FirstNameLike(const QString &letter);
Query LastNameLike(const QString &letter);
Query ContactsInCategory(const QString &category);
QString DistinctColumn(const QString &column);
QString DistinctCategories();
QString ColumnValues(const QString &column);
Query SearchOneField(const QString &column, const QString &text);
Query SearchAllFields(const QString &text);
// Either search with accents ignored too: over all fields when `column` is
// empty. The folded text must be current (SearchText::Refresh).
Query SearchFolded(const QString &column, const QString &text);

// The Recycle bin, most recently removed first; a contact in it.
Query BinContents();
QString BinContactById(qint64 contactId);

// The columns searched by "All fields", in statement order.
const QStringList &SearchedColumns();

} // namespace Statements
