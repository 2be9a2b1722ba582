#pragma once

// Writing contacts of the book out as vCards.

#include "interchange/VCard.h"

#include <QList>
#include <QString>

#include <functional>

class Connection;
class QIODevice;

namespace Export {

// Which contacts: all of them, those of one category, or the given ones (the
// current list, the selected contact) in the order given.
struct Choice
{
    enum class Kind { All, Category, Contacts } kind = Kind::All;
    QString category;
    QList<qint64> contacts;
};

// Told how far the work has come (0..total); returning false cancels it.
using Progress = std::function<bool(qint64 done, qint64 total)>;

struct Result
{
    qint64 written = 0;
    bool cancelled = false;
    QString failure; // the device could not be written
};

// What to write: vCards of a version, or CSV in the web-mail layout (which
// that service imports again) or one row per contact.
enum class Format { VCard21, VCard30, VCard40, CsvWebMail, CsvPlain };
Format FormatOf(VCard::Version version);
// "vcard3", "vcard4", "vcard21", "csv-google", "csv"; false for anything else.
bool FormatFromName(const QString &name, Format &format);

// Writes the chosen contacts to `out`. Throws StoreError when the book cannot
// be read.
Result Write(Connection &cn, QIODevice &out, Format format, const Choice &choice, const Progress &progress = {});
Result Write(Connection &cn, QIODevice &out, VCard::Version version, const Choice &choice,
             const Progress &progress = {});

// Writes them to a file, which is replaced only when everything was written.
Result WriteFile(Connection &cn, const QString &path, Format format, const Choice &choice,
                 const Progress &progress = {});
Result WriteFile(Connection &cn, const QString &path, VCard::Version version, const Choice &choice,
                 const Progress &progress = {});

// "vcard3" (the default), "vcard4", "vcard21"; false for anything else.
bool VersionFromName(const QString &name, VCard::Version &version);

} // namespace Export
