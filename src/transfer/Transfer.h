#pragma once

// Contacts in and out from the window: File > Import and Export, files dropped
// on the window, rows dragged out of the list.

#include "store/Journal.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class Connection;
class QMimeData;
class QWidget;

namespace Transfer {

// Imports the files (asks for them when none are given): reads them with a
// progress bar, says how many are new, updated and skipped and asks before
// writing, writes them as one undoable step, and reports what was done. What
// the import changed, or nothing when nothing was written.
std::optional<ChangeSummary> ImportFiles(QWidget *parent, Connection &cn, QStringList files);

// The contacts the export dialog offers besides all of them.
struct ExportOffer
{
    int listCount = 0;                        // how many the current list shows
    std::function<QList<qint64>()> listIds;   // its contacts, gathered only when chosen
    qint64 selected = 0;                      // the selected contact, 0 for none
    QString listName;                         // the node the list shows
    QList<qint64> list() const { return listIds ? listIds() : QList<qint64>(); }
};
// Shows the export dialog and writes the file chosen there.
void ExportContacts(QWidget *parent, Connection &cn, const ExportOffer &offer);

// File > Print (with a preview) or Export as PDF: the current list or every
// contact, as a phone list or address labels.
void PrintContacts(QWidget *parent, Connection &cn, const ExportOffer &offer, bool toPdf);

// The contacts as a vCard file to drag out: text/vcard data and a file in a
// temporary folder (for file managers). Null when nothing could be written.
QMimeData *DragData(Connection &cn, const QList<qint64> &contacts);

// True while an import is being written (on a connection of its own): the
// window then leaves the book alone until it is done.
bool Writing();

// The vCard files among dropped URLs.
QStringList DroppedCards(const QMimeData *data);

} // namespace Transfer
