#include "sync/Sync.h"

#include "duplicates/Finder.h"
#include "sqlite/Statement.h"
#include "sqlite/Transaction.h"
#include "store/Connection.h"
#include "store/DateText.h"
#include "store/StoreError.h"
#include "store/Uid.h"
#include "sync/CardMerge.h"
#include "sync/Discovery.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSaveFile>
#include <QSet>
#include <QUuid>

#include <sqlite3.h>

#include <algorithm>
#include <deque>

namespace Sync {

namespace {

using ContactCard::Contact;

// Cards asked for in one multiget.
constexpr int kBatch = 250;

const char kContactColumns[] =
    "First_Name, Last_Name, Company, Address, Category, Phones, Mails, Websites, Notes, Date_Registed, Picture";

// What the book knew of a card on the server after the last sync.
struct Item
{
    qint64 contact = 0;
    QString href;
    QByteArray etag;
    QByteArray card;   // as last synced: the version both sides last agreed on
    QByteArray digest; // of the contact as it was then
};

struct Local
{
    qint64 id = 0;
    Place place = Place::Nowhere;
    Contact contact; // columns and kept lines; the picture's bytes once loaded
    QString uid;
    qint64 rev = 0;
    QByteArray digest;
    bool photoLoaded = false;
};

// A card as the server has it now.
struct Remote
{
    QString href;
    QByteArray etag;
    QByteArray card;
};

// What the sync does about one contact, here and there.
struct Work
{
    // Keep: a contact gone here without passing the bin (deleted for good, or
    // an undone sync that brought it) waits in the bin, as the card was.
    enum class Here { None, Update, Add, Bin, Restore, Keep } here = Here::None;
    qint64 id = 0; // the contact here (none yet for Add)
    Place seenPlace = Place::Nowhere;
    QByteArray seenDigest; // as planned: a contact edited meanwhile is left for the next sync
    Contact contact;       // what it becomes here (Update, Add, Restore)
    QString uid;           // Add: its UID

    enum class Row { Keep, Set, Drop } row = Row::Keep;
    Item item; // Set: the new row (its contact is filled in when written)

