#include "transfer/Printout.h"

#include "sqlite/Statement.h"
#include "sqlite/Transaction.h"
#include "store/Connection.h"
#include "store/ItemList.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPdfWriter>
#include <QTextDocument>
#include <QTextOption>

#include <sqlite3.h>

#include <memory>

namespace {

struct Entry
{
    QString first, last, company, address;
    QList<ItemEntry> phones, mails;
};

QList<Entry> readEntries(Connection &cn, const QList<qint64> &contacts)
{
    Transaction reading(cn.handle());
    const QByteArray columns = "SELECT First_Name, Last_Name, Company, Address, Phones, Mails FROM Contacts";
    Statement st(cn.handle(), contacts.isEmpty() ? columns + " ORDER BY Last_Name, First_Name"
                                                 : columns + " WHERE ContactID = ?1");
    if (st.prepareResult() != SQLITE_OK)
        cn.fail(st.prepareResult());
    QList<Entry> out;
    auto take = [&] {
        out << Entry{st.text(0).trimmed(), st.text(1).trimmed(), st.text(2).trimmed(), st.text(3).trimmed(),
                     SplitItemList(st.text(4)), SplitItemList(st.text(5))};
    };
    if (contacts.isEmpty()) {
        int rc;
        while ((rc = st.step()) == SQLITE_ROW)
            take();
        if (rc != SQLITE_DONE)
            cn.fail(rc);
        return out;
    }
    for (const qint64 id : contacts) {
        st.reset();
        st.bind(1, id);
        const int rc = st.step();
        if (rc == SQLITE_ROW)
            take();
        else if (rc != SQLITE_DONE)
            cn.fail(rc);
    }
    return out;
}

QString html(const QString &text)
{
    return text.toHtmlEscaped().replace(QLatin1Char('\n'), QLatin1String("<br>"));
}

QString items(const QList<ItemEntry> &list)
{
    QStringList lines;
    for (const ItemEntry &e : list) {
        lines << html(e.sItem) +
                     (e.sDescription.isEmpty() ? QString() : QStringLiteral(" <i>(%1)</i>").arg(html(e.sDescription)));
    }
    return lines.join(QLatin1String("<br>"));
}

QString nameOf(const Entry &e)
{
    return (e.first + QLatin1Char(' ') + e.last).trimmed();
}

// The initial a contact is listed under: of the last name, else the first.
QString initialOf(const Entry &e)
{
    const QString key = e.last.isEmpty() ? e.first : e.last;
    if (key.isEmpty())
        return QStringLiteral("#");
    const qsizetype n = key.at(0).isHighSurrogate() && key.size() > 1 ? 2 : 1;
    return key.left(n).toUpper();
}

QString phoneList(const QList<Entry> &entries, const QString &dir, const QString &title)
{
    QString out = QStringLiteral("<h2 dir='%1'>%2</h2>").arg(dir, html(title));
    out += QStringLiteral("<table dir='%1' width='100%' cellspacing='0' cellpadding='3' border='0'>").arg(dir);
    const QString start = dir == QLatin1String("rtl") ? QStringLiteral("right") : QStringLiteral("left");
    out += QStringLiteral("<tr><th align='%1' width='24%'>Name</th><th align='%1' width='18%'>Company</th>"
                          "<th align='%1' width='26%'>Phones</th><th align='%1' width='32%'>Mails</th></tr>")
               .arg(start);
    QString heading;
    for (const Entry &e : entries) {
        const QString initial = initialOf(e);
        if (initial != heading) {
            heading = initial;
            out += QStringLiteral("<tr><td colspan='4' bgcolor='#e8e8e8'><b>%1</b></td></tr>").arg(html(initial));
        }
        out += QStringLiteral("<tr><td valign='top'>%1</td><td valign='top'>%2</td><td valign='top'>%3</td>"
                              "<td valign='top'>%4</td></tr>")
                   .arg(html(nameOf(e)), html(e.company), items(e.phones), items(e.mails));
    }
    return out + QStringLiteral("</table>");
}

QString labels(const QList<Entry> &entries, const QString &dir)
{
    constexpr int kAcross = 3;
    QString out = QStringLiteral("<table dir='%1' width='100%' cellspacing='0' cellpadding='12' border='0'>").arg(dir);
    for (qsizetype i = 0; i < entries.size(); ++i) {
        if (i % kAcross == 0)
            out += QStringLiteral("<tr>");
        const Entry &e = entries.at(i);
        QString block = QStringLiteral("<b>%1</b>").arg(html(nameOf(e)));
        if (!e.company.isEmpty())
            block += QStringLiteral("<br>") + html(e.company);
        if (!e.address.isEmpty())
            block += QStringLiteral("<br>") + html(e.address);
        out += QStringLiteral("<td width='33%' valign='top' height='110'>%1</td>").arg(block);
        if (i % kAcross == kAcross - 1 || i == entries.size() - 1)
            out += QStringLiteral("</tr>");
    }
    return out + QStringLiteral("</table>");
}

} // namespace

namespace Printout {

QTextDocument *Compose(Connection &cn, const QList<qint64> &contacts, Layout layout, bool rightToLeft,
                       const QString &title)
{
    const QList<Entry> entries = readEntries(cn, contacts);
    const QString dir = rightToLeft ? QStringLiteral("rtl") : QStringLiteral("ltr");
    auto *doc = new QTextDocument;
    doc->setDocumentMargin(0);
    QTextOption option = doc->defaultTextOption();
    option.setTextDirection(rightToLeft ? Qt::RightToLeft : Qt::LeftToRight);
    doc->setDefaultTextOption(option);
    doc->setDefaultStyleSheet(QStringLiteral("body { font-size: 9pt; } th { background: #d0d0d0; }"));
    doc->setHtml(QStringLiteral("<html><body dir='%1'>%2</body></html>")
                     .arg(dir, layout == Layout::PhoneList ? phoneList(entries, dir, title) : labels(entries, dir)));
    return doc;
}

void Print(QTextDocument &document, QPagedPaintDevice &device)
{
    document.print(&device);
}

QString WritePdf(Connection &cn, const QString &path, const QList<qint64> &contacts, Layout layout, bool rightToLeft,
                 const QString &title)
{
    if (!QFileInfo(path).absoluteDir().exists())
        return QStringLiteral("The folder does not exist.");
    std::unique_ptr<QTextDocument> doc(Compose(cn, contacts, layout, rightToLeft, title));
    QFile::remove(path);
    QPdfWriter pdf(path);
    pdf.setTitle(title);
    pdf.setCreator(QStringLiteral("Ardentia"));
    pdf.setPageSize(QPageSize(QPageSize::A4));
    pdf.setPageMargins(QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter);
    Print(*doc, pdf);
    if (!QFileInfo(path).isFile() || QFileInfo(path).size() == 0)
        return QStringLiteral("The file could not be written.");
    return QString();
}

} // namespace Printout
