#include "store/Statements.h"

#include "sqlite/TextSanitize.h"
#include "store/Connection.h"
#include "store/Folding.h"

#include <QStringList>

namespace {

// A column name from the table keeps its text; anything else is quoted as an
// identifier, so that it can never end the statement or add to it.
QString columnName(const QString &column)
{
    if (ContactColumns().contains(column))
        return column;
    QString quoted = column;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

} // namespace

namespace Statements {

QString QuoteText(const QString &value)
{
    QString v = SanitizedText(value);
    v.replace(QLatin1Char('\''), QStringLiteral("''"));
    return v;
}

// Every row comes at once: this one is not cut into slices.
Query AllContacts()
{
    return {QStringLiteral("SELECT * FROM Contacts"), false};
}

QString ContactById(qint64 contactId)
{
    return QStringLiteral("SELECT * FROM Contacts WHERE ContactID =") + QString::number(contactId);
}

// A letter node stands for names beginning with that very character: a "%"
// or "_" taken from a name must not act as a wildcard there. Ordinary letters
// keep the plain statement.
static Query beginsWith(const char *column, const QString &letter)
{
    QString head = QStringLiteral("SELECT * FROM Contacts WHERE ") + QLatin1String(column) + QStringLiteral(" like '");
    if (!letter.contains(QLatin1Char('%')) && !letter.contains(QLatin1Char('_')))
        return {head + QuoteText(letter) + QStringLiteral("%'"), true};
    QString escaped;
    for (const QChar c : letter) {
        if (c == QLatin1Char('%') || c == QLatin1Char('_') || c == QLatin1Char('\\'))
            escaped += QLatin1Char('\\');
        escaped += c;
    }
    return {head + QuoteText(escaped) + QStringLiteral("%' ESCAPE '\\'"), true};
}

Query FirstNameLike(const QString &letter)
{
    return beginsWith("First_Name", letter);
}

Query LastNameLike(const QString &letter)
{
    return beginsWith("Last_Name", letter);
}

Query ContactsInCategory(const QString &category)
{
    return {QStringLiteral("SELECT * FROM Contacts WHERE Category ='") + QuoteText(category) + QStringLiteral("'"),
            true};
}

QString DistinctColumn(const QString &column)
{
    return QStringLiteral("SELECT DISTINCT ") + columnName(column) + QStringLiteral(" FROM Contacts");
}

QString DistinctCategories()
{
    return QStringLiteral("SELECT DISTINCT Category FROM Contacts");
}

QString ColumnValues(const QString &column)
{
    return QStringLiteral("SELECT ") + columnName(column) + QStringLiteral(" FROM Contacts");
}

Query SearchOneField(const QString &column, const QString &text)
{
    return {QStringLiteral("SELECT * FROM Contacts WHERE ") + columnName(column) + QStringLiteral(" like '%") +
                QuoteText(text) + QStringLiteral("%'"),
            true};
}

Query BinContents()
{
    return {QStringLiteral("SELECT * FROM RecycleBin ORDER BY RemovedAt DESC, ContactID DESC"), false};
}

QString BinContactById(qint64 contactId)
{
    return QStringLiteral("SELECT * FROM RecycleBin WHERE ContactID =") + QString::number(contactId);
}

const QStringList &SearchedColumns()
{
    static const QStringList columns = {
        QStringLiteral("First_Name"), QStringLiteral("Last_Name"), QStringLiteral("Company"),
        QStringLiteral("Phones"),     QStringLiteral("Mails"),     QStringLiteral("Category"),
        QStringLiteral("Address"),    QStringLiteral("Websites"),  QStringLiteral("Notes")};
    return columns;
}

Query SearchAllFields(const QString &text)
{
    const QString t = QuoteText(text);
    QStringList terms;
    for (const QString &column : SearchedColumns())
        terms << column + QStringLiteral(" like '%") + t + QStringLiteral("%'");
    return {QStringLiteral("SELECT * FROM Contacts WHERE ") + terms.join(QStringLiteral(" or ")), true};
}

// The same search with accents and case ignored, over the folded text kept
// beside each contact: one short text read per contact, and the contact's row
// only for those that match. The key comes from the folded table, so that a
// slice of keys is a range of it.
Query SearchFolded(const QString &column, const QString &text)
{
    const qsizetype index = column.isEmpty() ? -1 : SearchedColumns().indexOf(column);
    if (!column.isEmpty() && index < 0)
        return SearchOneField(column, text); // not a searched column: no folded form
    return {QStringLiteral("SELECT f.ContactID AS ContactID, c.First_Name, c.Last_Name, c.Company, c.Address,"
                           " c.Category, c.Phones, c.Mails, c.Websites, c.Notes, c.Date_Registed, c.Picture"
                           " FROM ContactFolded f CROSS JOIN Contacts c ON c.ContactID = f.ContactID"
                           " WHERE folded_like('%") +
                QuoteText(Fold(text)) + QStringLiteral("%', f.Folded, ") + QString::number(index) +
                QLatin1Char(')'),
            true};
}

} // namespace Statements