    enum class There { None, Create, Change, Delete } there = There::None;
    QString href;        // where it goes
    QByteArray ifMatch;  // Change, Delete
    QByteArray upload;   // the card sent
    QByteArray uploadDigest; // the digest of the contact as sent
    Contact sent;            // the contact as sent, for a second look after a 412
    QString name;        // for messages
};

QByteArray digestOf(const Contact &c)
{
    QCryptographicHash h(QCryptographicHash::Sha1);
    for (int i = 0; i < ContactCard::ColumnCount; ++i) {
        if (i == ContactCard::Registered)
            continue;
        h.addData(c.columns.at(i).toUtf8());
        h.addData(QByteArrayView("\x1f", 1));
    }
    h.addData(ContactCard::JoinKept(c.kept).toUtf8());
    return h.result();
}

QString nameOf(const Contact &c)
{
    const QString n = (c.columns.at(ContactCard::First) + QLatin1Char(' ') + c.columns.at(ContactCard::Last)).trimmed();
    if (!n.isEmpty())
        return n;
    if (!c.columns.at(ContactCard::Company).isEmpty())
        return c.columns.at(ContactCard::Company);
    return QStringLiteral("a contact without a name");
}

std::optional<Contact> parseCard(const QByteArray &text)
{
    if (text.isEmpty())
        return std::nullopt;
    VCard::Reader reader(text);
    VCard::Card card;
    VCard::Problem problem;
    for (;;) {
        const VCard::Reader::Result r = reader.next(card, problem);
        if (r == VCard::Reader::Result::Card)
            return ContactCard::FromCard(card);
        if (r == VCard::Reader::Result::End)
            return std::nullopt;
    }
}

QString revText(qint64 seconds)
{
    const QDateTime when = seconds > 0 ? QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC) : QDateTime::currentDateTimeUtc();
    return when.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ssZ"));
}

QByteArray cardOf(const Contact &c, const QString &uid, qint64 rev)
{
    VCard::Writer w(VCard::Version::V30);
    ContactCard::ToCard(w, c.columns, uid, c.kept, revText(rev), c.photo);
    return w.take();
}

// A file name for a new card: the UID when it is plain, else a name of its own.
QString cardFileName(const QString &uid)
{
    static const QString plain = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_.");
    bool ok = !uid.isEmpty() && uid.size() <= 100 && !uid.startsWith(QLatin1Char('.'));
    for (const QChar ch : uid)
        ok = ok && plain.contains(ch);
    return (ok ? uid : QUuid::createUuid().toString(QUuid::WithoutBraces)) + QStringLiteral(".vcf");
}

QString folderPath(QString path)
{
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

void check(Connection &cn, int rc, int expected = SQLITE_DONE)
{
    if (rc != expected)
        cn.fail(rc);
}

QString uidOf(const Statement &st, int column)
{
    if (st.isNull(column))
        return QString();
    const bool blob = st.columnType(column) == SQLITE_BLOB;
    return Uid::Text(blob ? st.blob(column) : st.utf8(column).toByteArray(), blob);
}

void bindUid(Statement &st, int index, const QString &uid)
{
    const Uid::Stored s = Uid::FromText(uid);
    if (s.blob)
        st.bindBlob(index, s.bytes);
    else
        st.bindUtf8(index, s.bytes);
}

void bindText(Statement &st, int index, const QString &text)
{
    if (text.isEmpty())
        st.bindNull(index);
    else
        st.bind(index, text);
}

class Session
{
public:
    Session(Connection &cn, const Account &account, const Options &options, Report &report)
        : m_cn(cn), m_account(account), m_options(options), m_report(report),
          m_client(account.user, options.password), m_book(QUrl(account.bookUrl)),
          m_bookPath(folderPath(Dav::PathOf(m_book))),
          m_policy(options.policy.value_or(account.policy))
    {
        m_client.setTrustedFingerprint(account.trustedCertificate);
        m_client.setTimeout(options.timeoutMs);
    }

    void run()
    {
        readItems();
        if (list() && fetch())
            exchange();
        m_report.ok = m_failure.isEmpty();
        m_report.failure = m_failure;
    }

private:
    void exchange()
    {
        readLocal();
        const int before = int(std::count_if(m_locals.cbegin(), m_locals.cend(),
                                             [](const Local &l) { return l.place == Place::Contacts; }));
        const bool first = m_items.isEmpty();
        plan();
        send();
        write();
        if (first && before > 0 && m_report.added > 0)
            countDuplicates();
    }

    // ---- what the book knows --------------------------------------------

    void readItems()
    {
        Statement st(m_cn.handle(), "SELECT ContactID, Href, ETag, Card, Digest FROM SyncItem WHERE Account = ?1");
        st.bind(1, m_account.id);
        int rc;
        while ((rc = st.step()) == SQLITE_ROW) {
            Item it{st.int64(0), st.text(1), st.utf8(2).toByteArray(), st.utf8(3).toByteArray(), st.blob(4)};
            m_byHref.insert(it.href, it.contact);
            m_items.insert(it.contact, it);
        }
        check(m_cn, rc);
    }

    void readLocal()
    {
        const QByteArray cols = kContactColumns;
        QByteArray prefixed;
        for (const QByteArray &c : cols.split(','))
            prefixed += (prefixed.isEmpty() ? "x." : ", x.") + c.trimmed();
        const QByteArray sql = "SELECT x.ContactID, 1, " + prefixed + ", m.Uid, m.Kept, m.Rev FROM Contacts x"
                               " LEFT JOIN ContactMeta m ON m.ContactID = x.ContactID UNION ALL"
                               " SELECT x.ContactID, 2, " + prefixed + ", m.Uid, m.Kept, m.Rev FROM RecycleBin x"
                               " LEFT JOIN ContactMeta m ON m.ContactID = x.ContactID";
        Transaction reading(m_cn.handle());
        Statement st(m_cn.handle(), sql);
        int rc;
        while ((rc = st.step()) == SQLITE_ROW) {
            Local l;
            l.id = st.int64(0);
            l.place = Place(st.int64(1));
            for (int i = 0; i < ContactCard::ColumnCount; ++i)
                l.contact.columns[i] = st.text(2 + i);
            l.uid = uidOf(st, 13);
            l.contact.uid = l.uid;
            l.contact.kept = ContactCard::SplitKept(st.text(14));
            l.rev = st.int64(15);
            l.digest = digestOf(l.contact);
            m_locals.insert(l.id, l);
        }
        check(m_cn, rc);
    }

    // The contact that has the UID, also one only the journal can bring back; 0 for none.
    qint64 byUid(const QString &uid)
    {
        if (!m_uidsRead) {
            // Only when the server has new cards: an incremental sync seldom needs them.
            m_uidsRead = true;
            Statement uids(m_cn.handle(), "SELECT ContactID, Uid FROM ContactMeta");
            int rc;
            while ((rc = uids.step()) == SQLITE_ROW)
                m_byUid.insert(uidOf(uids, 1), uids.int64(0));
            check(m_cn, rc);
        }
        return m_byUid.value(uid);
    }

    Local *local(qint64 id)
    {
        const auto it = m_locals.find(id);
        return it == m_locals.end() ? nullptr : &*it;
    }

    // The picture file's bytes, when it is one a card can carry.
    void loadPhoto(Local &l)
    {
        if (l.photoLoaded)
            return;
        l.photoLoaded = true;
        const QString path = l.contact.columns.at(ContactCard::Picture);
        if (path.isEmpty())
            return;
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly) || f.size() > VCard::Reader::kMaxValueBytes / 2)
            return;
        const QByteArray bytes = f.readAll();
        QString suffix;
        if (!ContactCard::PictureType(bytes, &suffix).isEmpty()) {
            l.contact.photo = bytes;
            l.contact.photoType = suffix;
        }
    }

    // The server's version as a contact here: its picture written to the
    // pictures folder (by its content, so the same one is one file).
    Contact asLocal(Contact s, Local *l)
    {
        s.columns[ContactCard::Registered] = l ? l->contact.columns.at(ContactCard::Registered) : QString();
        s.columns[ContactCard::Picture].clear();
        if (!s.photo.isEmpty() && !m_options.picturesFolder.isEmpty()) {
            QDir().mkpath(m_options.picturesFolder);
            const QString name =
                QString::fromLatin1(QCryptographicHash::hash(s.photo, QCryptographicHash::Sha1).toHex().left(20)) +
                QLatin1Char('.') + s.photoType;
            const QString path = QDir(m_options.picturesFolder).absoluteFilePath(name);
            QSaveFile f(path);
            if (QFileInfo(path).size() == s.photo.size() ||
                (f.open(QIODevice::WriteOnly) && f.write(s.photo) == s.photo.size() && f.commit()))
                s.columns[ContactCard::Picture] = path;
        } else if (s.photo.isEmpty() && l) {
            // A picture here that no card can carry stays.
            loadPhoto(*l);
            if (l->contact.photo.isEmpty())
                s.columns[ContactCard::Picture] = l->contact.columns.at(ContactCard::Picture);
        }
        return s;
    }

