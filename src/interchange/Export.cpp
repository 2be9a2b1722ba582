#include "interchange/Export.h"

#include "interchange/ContactCard.h"
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

Result Write(Connection &cn, QIODevice &out, VCard::Version version, const Choice &choice, const Progress &progress)
{
    Result result;
    // One read transaction: every contact from the same state of the book, under one lock.
    Transaction reading(cn.handle());
    QByteArray sql = kSelect;
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
    const QString now = QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
    VCard::Writer w(version);
    QStringList columns(ContactCard::ColumnCount);
    qint64 revSeconds = -1;
    QString revText;
    qsizetype next = 0;
    auto flush = [&](bool always) {
        if (!always && w.data().size() < kChunk)
            return true;
        const QByteArray &chunk = w.data();
        if (out.write(chunk) != chunk.size()) {
            result.failure = out.errorString();
            return false;
        }
        w.clear();
        return true;
    };
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
        for (int i = 0; i < ContactCard::ColumnCount; ++i)
            columns[i] = st.text(i);
        // Many contacts share the second of their last change (an import).
        if (!st.isNull(13) && st.int64(13) != revSeconds) {
            revSeconds = st.int64(13);
            revText = QDateTime::fromSecsSinceEpoch(revSeconds, Qt::UTC).toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
        }
        const QString &rev = st.isNull(13) ? now : revText;
        ContactCard::ToCard(w, columns, uidOf(st), ContactCard::SplitKept(st.text(12)), rev,
                            pictureOf(columns.at(ContactCard::Picture)));
        ++result.written;
        if (!flush(false))
            return result;
        if (progress && result.written % kProgressEvery == 0 && !progress(result.written, total)) {
            result.cancelled = true;
            return result;
        }
    }
    flush(true);
    return result;
}

Result WriteFile(Connection &cn, const QString &path, VCard::Version version, const Choice &choice,
                 const Progress &progress)
{
    QSaveFile file(path);
    Result result;
    if (!file.open(QIODevice::WriteOnly)) {
        result.failure = file.errorString();
        return result;
    }
    result = Write(cn, file, version, choice, progress);
    if (result.cancelled || !result.failure.isEmpty()) {
        file.cancelWriting();
        return result;
    }
    if (!file.commit())
        result.failure = file.errorString();
    return result;
}

} // namespace Export
