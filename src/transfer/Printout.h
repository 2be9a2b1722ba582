#pragma once

// Contacts on paper or in a PDF: a phone list (name, company, phones, mails
// in columns, a heading for each initial) or address labels.

#include <QList>
#include <QString>

class Connection;
class QPagedPaintDevice;
class QTextDocument;

namespace Printout {

enum class Layout { PhoneList, Labels };

// The contacts given (in that order), or every contact by last name when none
// are given, laid out as a document. Right to left mirrors it. Throws StoreError.
QTextDocument *Compose(Connection &cn, const QList<qint64> &contacts, Layout layout, bool rightToLeft,
                       const QString &title);

// Prints the document on the device, page by page.
void Print(QTextDocument &document, QPagedPaintDevice &device);

// Writes a PDF of the contacts; an empty text on success, else why not.
QString WritePdf(Connection &cn, const QString &path, const QList<qint64> &contacts, Layout layout,
                 bool rightToLeft, const QString &title);

} // namespace Printout