    // ---- what the server has ----------------------------------------------

    bool fail(const Dav::Response &r)
    {
        if (m_client.untrusted())
            m_report.certificate = m_client.untrusted();
        m_failure = Dav::Describe(r);
        return false;
    }

    // The resources of a 207 answer; false, the sync failing, for any other
    // answer or one that cannot be read (`what` the server sent).
    bool resourcesOf(const Dav::Response &r, const char *what, Dav::Multistatus &ms)
    {
        if (r.status != 207)
            return fail(r);
        ms = Dav::ParseMultistatus(r.body, m_book);
        if (!ms.valid)
            m_failure = QStringLiteral("the server's %1 cannot be read").arg(QLatin1String(what));
        return ms.valid;
    }

    bool hopeless(const Dav::Response &r) const
    {
        return r.status == 0 || r.status == 401 || r.status >= 500;
    }

    bool told(const QString &stage, qint64 done, qint64 total)
    {
        if (m_options.progress && !m_options.progress(stage, done, total)) {
            m_failure = QStringLiteral("the sync was stopped");
            return false;
        }
        return true;
    }

    bool list()
    {
        QString token = m_account.syncToken;
        for (int attempt = 0; attempt < 2; ++attempt) {
            const QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?><d:sync-collection xmlns:d=\"DAV:\">"
                                    "<d:sync-token>" + token.toHtmlEscaped().toUtf8() + "</d:sync-token>"
                                    "<d:sync-level>1</d:sync-level><d:prop><d:getetag/></d:prop></d:sync-collection>";
            const Dav::Response r = m_client.report(m_book, 0, body);
            // A server without the report may answer anything else (501, 400,
            // 403): the listing below tells whether it can be used at all.
            if (r.status == 0 || r.status == 401)
                return fail(r);
            if (r.status == 207) {
                const Dav::Multistatus ms = Dav::ParseMultistatus(r.body, m_book);
                if (!ms.valid)
                    break;
                for (const Dav::Resource &res : ms.resources) {
                    if (folderPath(res.href) == m_bookPath)
                        continue;
                    if (res.status == 404)
                        m_removed << res.href;
                    else
                        m_listed.insert(res.href, res.etag);
                }
                m_report.listedAll = token.isEmpty();
                m_newToken = ms.syncToken;
                break;
            }
            // A token the server no longer knows: everything again.
            if (!token.isEmpty() && r.body.contains("valid-sync-token")) {
                token.clear();
                continue;
            }
            break;
        }
        if (!m_newToken.isEmpty())
            return listedAll();
        // No sync reports here: every card's ETag.
        m_listed.clear();
        m_removed.clear();
        Dav::Multistatus ms;
        if (!resourcesOf(m_client.propfind(m_book, 1, "<d:getetag/><d:resourcetype/>"), "list of cards", ms))
            return false;
        for (const Dav::Resource &res : ms.resources) {
            if (folderPath(res.href) != m_bookPath && !res.collection)
                m_listed.insert(res.href, res.etag);
        }
        m_report.listedAll = true;
        return listedAll();
    }

    // With every card listed, a known card not among them was deleted.
    bool listedAll()
    {
        if (m_report.listedAll) {
            for (auto it = m_byHref.cbegin(); it != m_byHref.cend(); ++it) {
                if (!m_listed.contains(it.key()))
                    m_removed << it.key();
            }
        }
        return true;
    }

    bool fetch()
    {
        QStringList wanted;
        for (auto it = m_listed.cbegin(); it != m_listed.cend(); ++it) {
            const auto known = m_byHref.constFind(it.key());
            if (known == m_byHref.cend() || it.value().isEmpty() || m_items.value(*known).etag != it.value())
                wanted << it.key();
        }
        std::sort(wanted.begin(), wanted.end());
        for (qsizetype i = 0; i < wanted.size(); i += kBatch) {
            if (!told(QStringLiteral("Receiving"), i, wanted.size()))
                return false;
            QByteArray body = "<?xml version=\"1.0\" encoding=\"utf-8\"?><c:addressbook-multiget xmlns:d=\"DAV:\""
                              " xmlns:c=\"urn:ietf:params:xml:ns:carddav\"><d:prop><d:getetag/><c:address-data/>"
                              "</d:prop>";
            for (qsizetype j = i; j < std::min(wanted.size(), i + kBatch); ++j)
                body += "<d:href>" + QUrl::toPercentEncoding(wanted.at(j), "/") + "</d:href>";
            body += "</c:addressbook-multiget>";
            Dav::Multistatus ms;
            if (!resourcesOf(m_client.report(m_book, 1, body), "cards", ms))
                return false;
            for (const Dav::Resource &res : ms.resources) {
                if (res.status == 404 || res.addressData.isEmpty())
                    continue; // deleted in between: the next sync hears of it
                m_remotes << Remote{res.href, res.etag, res.addressData};
            }
        }
        return told(QStringLiteral("Receiving"), wanted.size(), wanted.size());
    }

    Dav::Response get(const QString &href)
    {
        return m_client.send("GET", Dav::UrlOf(m_book, href));
    }

    // ---- deciding ----------------------------------------------------------

