#include "store/SearchText.h"

#include "sqlite/Statement.h"
#include "store/Connection.h"
#include "store/Folding.h"

#include <sqlite3.h>

namespace {

void appendFolded(QString &out, QStringView column)
{
    const QString folded = Fold(column);
    const qsizetype at = out.size();
    out += folded;
    // A separator inside a value would move the columns after it.
    for (qsizetype i = at; i < out.size(); ++i) {
        if (out.at(i) == QChar(SearchText::kSeparator))
            out[i] = QLatin1Char(' ');
    }
}

void foldContact(sqlite3_context *ctx, int argc, sqlite3_value **argv)
{
    QString out;
    for (int i = 0; i < argc; ++i) {
        if (i)
            out += QChar(SearchText::kSeparator);
        if (const auto *t = sqlite3_value_text(argv[i]))
            appendFolded(out, QString::fromUtf8(reinterpret_cast<const char *>(t), sqlite3_value_bytes(argv[i])));
    }
    const QByteArray utf8 = out.toUtf8();
    sqlite3_result_text(ctx, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

} // namespace

namespace SearchText {

void Register(sqlite3 *db)
{
    sqlite3_create_function_v2(db, "fold_contact", -1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr, foldContact,
                               nullptr, nullptr, nullptr);
}

QString FoldedRow(const QStringList &columns)
{
    QString out;
    for (qsizetype i = 0; i < columns.size(); ++i) {
        if (i)
            out += QChar(kSeparator);
        appendFolded(out, columns.at(i));
    }
    return out;
}

WriterFolds::WriterFolds(Connection &cn) : m_cn(cn)
{
    const int rc = sqlite3_exec(cn.handle(), "INSERT OR REPLACE INTO BookState VALUES ('folded-by-writer', 1)", nullptr,
                                nullptr, nullptr);
    if (rc != SQLITE_OK)
        cn.fail(rc);
}

WriterFolds::~WriterFolds()
{
    sqlite3_exec(m_cn.handle(), "DELETE FROM BookState WHERE Name = 'folded-by-writer'", nullptr, nullptr, nullptr);
}

void Refresh(Connection &cn)
{
    // Never committed: another program's contacts must be marked again.
    sqlite3_exec(cn.handle(), "DELETE FROM BookState WHERE Name = 'folded-by-writer'", nullptr, nullptr, nullptr);
    // The missing ones are found through their own small index.
    const int rc = sqlite3_exec(
        cn.handle(),
        "UPDATE ContactFolded SET Folded = fold_contact(c.First_Name, c.Last_Name, c.Company, c.Phones, c.Mails,"
        " c.Category, c.Address, c.Websites, c.Notes) FROM Contacts c"
        " WHERE ContactFolded.Folded IS NULL AND c.ContactID = ContactFolded.ContactID",
        nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        cn.fail(rc);
}

} // namespace SearchText
