#include "merging/frmDuplicates.h"

#include "sqlite/Statement.h"
#include "store/Connection.h"
#include "store/ItemList.h"
#include "store/StoreError.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSplitter>
#include <QTextBrowser>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <sqlite3.h>

namespace {

constexpr int kIdRole = Qt::UserRole;

enum Columns { ColName, ColCompany, ColPhones, ColMails };

QString joinedItems(const QString &stored)
{
    QStringList items;
    for (const ItemEntry &e : SplitItemList(stored))
        items << e.sItem;
    return items.join(QStringLiteral(", "));
}

const char *const kPreviewFields[] = {"First_Name", "Last_Name", "Company", "Address", "Category",
                                      "Phones",     "Mails",     "Websites", "Notes"};
const char *const kPreviewLabels[] = {"First name", "Last name", "Company", "Address", "Category",
                                      "Phones",     "Mails",     "Web sites", "Notes"};

// The group's ticked contact kept, the others merged into it.
Duplicates::MergeGroup mergeOf(const QTreeWidgetItem *group)
{
    Duplicates::MergeGroup m;
    for (int i = 0; i < group->childCount(); ++i) {
        const qint64 id = group->child(i)->data(ColName, kIdRole).toLongLong();
        if (group->child(i)->checkState(ColName) == Qt::Checked)
            m.keep = id;
        else
            m.others << id;
    }
    return m;
}

} // namespace