    Resolution decide(Local &l, const Contact &server, const QByteArray &serverCard)
    {
        switch (m_policy) {
        case Policy::Local:
            return Resolution::Local;
        case Policy::Server:
            return Resolution::Server;
        case Policy::KeepBoth:
            return Resolution::KeepBoth;
        case Policy::Ask:
            break;
        }
        if (!m_options.ask)
            return Resolution::KeepBoth;
        Conflict c;
        c.contactId = l.id;
        c.name = nameOf(l.contact);
        c.local = l.contact;
        c.server = server;
        c.localCard = cardOf(l.contact, l.uid, l.rev);
        c.serverCard = serverCard;
        return m_options.ask(c);
    }

    // Sends the contact as it is (or becomes) here.
    void sendLocal(Work &w, const Contact &c, const QString &uid, qint64 rev, Work::There there)
    {
        w.there = there;
        w.upload = cardOf(c, uid, rev);
        w.uploadDigest = digestOf(c);
        w.sent = c;
        w.name = nameOf(c);
    }

    void setRow(Work &w, const Remote &r, const QByteArray &digest)
    {
        w.row = Work::Row::Set;
        w.item = Item{w.id, r.href, r.etag, r.card, digest};
    }

    // The contact becomes `merged` here against the server's `there`: what
    // changes here, the row, and what is sent when the two still differ.
    void settle(Work &w, Local &l, const Contact &merged, const Contact &there, const Remote &r)
    {
        w.id = l.id;
        w.seenPlace = l.place;
        w.seenDigest = l.digest;
        const bool changesHere = !CardMerge::Same(merged, l.contact);
        const Contact &after = changesHere ? merged : l.contact;
        if (changesHere) {
            w.here = Work::Here::Update;
            w.contact = merged;
            ++m_report.updated;
        }
        const bool agree = CardMerge::Same(after, there);
        setRow(w, r, digestOf(agree ? after : there));
        if (!agree) {
            w.href = r.href;
            w.ifMatch = r.etag;
            sendLocal(w, after, l.uid, l.rev, Work::There::Change);
        }
    }

    // Keep both: the server's version as a contact of its own, with a UID of
    // its own, here and on the server.
    Work copyOf(const Contact &there)
    {
        Work copy;
        copy.here = Work::Here::Add;
        copy.contact = there;
        copy.uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        copy.contact.uid = copy.uid;
        copy.href = m_bookPath + cardFileName(copy.uid);
        sendLocal(copy, copy.contact, copy.uid, 0, Work::There::Create);
        ++m_report.added;
        return copy;
    }

    // Both sides changed the contact since they last agreed (`base`).
    void conflict(Local &l, const Remote &r, const Contact &server, const std::optional<Contact> &base)
    {
        ++m_report.conflicts;
        loadPhoto(l);
        const Contact there = asLocal(server, &l);
        const Resolution res = decide(l, there, r.card);
        Work w;
        w.id = l.id;
        w.seenPlace = l.place;
        w.seenDigest = l.digest;
        w.href = r.href;
        w.ifMatch = r.etag;
        setRow(w, r, digestOf(there));
        if (res == Resolution::KeepBoth) {
            // Ours replaces the server's card, and the server's version
            // becomes a contact of its own, with a UID of its own.
            sendLocal(w, l.contact, l.uid, l.rev, Work::There::Change);
            m_work.push_back(w);
            m_work.push_back(copyOf(there));
            return;
        }
        const Contact *common = base ? &*base : nullptr;
        settle(w, l, res == Resolution::Local ? CardMerge::Merge(l.contact, there, common)
                                              : CardMerge::Merge(there, l.contact, common),
               there, r);
        m_work.push_back(w);
    }

    // The server's card of a contact removed here: its change brings it back.
    Work restored(Local *l, qint64 id, const Remote &r, const Contact &server)
    {
        Work w;
        w.here = Work::Here::Restore;
        w.id = id;
        w.seenPlace = l ? l->place : Place::Nowhere;
        w.contact = asLocal(server, l);
        w.uid = l ? l->uid : server.uid;
        setRow(w, r, digestOf(w.contact));
        m_handled << id;
        ++m_report.restored;
        return w;
    }

