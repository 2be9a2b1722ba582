#include "controls/cTreeView.h"
#include "mainwindow/StartupOptions.h"
#include "mainwindow/frmMain.h"
#include "store/Statements.h"
#include "store/mdlMDB.h"

#include <QLabel>
#include <QSet>

namespace {
const QString kSep = QStringLiteral(":*:");

// The first character of a UTF-8 value: one code point, never half of one.
QByteArrayView firstCharacter(QByteArrayView v)
{
    if (v.isEmpty())
        return v;
    const auto lead = static_cast<unsigned char>(v.at(0));
    qsizetype len = 1;
    if (lead >= 0xF0)
        len = 4;
    else if (lead >= 0xE0)
        len = 3;
    else if (lead >= 0xC0)
        len = 2;
    return v.first(qMin(len, v.size()));
}
} // namespace

void frmMain::setTree()
{
    cTreeView1->ClearNodes();
    m_nodeRoot = cTreeView1->AddNode(nullptr, QStringLiteral("CONTACTS:*:MAIN"), QStringLiteral("Contacts"), 0, -1);
    m_nodeAll = cTreeView1->AddNode(m_nodeRoot, QStringLiteral("ALL:*:MAIN"), QStringLiteral("All"), 0, 0);
    m_nodeABC = cTreeView1->AddNode(m_nodeRoot, QStringLiteral("ABC:*:MAIN"), QStringLiteral("ABC"), 1, 1);
    AddABCToTreeView(m_nodeABC, 3, SortByFirstName() ? QStringLiteral("First_Name") : QStringLiteral("Last_Name"));
    m_nodeCategories =
        cTreeView1->AddNode(m_nodeRoot, QStringLiteral("CAT:*:MAIN"), QStringLiteral("Categories"), 2, 2);
    AddCategoriesToTreeView(m_nodeCategories, 3, QStringLiteral("Category"));
    m_nodeRecycle = cTreeView1->AddNode(m_nodeRoot, QStringLiteral("RECYCLE:*:MAIN"), QStringLiteral("Recycle"), 4, 4);
    cTreeView1->Expand(m_nodeRoot);
}

void frmMain::AddABCToTreeView(QTreeWidgetItem *tvNode, int ImgAsIndex, const QString &sItem)
{
    if (!tvNode || !SharedDb())
        return;
    // Errors are suppressed: the node keeps the children added so far.
    try {
        Recordset rs(*SharedDb());
        rs.open(Statements::ColumnValues(sItem));
        QSet<QByteArray> seen;
        while (!rs.atEnd()) {
            if (!rs.isNull(0)) {
                const QByteArrayView letter = firstCharacter(rs.utf8(0));
                if (!letter.isEmpty() && !seen.contains(letter.toByteArray())) {
                    const QByteArray bytes = letter.toByteArray();
                    seen.insert(bytes);
                    const QString text = QString::fromUtf8(bytes);
                    cTreeView1->AddNode(tvNode, QStringLiteral("ABC") + kSep + text, text, ImgAsIndex, ImgAsIndex);
                }
            }
            rs.moveNext();
        }
        // One sort after the last insertion orders the children exactly as a
        // sort after each one would.
        cTreeView1->SortChildren(tvNode);
    } catch (const StoreError &) {
        cTreeView1->SortChildren(tvNode);
    }
}

void frmMain::AddCategoriesToTreeView(QTreeWidgetItem *tvNode, int ImgAsIndex, const QString &sItem)
{
    if (!tvNode || !SharedDb())
        return;
    try {
        Recordset rs(*SharedDb());
        rs.open(Statements::DistinctColumn(sItem));
        while (!rs.atEnd()) {
            if (!rs.isNull(0)) {
                const QString value = rs.text(0);
                if (!value.isEmpty())
                    cTreeView1->AddNode(tvNode, QStringLiteral("CAT") + kSep + value, value, ImgAsIndex, ImgAsIndex);
            }
            rs.moveNext();
        }
        cTreeView1->SortChildren(tvNode);
    } catch (const StoreError &) {
        cTreeView1->SortChildren(tvNode);
    }
}

void frmMain::cTreeView1_NodeClick(QTreeWidgetItem *node)
{
    if (!node)
        return;
    const QString key = cTreeView::NodeKey(node);
    const qsizetype at = key.indexOf(kSep);
    const QString kind = at < 0 ? key : key.left(at);
    const QString value = at < 0 ? QString() : key.mid(at + kSep.size());

    cTreeView1->SelectNode(node);
    lblTitle->setText(cTreeView::NodeText(node));
    if (m_searchBarShown) {
        PicSearch->hide();
        m_searchBarShown = false;
        Form_Resize();
    }

    if (kind == QLatin1String("ALL")) {
        FillList(Statements::AllContacts());
    } else if (kind == QLatin1String("ABC") && value != QLatin1String("MAIN")) {
        FillList(SortByFirstName() ? Statements::FirstNameLike(value) : Statements::LastNameLike(value));
    } else if (kind == QLatin1String("CAT") && value != QLatin1String("MAIN")) {
        FillList(Statements::ContactsInCategory(value));
    }
    // Any other node leaves the list as it is.
}
