#include "interchange/Export.h"

#include "interchange/ContactCard.h"
#include "interchange/Csv.h"
#include "interchange/CsvMapping.h"
#include "sqlite/Statement.h"
#include "sqlite/Transaction.h"
#include "store/Connection.h"
#include "store/Uid.h"

#include <QDateTime>
#include <QFile>
#include <QSaveFile>

#include <sqlite3.h>

namespace {

constexpr int kProgressEvery = 512;
// Written out in pieces of about this size.
constexpr qsizetype kChunk = 1 << 20;

const char kSelect[] = "SELECT c.First_Name, c.Last_Name, c.Company, c.Address, c.Category, c.Phones, c.Mails,"
                       " c.Websites, c.Notes, c.Date_Registed, c.Picture, m.Uid, m.Kept, m.Rev"
                       " FROM Contacts c LEFT JOIN ContactMeta m ON m.ContactID = c.ContactID";

QString uidOf(const Statement &st)
{
    if (st.isNull(11)) // written by another program since the book was last opened here
        return Uid::Text(Uid::Create().bytes, true);
    return Uid::Text(st.columnType(11) == SQLITE_BLOB ? st.blob(11) : st.utf8(11).toByteArray(),
                     st.columnType(11) == SQLITE_BLOB);
}

// A picture file's bytes, when it is one the card can carry.
QByteArray pictureOf(const QString &path)
{
    if (path.isEmpty())
        return QByteArray();
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly) || f.size() > VCard::Reader::kMaxValueBytes / 2)
        return QByteArray();
    return f.readAll();
}

} // namespace