    void plan()
    {
        std::sort(m_remotes.begin(), m_remotes.end(), [](const Remote &a, const Remote &b) { return a.href < b.href; });
        for (const Remote &r : m_remotes) {
            std::optional<Contact> server = parseCard(r.card);
            if (!server) {
                m_report.rejected << QStringLiteral("%1: the server's card cannot be read").arg(r.href);
                m_incomplete = true;
                continue;
            }
            if (const auto known = m_byHref.constFind(r.href); known != m_byHref.cend())
                planKnown(m_items[*known], r, *server);
            else
                planNew(r, *server);
        }
        for (const QString &href : std::as_const(m_removed)) {
            const auto known = m_byHref.constFind(href);
            if (known == m_byHref.cend() || m_handled.contains(*known))
                continue;
            const Item &it = m_items[*known];
            m_handled << it.contact;
            Local *l = local(it.contact);
            Work w;
            w.id = it.contact;
            w.row = Work::Row::Drop;
            if (l && l->place == Place::Contacts) {
                w.seenPlace = l->place;
                w.seenDigest = l->digest;
                if (l->digest == it.digest) {
                    w.here = Work::Here::Bin;
                    ++m_report.binned;
                } else {
                    // Changed here since: it goes back to the server, as new.
                    loadPhoto(*l);
                    w.href = m_bookPath + cardFileName(l->uid);
                    sendLocal(w, l->contact, l->uid, l->rev, Work::There::Create);
                }
            }
            m_work.push_back(w);
        }
        for (Local &l : m_locals) {
            if (l.place != Place::Contacts || m_handled.contains(l.id) || l.uid.isEmpty())
                continue;
            const auto it = m_items.constFind(l.id);
            if (it != m_items.cend() && it->digest == l.digest)
                continue;
            Work w;
            w.id = l.id;
            loadPhoto(l);
            if (it == m_items.cend()) {
                w.href = m_bookPath + cardFileName(l.uid);
                sendLocal(w, l.contact, l.uid, l.rev, Work::There::Create);
            } else {
                w.href = it->href;
                w.ifMatch = it->etag;
                sendLocal(w, l.contact, l.uid, l.rev, Work::There::Change);
            }
            m_work.push_back(w);
        }
        // Removed here (to the bin or for good): deleted there.
        for (const Item &it : std::as_const(m_items)) {
            if (m_handled.contains(it.contact))
                continue;
            const Local *l = local(it.contact);
            if (l && l->place == Place::Contacts)
                continue;
            Work w;
            w.id = it.contact;
            w.there = Work::There::Delete;
            w.href = it.href;
            w.ifMatch = it.etag;
            w.name = l ? nameOf(l->contact) : it.href;
            if (!l) {
                if (const std::optional<Contact> last = parseCard(it.card)) {
                    w.here = Work::Here::Keep;
                    w.seenPlace = Place::Nowhere;
                    w.contact = asLocal(*last, nullptr);
                    w.uid = last->uid;
                    w.name = nameOf(w.contact);
                }
            }
            m_work.push_back(w);
        }
    }

    void planKnown(const Item &it, const Remote &r, const Contact &server)
    {
        m_handled << it.contact;
        Local *l = local(it.contact);
        if (!l || l->place != Place::Contacts) {
            m_work.push_back(restored(l, it.contact, r, server));
            return;
        }
        if (l->digest == it.digest) {
            // Changed there only.
            loadPhoto(*l);
            Work w;
            const Contact there = asLocal(server, l);
            settle(w, *l, there, there, r);
            m_work.push_back(w);
            return;
        }
        loadPhoto(*l);
        const Contact there = asLocal(server, l);
        if (CardMerge::Same(there, l->contact)) {
            // Both sides made the same change.
            Work w;
            w.id = l->id;
            setRow(w, r, l->digest);
            m_work.push_back(w);
            return;
        }
        conflict(*l, r, server, parseCard(it.card));
    }

    void planNew(const Remote &r, Contact server)
    {
        const qint64 match = server.uid.isEmpty() ? 0 : byUid(server.uid);
        if (match && !m_items.contains(match) && !m_handled.contains(match)) {
            Local *l = local(match);
            if (!l || l->place != Place::Contacts) {
                m_work.push_back(restored(l, match, r, server));
                return;
            }
            // The same contact on both sides before they ever synced (a first
            // sync into a book that has it): put together, the server's
            // values first, nothing of either side lost.
            m_handled << match;
            loadPhoto(*l);
            const Contact there = asLocal(server, l);
            Work w;
            settle(w, *l, CardMerge::Merge(there, l->contact, nullptr), there, r);
            m_work.push_back(w);
            return;
        }
        Work w;
        w.here = Work::Here::Add;
        w.contact = asLocal(server, nullptr);
        // A card without a UID, or with one another contact has, gets one of its own here.
        w.uid = server.uid.isEmpty() || match || m_newUids.contains(server.uid)
                    ? QUuid::createUuid().toString(QUuid::WithoutBraces)
                    : server.uid;
        m_newUids << w.uid;
        setRow(w, r, digestOf(w.contact));
        m_work.push_back(w);
        ++m_report.added;
    }

    // ---- sending -----------------------------------------------------------

    Dav::Response put(const Work &w, bool create)
    {
        Dav::Client::Headers headers{{"Content-Type", "text/vcard; charset=utf-8"}};
        if (create)
            headers << qMakePair(QByteArray("If-None-Match"), QByteArray("*"));
        else
            headers << qMakePair(QByteArray("If-Match"), w.ifMatch);
        return m_client.send("PUT", Dav::UrlOf(m_book, w.href), w.upload, headers);
    }

    void sent(Work &w, const Dav::Response &r)
    {
        w.row = Work::Row::Set;
        w.item = Item{w.id, w.href, r.etag, w.upload, w.uploadDigest};
        w.there = Work::There::None;
        ++m_report.sent;
    }

    void refused(Work &w, const Dav::Response &r)
    {
        m_report.rejected << QStringLiteral("%1: %2").arg(w.name, Dav::Describe(r));
        w.there = Work::There::None;
    }

