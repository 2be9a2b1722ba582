#pragma once

#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>

// Every test process runs with test-mode standard paths, a private HOME and
// runtime folder (set before main()): no test touches the machine's own files.

// A fresh application folder for one test: created empty in a temporary place,
// made the program's application folder, removed at the end. The settings
// store starts empty in it and the loaded options are reset.
class TempAppFolder
{
public:
    TempAppFolder();
    QString path() const { return m_dir.path(); }
    QString file(const QString &relative) const { return m_dir.path() + QLatin1Char('/') + relative; }
    // Copies the shipped language file to trans/eng.txt.
    void installLanguageFile() const;

private:
    QTemporaryDir m_dir;
};

// A contact to seed, column name to value (a missing column stays null).
using ContactRow = QVariantMap;

// Opens application folder + /db/db.sqlite (creating it) and inserts the rows.
void SeedContacts(const QList<ContactRow> &rows);
// Runs SQL on the application folder's database and gives the first column of
// its first row as text ("" when there is none).
QString QueryText(const QString &sql);
int CountContacts();
// The shared connection on the test's application folder, for tests that use
// a window without the main window.
struct OpenDb
{
    OpenDb();
    ~OpenDb();
    OpenDb(const OpenDb &) = delete;
    OpenDb &operator=(const OpenDb &) = delete;
};

// Writes `bytes` to `path`; false when it cannot.
bool WriteFile(const QString &path, const QByteArray &bytes);

// The change counter in a database file's header (raised by every write
// transaction in the rollback journal's modes); -1 when it cannot be read.
qint64 FileChangeCounter(const QString &path);