frmDuplicates::frmDuplicates(QWidget *parent, Connection &cn, const QList<Duplicates::Group> &groups,
                             const QString &region)
    : QDialog(parent), m_cn(cn), m_region(region)
{
    setObjectName(QStringLiteral("frmDuplicates"));
    setWindowTitle(QStringLiteral("Find duplicates"));
    resize(820, 520);
    auto *layout = new QVBoxLayout(this);
    lblFound = new QLabel(this);
    lblFound->setObjectName(QStringLiteral("lblFound"));
    lblFound->setWordWrap(true);
    lblFound->setText(groups.isEmpty()
                          ? QStringLiteral("No contacts look like the same person.")
                          : QStringLiteral("%1 groups of contacts look like the same person. Tick the groups to merge "
                                           "and click the contact to keep in each; the others are merged into it and "
                                           "go to the Recycle bin. Nothing is lost, and Undo takes the merge back.")
                                .arg(groups.size()));
    layout->addWidget(lblFound);

    auto *split = new QSplitter(Qt::Vertical, this);
    tvwGroups = new QTreeWidget(split);
    tvwGroups->setObjectName(QStringLiteral("tvwGroups"));
    tvwGroups->setHeaderLabels({QStringLiteral("Contact"), QStringLiteral("Company"), QStringLiteral("Phones"),
                                QStringLiteral("Mails")});
    tvwGroups->setAccessibleName(QStringLiteral("Groups of duplicates"));
    tvwGroups->setRootIsDecorated(true);
    tvwGroups->header()->setSectionResizeMode(QHeaderView::Interactive);
    tvwGroups->setColumnWidth(ColName, 280);
    tvwGroups->setColumnWidth(ColCompany, 150);
    tvwGroups->setColumnWidth(ColPhones, 160);

    Statement st(cn.handle(), "SELECT First_Name, Last_Name, Company, Phones, Mails FROM Contacts WHERE ContactID = ?1");
    for (const Duplicates::Group &g : groups) {
        auto *group = new QTreeWidgetItem(tvwGroups);
        group->setText(ColName, g.reason);
        group->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        group->setCheckState(ColName, g.strong ? Qt::Checked : Qt::Unchecked);
        bool first = true;
        for (qint64 id : g.contacts) {
            st.reset();
            st.bind(1, id);
            if (st.step() != SQLITE_ROW)
                continue;
            auto *contact = new QTreeWidgetItem(group);
            const QString name = (st.text(0) + QLatin1Char(' ') + st.text(1)).trimmed();
            contact->setText(ColName, name.isEmpty() ? QStringLiteral("(no name)") : name);
            contact->setText(ColCompany, st.text(2));
            contact->setText(ColPhones, joinedItems(st.text(3)));
            contact->setText(ColMails, joinedItems(st.text(4)));
            contact->setData(ColName, kIdRole, id);
            // The contact kept is the one whose box is ticked: one per group.
            contact->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
            contact->setCheckState(ColName, first ? Qt::Checked : Qt::Unchecked);
            contact->setToolTip(ColName, QStringLiteral("Tick the contact to keep"));
            first = false;
        }
        group->setExpanded(true);
    }
    txtPreview = new QTextBrowser(split);
    txtPreview->setObjectName(QStringLiteral("txtPreview"));
    txtPreview->setAccessibleName(QStringLiteral("The merged contact"));
    txtPreview->setPlaceholderText(QStringLiteral("Select a group to see the contact it merges into."));
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    layout->addWidget(split, 1);

    auto *buttons = new QDialogButtonBox(this);
    cmdMerge = buttons->addButton(QStringLiteral("&Merge"), QDialogButtonBox::AcceptRole);
    cmdMerge->setObjectName(QStringLiteral("cmdMerge"));
    auto *close = buttons->addButton(QDialogButtonBox::Close);
    close->setObjectName(QStringLiteral("cmdClose"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(tvwGroups, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) { showPreview(item); });
    connect(tvwGroups, &QTreeWidget::itemChanged, this, &frmDuplicates::itemChanged);
    updateButton();
    if (tvwGroups->topLevelItemCount() > 0)
        tvwGroups->setCurrentItem(tvwGroups->topLevelItem(0));
}

QTreeWidgetItem *frmDuplicates::groupOf(QTreeWidgetItem *item) const
{
    return item && item->parent() ? item->parent() : item;
}

void frmDuplicates::itemChanged(QTreeWidgetItem *item, int column)
{
    if (m_updating || column != ColName || !item)
        return;
    m_updating = true;
    if (QTreeWidgetItem *group = item->parent()) {
        // Keeping one contact means keeping only that one.
        if (item->checkState(ColName) == Qt::Checked) {
            for (int i = 0; i < group->childCount(); ++i) {
                if (group->child(i) != item)
                    group->child(i)->setCheckState(ColName, Qt::Unchecked);
            }
            group->setCheckState(ColName, Qt::Checked);
        } else {
            item->setCheckState(ColName, Qt::Checked); // one is always kept
        }
        showPreview(group);
    }
    m_updating = false;
    updateButton();
}

void frmDuplicates::updateButton()
{
    cmdMerge->setEnabled(!chosen().isEmpty());
}

QList<Duplicates::MergeGroup> frmDuplicates::chosen() const
{
    QList<Duplicates::MergeGroup> out;
    for (int g = 0; g < tvwGroups->topLevelItemCount(); ++g) {
        QTreeWidgetItem *group = tvwGroups->topLevelItem(g);
        if (group->checkState(ColName) != Qt::Checked || group->childCount() < 2)
            continue;
        const Duplicates::MergeGroup m = mergeOf(group);
        if (m.keep)
            out << m;
    }
    return out;
}

void frmDuplicates::showPreview(QTreeWidgetItem *item)
{
    QTreeWidgetItem *group = groupOf(item);
    if (!group) {
        txtPreview->clear();
        return;
    }
    const Duplicates::MergeGroup m = mergeOf(group);
    if (!m.keep) {
        txtPreview->clear();
        return;
    }
    try {
        const ContactState merged = Duplicates::MergedPreview(m_cn, m, m_region);
        QString html = QStringLiteral("<p><b>After the merge:</b></p><table cellspacing=\"2\">");
        for (size_t i = 0; i < std::size(kPreviewFields); ++i) {
            QString value = merged.value(kPreviewFields[i]);
            if (i == 5 || i == 6 || i == 7) {
                QStringList lines;
                for (const ItemEntry &e : SplitItemList(value))
                    lines << (e.sDescription.isEmpty() ? e.sItem : e.sItem + QStringLiteral(" (") + e.sDescription + QLatin1Char(')'));
                value = lines.join(QLatin1Char('\n'));
            }
            if (value.isEmpty())
                continue;
            html += QStringLiteral("<tr><td valign=\"top\"><i>%1</i></td><td>%2</td></tr>")
                        .arg(QLatin1String(kPreviewLabels[i]), value.toHtmlEscaped().replace(QLatin1Char('\n'), QStringLiteral("<br>")));
        }
        html += QStringLiteral("</table>");
        if (!merged.kept.isEmpty())
            html += QStringLiteral("<p>and %1 more properties from cards.</p>").arg(merged.kept.count(QLatin1Char('\n')) + 1);
        txtPreview->setHtml(html);
    } catch (const StoreError &e) {
        txtPreview->setPlainText(e.message());
    }
}