    // The card changed on the server while this sync sent ours (412): its
    // version now, settled as any conflict; false when the sync must stop.
    bool overtaken(Work &w)
    {
        const Dav::Response g = get(w.href);
        if (hopeless(g))
            return fail(g);
        if (g.status == 404) {
            if (w.there == Work::There::Delete) {
                w.row = Work::Row::Drop;
                w.there = Work::There::None;
            } else {
                w.there = Work::There::Create;
            }
            return true;
        }
        const std::optional<Contact> server = g.ok() ? parseCard(g.body) : std::nullopt;
        if (!server) {
            refused(w, g);
            return true;
        }
        const Remote r{w.href, g.etag, g.body};
        Local *l = local(w.id);
        if (w.there == Work::There::Delete) {
            w = restored(l, w.id, r, *server);
            return true;
        }
        ++m_report.conflicts;
        Local mine;
        mine.id = w.id;
        mine.place = Place::Contacts;
        mine.contact = w.sent;
        mine.photoLoaded = true;
        mine.uid = l ? l->uid : w.sent.uid;
        const Contact there = asLocal(*server, l);
        std::optional<Contact> base = w.row == Work::Row::Set ? parseCard(w.item.card)
                                                               : (m_items.contains(w.id) ? parseCard(m_items[w.id].card)
                                                                                         : std::nullopt);
        const Resolution res = decide(mine, there, g.body);
        w.ifMatch = g.etag;
        w.row = Work::Row::Set;
        w.item = Item{w.id, w.href, g.etag, g.body, digestOf(there)};
        if (res == Resolution::KeepBoth) {
            m_work.push_back(copyOf(there));
            return true;
        }
        const Contact merged = res == Resolution::Local ? CardMerge::Merge(mine.contact, there, base ? &*base : nullptr)
                                                         : CardMerge::Merge(there, mine.contact, base ? &*base : nullptr);
        if (!CardMerge::Same(merged, mine.contact) && l && l->place == Place::Contacts) {
            if (w.here == Work::Here::None) {
                w.seenPlace = l->place;
                w.seenDigest = l->digest;
            }
            w.here = Work::Here::Update;
            w.contact = merged;
            ++m_report.updated;
        }
        if (CardMerge::Same(merged, there))
            w.there = Work::There::None;
        else
            sendLocal(w, merged, mine.uid, l ? l->rev : 0, Work::There::Change);
        return true;
    }

    // One request for the work; false when the sync must stop.
    bool sendOne(Work &w, bool again)
    {
        if (w.there == Work::There::Delete) {
            const Dav::Response r = m_client.send("DELETE", Dav::UrlOf(m_book, w.href), QByteArray(),
                                                  {{"If-Match", w.ifMatch}});
            if (hopeless(r))
                return fail(r);
            if (r.ok() || r.status == 404) {
                w.row = Work::Row::Drop;
                w.there = Work::There::None;
                m_report.deleted += r.ok() ? 1 : 0;
            } else if (r.status == 412 && !again) {
                return overtaken(w) && (w.there == Work::There::None || sendOne(w, true));
            } else {
                refused(w, r);
            }
            return true;
        }
        const bool create = w.there == Work::There::Create;
        const Dav::Response r = put(w, create);
        if (hopeless(r))
            return fail(r);
        if (r.ok()) {
            sent(w, r);
        } else if (r.status == 412 && create && !again) {
            // The name is taken: another one.
            w.href = m_bookPath + cardFileName(QString());
            return sendOne(w, true);
        } else if (r.status == 412 && !again) {
            return overtaken(w) && (w.there == Work::There::None || sendOne(w, true));
        } else if (r.status == 412) {
            m_report.rejected << QStringLiteral("%1: changed on the server during the sync; the next sync takes it up")
                                     .arg(w.name);
            w.there = Work::There::None;
            m_incomplete = true;
        } else {
            refused(w, r);
        }
        return true;
    }

    void send()
    {
        qint64 total = 0;
        for (const Work &w : m_work)
            total += w.there != Work::There::None;
        qint64 done = 0;
        for (size_t i = 0; i < m_work.size(); ++i) {
            Work &w = m_work[i];
            if (w.there == Work::There::None)
                continue;
            if (!told(QStringLiteral("Sending"), done++, total) || !sendOne(w, false))
                return;
        }
        told(QStringLiteral("Sending"), total, total);
    }

    // ---- writing here ------------------------------------------------------

    // Where the contact is now and its digest: a contact edited since it was
    // read is left for the next sync.
    bool unchanged(const Work &w)
    {
        if (w.here == Work::Here::Add)
            return true;
        Statement st(m_cn.handle(), "SELECT 1, " + QByteArray(kContactColumns) + ", m.Kept FROM Contacts x LEFT JOIN"
                                    " ContactMeta m ON m.ContactID = x.ContactID WHERE x.ContactID = ?1 UNION ALL"
                                    " SELECT 2, " + QByteArray(kContactColumns) + ", NULL FROM RecycleBin WHERE ContactID = ?1");
        st.bind(1, w.id);
        const int rc = st.step();
        if (rc == SQLITE_DONE)
            return w.seenPlace == Place::Nowhere;
        check(m_cn, rc, SQLITE_ROW);
        const Place place = Place(st.int64(0));
        if (place != w.seenPlace)
            return false;
        if (place != Place::Contacts)
            return true;
        Contact now;
        for (int i = 0; i < ContactCard::ColumnCount; ++i)
            now.columns[i] = st.text(1 + i);
        now.kept = ContactCard::SplitKept(st.text(12));
        return digestOf(now) == w.seenDigest;
    }

    // A statement prepared once per sync (a first sync writes thousands of rows).
    Statement &cached(std::optional<Statement> &slot, const QByteArray &sql)
    {
        if (!slot)
            slot.emplace(m_cn.handle(), sql);
        slot->reset();
        return *slot;
    }

    void run(const QByteArray &sql, qint64 id, const QString &text = QString())
    {
        Statement st(m_cn.handle(), sql);
        st.bind(1, id);
        if (!text.isNull())
            st.bind(2, text);
        check(m_cn, st.step());
    }