namespace Export {

namespace {

void readColumns(const Statement &st, QStringList &columns)
{
    for (int i = 0; i < ContactCard::ColumnCount; ++i)
        columns[i] = st.columnType(i) == SQLITE_NULL ? QString() : st.text(i);
}

// `each` gets the columns as text, or (when `lazy`) reads them itself with
// readColumns() when it needs them.
template <typename Each>
void forEachContact(Connection &cn, const Choice &choice, const Progress &progress, Result &result, Each each,
                    const char *select = kSelect, bool lazy = false)
{
    // One read transaction: every contact from the same state of the book, under one lock.
    Transaction reading(cn.handle());
    QByteArray sql = select;
    qint64 total = 0;
    if (choice.kind == Choice::Kind::Contacts) {
        sql += " WHERE c.ContactID = ?1";
        total = choice.contacts.size();
    } else {
        QByteArray count = "SELECT count(*) FROM Contacts";
        if (choice.kind == Choice::Kind::Category) {
            sql += " WHERE c.Category = ?1";
            count += " WHERE Category = ?1";
        }
        Statement st(cn.handle(), count);
        if (choice.kind == Choice::Kind::Category)
            st.bind(1, choice.category);
        if (st.step() != SQLITE_ROW)
            cn.fail(st.prepareResult() ? st.prepareResult() : SQLITE_ERROR);
        total = st.int64(0);
        sql += " ORDER BY c.ContactID";
    }
    Statement st(cn.handle(), sql);
    if (st.prepareResult() != SQLITE_OK)
        cn.fail(st.prepareResult());
    if (choice.kind == Choice::Kind::Category)
        st.bind(1, choice.category);
    QStringList columns(ContactCard::ColumnCount);
    qsizetype next = 0;
    qint64 seen = 0;
    for (;;) {
        if (choice.kind == Choice::Kind::Contacts) {
            if (next == choice.contacts.size())
                break;
            st.reset();
            st.bind(1, choice.contacts.at(next++));
        }
        const int rc = st.step();
        if (rc == SQLITE_DONE) {
            if (choice.kind == Choice::Kind::Contacts)
                continue; // gone since it was listed
            break;
        }
        if (rc != SQLITE_ROW)
            cn.fail(rc);
        if (!lazy)
            readColumns(st, columns);
        if (!each(st, columns))
            return;
        ++seen;
        if (progress && seen % kProgressEvery == 0 && !progress(seen, total)) {
            result.cancelled = true;
            return;
        }
    }
}

// Writes what has gathered once it is a chunk, or always.
bool flushTo(QIODevice &out, QByteArray &data, bool always, Result &result)
{
    if (!always && data.size() < kChunk)
        return true;
    if (out.write(data) != data.size()) {
        result.failure = out.errorString();
        return false;
    }
    data.resize(0);
    return true;
}

Result writeCards(Connection &cn, QIODevice &out, VCard::Version version, const Choice &choice, const Progress &progress)
{
    Result result;
    const QString now = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
    VCard::Writer w(version);
    qint64 revSeconds = -1;
    QString revText;
    QByteArrayView stored[ContactCard::ColumnCount];
    forEachContact(
        cn, choice, progress, result,
        [&](const Statement &st, QStringList &columns) {
            // Many contacts share the second of their last change (an import).
            if (!st.isNull(13) && st.int64(13) != revSeconds) {
                revSeconds = st.int64(13);
                revText = QDateTime::fromSecsSinceEpoch(revSeconds, Qt::UTC).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
            }
            const QString &rev = st.isNull(13) ? now : revText;
            bool written = false;
            if (st.utf8(12).isEmpty()) {
                // Most contacts: written from the stored bytes, nothing converted.
                const QByteArray uid = uidOf(st).toUtf8();
                // The columns last: reading another one may move what these point at.
                for (int i = 0; i < ContactCard::ColumnCount; ++i)
                    stored[i] = st.utf8(i);
                written = ContactCard::ToCardFromStored(w, stored, uid, rev.toUtf8());
            }
            if (!written) {
                readColumns(st, columns);
                ContactCard::ToCard(w, columns, uidOf(st), ContactCard::SplitKept(st.text(12)), rev,
                                    pictureOf(columns.at(ContactCard::Picture)));
            }
            ++result.written;
            if (w.data().size() < kChunk)
                return true;
            // The writer's memory is kept for the next chunk.
            if (out.write(w.data()) != w.data().size()) {
                result.failure = out.errorString();
                return false;
            }
            w.clear();
            return true;
        },
        kSelect, true);
    if (result.failure.isEmpty() && !result.cancelled && out.write(w.data()) != w.data().size())
        result.failure = out.errorString();
    return result;
}

Result writeCsv(Connection &cn, QIODevice &out, CsvMapping::ExportLayout layout, const Choice &choice,
                const Progress &progress)
{
    Result result;
    // The web-mail layout has as many value columns as the fullest contact
    // needs: a first pass over the lists finds how many.
    CsvMapping::Shape shape;
    if (layout == CsvMapping::ExportLayout::WebMail) {
        Result ignored;
        forEachContact(cn, choice, {}, ignored, [&](const Statement &st, const QStringList &columns) {
            shape.fit(columns, ContactCard::SplitKept(st.text(12)));
            return true;
        });
    }
    Csv::Writer w;
    w.row(CsvMapping::ExportHeader(layout, shape));
    QByteArray pending;
    forEachContact(cn, choice, progress, result, [&](const Statement &st, const QStringList &columns) {
        w.row(CsvMapping::ExportRow(layout, columns, ContactCard::SplitKept(st.text(12)), shape));
        ++result.written;
        if (w.data().size() < kChunk)
            return true;
        pending = w.take();
        return flushTo(out, pending, true, result);
    });
    if (result.failure.isEmpty() && !result.cancelled) {
        pending = w.take();
        flushTo(out, pending, true, result);
    }
    return result;
}

} // namespace

bool VersionFromName(const QString &name, VCard::Version &version)
{
    if (name == QLatin1String("vcard3"))
        version = VCard::Version::V30;
    else if (name == QLatin1String("vcard4"))
        version = VCard::Version::V40;
    else if (name == QLatin1String("vcard21"))
        version = VCard::Version::V21;
    else
        return false;
    return true;
}

// Each chosen contact in turn: its columns, UID, kept lines and Rev (seconds,
// -1 for none). `each` returns false to stop (a write failed).
bool FormatFromName(const QString &name, Format &format)
{
    static const struct
    {
        const char *name;
        Format format;
    } names[] = {{"vcard3", Format::VCard30}, {"vcard4", Format::VCard40}, {"vcard21", Format::VCard21},
                 {"csv-google", Format::CsvWebMail}, {"csv", Format::CsvPlain}};
    for (const auto &n : names) {
        if (name == QLatin1String(n.name)) {
            format = n.format;
            return true;
        }
    }
    return false;
}

Result Write(Connection &cn, QIODevice &out, Format format, const Choice &choice, const Progress &progress)
{
    switch (format) {
    case Format::VCard21:
        return writeCards(cn, out, VCard::Version::V21, choice, progress);
    case Format::VCard30:
        return writeCards(cn, out, VCard::Version::V30, choice, progress);
    case Format::VCard40:
        return writeCards(cn, out, VCard::Version::V40, choice, progress);
    case Format::CsvWebMail:
        return writeCsv(cn, out, CsvMapping::ExportLayout::WebMail, choice, progress);
    case Format::CsvPlain:
        return writeCsv(cn, out, CsvMapping::ExportLayout::Plain, choice, progress);
    }
    return Result();
}

Result Write(Connection &cn, QIODevice &out, VCard::Version version, const Choice &choice, const Progress &progress)
{
    return writeCards(cn, out, version, choice, progress);
}

Format FormatOf(VCard::Version version)
{
    return version == VCard::Version::V21 ? Format::VCard21
           : version == VCard::Version::V40 ? Format::VCard40
                                            : Format::VCard30;
}

Result WriteFile(Connection &cn, const QString &path, Format format, const Choice &choice, const Progress &progress)
{
    QSaveFile file(path);
    Result result;
    if (!file.open(QIODevice::WriteOnly)) {
        result.failure = file.errorString();
        return result;
    }
    result = Write(cn, file, format, choice, progress);
    if (result.cancelled || !result.failure.isEmpty()) {
        file.cancelWriting();
        return result;
    }
    if (!file.commit())
        result.failure = file.errorString();
    return result;
}

Result WriteFile(Connection &cn, const QString &path, VCard::Version version, const Choice &choice,
                 const Progress &progress)
{
    return WriteFile(cn, path, FormatOf(version), choice, progress);
}

} // namespace Export
