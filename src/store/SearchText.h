#pragma once

#include <QString>
#include <QStringList>

struct sqlite3;
class Connection;

// The searched columns of every contact, folded (store/Folding.h) and kept
// beside it in ContactFolded, so that a search that ignores accents reads one
// short text per contact and folds nothing. Triggers on Contacts (plain SQL,
// so that they work in any program that writes the file) mark a contact's
// folded text as missing when it is added or changed; Refresh() folds what is
// missing.
namespace SearchText {

// The separator between the folded columns: no search text holds it.
constexpr char16_t kSeparator = u'\x1f';

// Registers fold_contact(...) and folded_like(pattern, folded, column) on a
// connection: the latter is like() over one folded column (0 for the first
// of Statements::SearchedColumns()) or over any of them (-1).
void Register(sqlite3 *db);

// The folded text of one contact from its searched columns, in the order of
// Statements::SearchedColumns().
QString FoldedRow(const QStringList &columns);

// While one lives (inside the transaction of a change), the triggers leave
// the folded text to the writer, which writes it itself (a large import: the
// text is folded on another core meanwhile). Must not outlive the
// transaction; Refresh() ends it too.
class WriterFolds
{
public:
    explicit WriterFolds(Connection &cn);
    ~WriterFolds();
    WriterFolds(const WriterFolds &) = delete;
    WriterFolds &operator=(const WriterFolds &) = delete;

private:
    Connection &m_cn;
};

// Folds the contacts whose folded text is missing. Cheap when none is.
// Throws StoreError.
void Refresh(Connection &cn);

} // namespace SearchText