    void update(qint64 id, const Contact &c)
    {
        Statement &st = cached(m_update, "UPDATE Contacts SET First_Name = ?1, Last_Name = ?2, Company = ?3, Address = ?4,"
                                         " Category = ?5, Phones = ?6, Mails = ?7, Websites = ?8, Notes = ?9, Picture = ?11"
                                         " WHERE ContactID = ?12");
        for (int i = 0; i < ContactCard::ColumnCount; ++i) {
            if (i != ContactCard::Registered)
                st.bind(i + 1, c.columns.at(i));
        }
        st.bind(12, id);
        check(m_cn, st.step());
        Statement &kept = cached(m_updateKept, "UPDATE ContactMeta SET Kept = ?2 WHERE ContactID = ?1");
        kept.bind(1, id);
        bindText(kept, 2, ContactCard::JoinKept(c.kept));
        check(m_cn, kept.step());
    }

    qint64 add(const Contact &c, const QString &uid)
    {
        Statement &st = cached(m_insert, "INSERT INTO Contacts (" + QByteArray(kContactColumns) + ") VALUES"
                                         " (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11)");
        for (int i = 0; i < ContactCard::ColumnCount; ++i)
            st.bind(i + 1, i == ContactCard::Registered ? StoredDateTime(QDateTime::currentDateTime()) : c.columns.at(i));
        check(m_cn, st.step());
        const qint64 id = sqlite3_last_insert_rowid(m_cn.handle());
        Statement &meta = cached(m_insertMeta, "INSERT INTO ContactMeta (ContactID, Uid, Kept, Rev) VALUES (?1, ?2, ?3, ?4)");
        meta.bind(1, id);
        bindUid(meta, 2, uid);
        bindText(meta, 3, ContactCard::JoinKept(c.kept));
        meta.bind(4, QDateTime::currentSecsSinceEpoch());
        check(m_cn, meta.step());
        return id;
    }

    void toBin(qint64 id)
    {
        run("INSERT INTO RecycleBin (ContactID, " + QByteArray(kContactColumns) + ", RemovedAt) SELECT ContactID, " +
                QByteArray(kContactColumns) + ", ?2 FROM Contacts WHERE ContactID = ?1",
            id, StoredDateTime(QDateTime::currentDateTime()));
        run("DELETE FROM Contacts WHERE ContactID = ?1", id);
    }

    void fromBin(const Work &w)
    {
        if (w.seenPlace == Place::Bin) {
            run("INSERT INTO Contacts (ContactID, " + QByteArray(kContactColumns) + ") SELECT ContactID, " +
                    QByteArray(kContactColumns) + " FROM RecycleBin WHERE ContactID = ?1",
                w.id);
            run("DELETE FROM RecycleBin WHERE ContactID = ?1", w.id);
        } else {
            // Gone for good here, but the journal still knows it: back under its own key.
            run("INSERT INTO Contacts (ContactID, Date_Registed) VALUES (?1, ?2)", w.id,
                StoredDateTime(QDateTime::currentDateTime()));
            Statement meta(m_cn.handle(), "INSERT OR IGNORE INTO ContactMeta (ContactID, Uid) VALUES (?1, ?2)");
            meta.bind(1, w.id);
            bindUid(meta, 2, w.uid.isEmpty() ? QUuid::createUuid().toString(QUuid::WithoutBraces) : w.uid);
            check(m_cn, meta.step());
        }
        update(w.id, w.contact);
    }

    void setItem(const Item &it)
    {
        Statement &st = cached(m_setItem, "INSERT OR REPLACE INTO SyncItem (Account, ContactID, Href, ETag, Card, Digest)"
                                          " VALUES (?1, ?2, ?3, ?4, ?5, ?6)");
        st.bind(1, m_account.id).bind(2, it.contact).bind(3, it.href);
        st.bindUtf8(4, it.etag).bindUtf8(5, it.card).bindBlob(6, it.digest);
        check(m_cn, st.step());
    }

    void dropItem(qint64 contact)
    {
        Statement st(m_cn.handle(), "DELETE FROM SyncItem WHERE Account = ?1 AND ContactID = ?2");
        st.bind(1, m_account.id).bind(2, contact);
        check(m_cn, st.step());
    }

    void write()
    {
        const bool changesHere = std::any_of(m_work.cbegin(), m_work.cend(),
                                             [](const Work &w) { return w.here != Work::Here::None; });
        std::optional<JournalStep> step;
        std::optional<Transaction> plain;
        if (changesHere) {
            // Named as the Edit menu shows it: "Undo sync with ann@dav.example.org".
            step.emplace(m_cn, QStringLiteral("sync with ") + m_account.key());
        } else {
            plain.emplace(m_cn.handle());
            if (!plain->active())
                m_cn.fail(plain->beginResult());
        }
        qint64 firstNew = 0, lastNew = 0;
        for (Work &work : m_work) {
            Work *const w = &work;
            if (w->here != Work::Here::None) {
                if (!unchanged(*w)) {
                    m_incomplete = true;
                    continue;
                }
                switch (w->here) {
                case Work::Here::Update:
                    step->keepBefore(w->id);
                    update(w->id, w->contact);
                    break;
                case Work::Here::Add:
                    w->id = add(w->contact, w->uid);
                    if (!firstNew)
                        firstNew = w->id;
                    lastNew = w->id;
                    m_added << w->id;
                    break;
                case Work::Here::Bin:
                    step->keepBefore(w->id);
                    toBin(w->id);
                    break;
                case Work::Here::Restore:
                    step->keepBefore(w->id);
                    fromBin(*w);
                    break;
                case Work::Here::Keep:
                    step->keepBefore(w->id);
                    fromBin(*w);
                    toBin(w->id);
                    break;
                case Work::Here::None:
                    break;
                }
            }
            if (w->row == Work::Row::Drop) {
                dropItem(w->id);
            } else if (w->row == Work::Row::Set) {
                w->item.contact = w->id;
                setItem(w->item);
            }
        }
        if (firstNew)
            step->keepAdded(firstNew, lastNew, false);
        // The token says the server's changes up to it are here: only when all are.
        if (m_failure.isEmpty() && !m_incomplete)
            Accounts::SetSyncToken(m_cn, m_account.id, m_newToken);
        if (step) {
            m_report.summary = step->commit();
            m_report.changedHere = true;
        } else if (!plain->commit()) {
            m_cn.fail(plain->commitResult());
        }
    }

