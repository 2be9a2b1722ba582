#pragma once

#include <QList>
#include <QString>
#include <QTemporaryDir>
#include <QVariantMap>

#include <memory>

class Connection;
class frmMain;

// A fresh application folder for one test: created empty in a temporary place,
// made the program's application folder, removed at the end. The process itself
// runs with test-mode standard paths, a private HOME and runtime folder.
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
// Counts the rows of Contacts in the application folder's database.
int CountContacts();

// Loads and shows the main window on the application folder's database and
// waits until its first fill has put `expectedRows` rows in the list; null
// when it does not get there.
std::unique_ptr<frmMain> OpenMainWindow(int expectedRows);
// The texts of one list column, top to bottom.
QStringList ListColumn(const frmMain *main, int column);