    void countDuplicates()
    {
        QString region = m_options.region;
        if (region.isEmpty())
            region = QLocale::territoryToCode(QLocale::system().territory());
        const QSet<qint64> added(m_added.cbegin(), m_added.cend());
        for (const Duplicates::Group &g : Duplicates::FindDuplicates(m_cn, region)) {
            if (std::any_of(g.contacts.cbegin(), g.contacts.cend(), [&](qint64 id) { return added.contains(id); }))
                ++m_report.likelyDuplicates;
        }
    }

    Connection &m_cn;
    const Account m_account;
    const Options &m_options;
    Report &m_report;
    Dav::Client m_client;
    const QUrl m_book;
    const QString m_bookPath;
    const Policy m_policy;

    QHash<qint64, Item> m_items;     // by ContactID
    QHash<QString, qint64> m_byHref; // the ContactID of a known card
    QHash<qint64, Local> m_locals;
    QHash<QString, qint64> m_byUid;
    bool m_uidsRead = false;
    QSet<QString> m_newUids;

    QHash<QString, QByteArray> m_listed; // href -> ETag, as the server lists them
    QStringList m_removed;
    QString m_newToken;
    QList<Remote> m_remotes;

    QSet<qint64> m_handled;
    // What to do, in order; a 412 may add more while it is being sent (a deque
    // keeps the one being sent where it is).
    std::deque<Work> m_work;
    QList<qint64> m_added;
    QString m_failure;
    bool m_incomplete = false;
    std::optional<Statement> m_update, m_updateKept, m_insert, m_insertMeta, m_setItem;
};

} // namespace

QString Report::text() const
{
    QString s = QStringLiteral("%1 added, %2 updated, %3 moved to the Recycle bin, %4 restored here; %5 sent, %6 deleted on the server")
                    .arg(added)
                    .arg(updated)
                    .arg(binned)
                    .arg(restored)
                    .arg(sent)
                    .arg(deleted);
    if (conflicts)
        s += QStringLiteral("; %1 conflict%2").arg(conflicts).arg(conflicts == 1 ? "" : "s");
    if (!rejected.isEmpty())
        s += QStringLiteral("; %1 refused by the server").arg(rejected.size());
    if (likelyDuplicates)
        s += QStringLiteral("; %1 likely duplicate%2").arg(likelyDuplicates).arg(likelyDuplicates == 1 ? "" : "s");
    return s;
}

Report Run(Connection &cn, qint64 account, const Options &options)
{
    Report report;
    const std::optional<Account> a = Accounts::Get(cn, account);
    if (!a) {
        report.failure = QStringLiteral("the sync account no longer exists");
        return report;
    }
    if (a->bookUrl.isEmpty()) {
        report.failure = QStringLiteral("the account has no address book");
        return report;
    }
    Session(cn, *a, options, report).run();
    Accounts::NoteResult(cn, account, report.ok ? report.text() : report.failure);
    return report;
}

SetupResult Setup(Connection &cn, const QString &server, const QString &user, const QString &password,
                  const QString &bookName, const QString &trustedFingerprint, int timeoutMs)
{
    SetupResult result;
    if (const std::optional<Account> known = Accounts::Find(cn, server, user)) {
        result.account = known->id;
        result.bookName = known->bookName;
        return result;
    }
    Dav::Client client(user, password);
    client.setTrustedFingerprint(trustedFingerprint);
    client.setTimeout(timeoutMs);
    const Discovery::Found found = Discovery::Find(client, server);
    if (!found.failure.isEmpty()) {
        result.failure = found.failure;
        result.certificate = found.certificate;
        return result;
    }
    std::optional<Discovery::Book> book;
    for (const Discovery::Book &b : found.books) {
        if (bookName.isEmpty() || b.name.compare(bookName, Qt::CaseInsensitive) == 0 ||
            Dav::PathOf(b.url).section(QLatin1Char('/'), -2, -2) == bookName) {
            book = b;
            break;
        }
    }
    if (!book) {
        QString why;
        book = Discovery::Create(client, found.home, bookName.isEmpty() ? QStringLiteral("Contacts") : bookName, &why);
        if (!book) {
            result.failure = why;
            return result;
        }
    }
    Account a;
    a.server = server;
    a.user = user;
    a.bookUrl = book->url.toString();
    a.bookName = book->name;
    a.trustedCertificate = trustedFingerprint;
    result.account = Accounts::Add(cn, a);
    result.bookName = book->name;
    return result;
}

} // namespace Sync
