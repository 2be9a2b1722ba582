#include "editor/ItemListPage.h"

#include "editor/PhoneHint.h"

#include "controls/Captions.h"
#include "controls/MsgBox.h"
#include "controls/Units.h"
#include "controls/cGrid.h"
#include "controls/cImageList.h"
#include "controls/cToolbarHost.h"
#include "controls/cToolbar.h"
#include "editor/EditorDialog.h"
#include "editor/frmCntContact.h"
#include "editor/frmCntItemEditor.h"
#include "store/ItemList.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

cItemListPage::cItemListPage(const ItemPageDesign &d, cImageList *imgPlayer, cImageList *ilsIcons, QWidget *parent)
    : QWidget(parent), m_design(d), m_host(new cToolbarHost(this)), m_toolbar(new cToolbar(m_host)),
      m_grid(new cGrid(this)), m_itemLabel(new QLabel(d.inlineLabel, this)),
      m_descriptionLabel(new QLabel(QStringLiteral("Description:"), this)), m_itemBox(new QLineEdit(this)),
      m_descriptionBox(new QLineEdit(this)), m_addButton(new QPushButton(QStringLiteral("Add"), this))
{
    setObjectName(d.page);
    m_host->setObjectName(d.host);
    m_toolbar->setObjectName(d.toolbar);
    m_grid->setObjectName(d.grid);
    m_itemLabel->setObjectName(d.itemLabel);
    m_descriptionLabel->setObjectName(d.descriptionLabel);
    m_itemBox->setObjectName(d.itemBox);
    m_descriptionBox->setObjectName(d.descriptionBox);
    m_addButton->setObjectName(d.addButton);

    // The grid: no cell shows an image, but the list is the grids' own.
    m_grid->SetRedraw(false);
    m_grid->SetImageList(ilsIcons);
    m_grid->SetGridLines(true);
    m_grid->AddColumn(QStringLiteral("7"), d.heading, Qt::AlignLeft, -1, 130);
    m_grid->AddColumn(QStringLiteral("8"), QStringLiteral("Description"), Qt::AlignLeft, -1, 80);
    m_grid->AddColumn(QStringLiteral("13"), QString(), Qt::AlignLeft, -1, -1, false);
    m_grid->AddColumn(QStringLiteral("14"), QString(), Qt::AlignLeft, -1, -1, false);
    m_grid->AddColumn(QStringLiteral("15"), QString(), Qt::AlignLeft, -1, -1, false);
    m_grid->SetRedraw(true);
    m_grid->setAccessibleName(d.heading);

    m_toolbar->SetImageList(imgPlayer);
    m_toolbar->CreateToolbar(0, true);
    // Captions beside the images: the toolbar's band is one text line high.
    m_toolbar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    m_toolbar->AddButton(QStringLiteral("Add"), QStringLiteral("Add"), 0);
    m_toolbar->AddButton(QStringLiteral("Edit"), QStringLiteral("Edit"), 1);
    m_toolbar->AddButton(QStringLiteral("Delete"), QStringLiteral("Delete"), 2);
    m_toolbar->AddButton(QString(), QString(), -1, true);
    m_toolbar->AddButton(QStringLiteral("Move up"), QStringLiteral("Move up"), 3);
    m_toolbar->AddButton(QStringLiteral("Move down"), QStringLiteral("Move down"), 4);
    m_host->SetToolbar(m_toolbar);

    const QFont labelFont = EditorDialog::DialogFont(QStringLiteral("Arial"));
    m_itemLabel->setFont(labelFont);
    m_descriptionLabel->setFont(labelFont);
    m_itemLabel->setBuddy(m_itemBox);
    m_descriptionLabel->setBuddy(m_descriptionBox);
    m_itemBox->setAccessibleName(NameFromCaption(d.inlineLabel));
    if (d.page == QLatin1String("TabPhones"))
        WatchPhoneNumber(m_itemBox);
    m_descriptionBox->setAccessibleName(NameFromCaption(m_descriptionLabel->text()));
    EditorDialog::MakePlainButton(m_addButton);
    m_addButton->setAccessibleName(QStringLiteral("Add ") + NameFromCaption(d.inlineLabel));

    connect(m_toolbar, &cToolbar::ButtonClick, this, &cItemListPage::ButtonClick);
    connect(m_grid, &cGrid::DblClick, this, [this] { Edit(); });
    connect(m_addButton, &QPushButton::clicked, this, &cItemListPage::InlineAdd);
}

void cItemListPage::Layout()
{
    // As wide as the grid: the six captioned buttons need more than the
    // design's 5295 twips in today's fonts.
    Units::PlaceTwips(m_host, 45, 120, 6180, 375);
    Units::PlaceTwips(m_grid, 45, 480, 6180, 2055);
    Units::PlaceTwips(m_itemLabel, 40, 2640, 1455, 255);
    Units::PlaceTwips(m_descriptionLabel, 2400, 2640, 1455, 255);
    Units::PlaceTwips(m_itemBox, 40, 2880, 2295, 285);
    Units::PlaceTwips(m_descriptionBox, 2400, 2880, 3015, 285);
    Units::PlaceTwips(m_addButton, 5520, 2880, 735, 315);
}

void cItemListPage::Fill(const QString &encoded)
{
    m_grid->SetRedraw(false);
    m_grid->Clear();
    for (const ItemEntry &e : SplitItemList(encoded))
        frmCntContact::AddGridItem(m_grid, e.sItem, e.sDescription);
    m_grid->SetRedraw(true);
    if (m_grid->Rows() > 0)
        m_grid->SetSelectedRow(1);
}

QString cItemListPage::List() const
{
    return frmCntContact::GetList(m_grid);
}

void cItemListPage::ButtonClick(int index)
{
    switch (index) {
    case BtnAdd: Add(); break;
    case BtnEdit: Edit(); break;
    case BtnDelete: Delete(); break;
    case BtnMoveUp: MoveUp(); break;
    case BtnMoveDown: MoveDown(); break;
    default: break;
    }
}

void cItemListPage::Add()
{
    frmCntItemEditor dlg(window());
    dlg.TargetGrid = m_grid;
    dlg.bEdit = false;
    dlg.SetLbls(m_design.prompt);
    if (m_design.page == QLatin1String("TabPhones"))
        WatchPhoneNumber(dlg.ItemBox());
    dlg.exec();
}

void cItemListPage::Edit()
{
    const int row = m_grid->SelectedRow();
    if (m_grid->Rows() < 1 || row < 1)
        return;
    frmCntItemEditor dlg(window());
    dlg.TargetGrid = m_grid;
    dlg.SetLbls(m_design.prompt);
    if (m_design.page == QLatin1String("TabPhones"))
        WatchPhoneNumber(dlg.ItemBox());
    dlg.ItemBox()->setText(m_grid->CellText(row, 1));
    dlg.DescriptionBox()->setPlainText(m_grid->CellText(row, 2));
    dlg.bEdit = true;
    dlg.exec();
}

void cItemListPage::Delete()
{
    const int row = m_grid->SelectedRow();
    if (m_grid->Rows() < 1 || row < 1)
        return;
    if (!MsgBox::AskYesNo(this, QStringLiteral("Remove ") + m_grid->CellText(row, 1) + QStringLiteral(" from the list ?")))
        return;
    m_grid->RemoveRow(row);
}

void cItemListPage::MoveUp()
{
    if (m_grid->SelectedRow() > 1)
        exchangeWith(-1);
}

void cItemListPage::MoveDown()
{
    const int row = m_grid->SelectedRow();
    if (m_grid->Rows() >= 1 && row >= 1 && row < m_grid->Rows())
        exchangeWith(+1);
}

// Only the two visible columns move; the hidden ones are never filled.
void cItemListPage::exchangeWith(int offset)
{
    const int row = m_grid->SelectedRow();
    const int other = row + offset;
    m_grid->SetRedraw(false);
    for (int column = 1; column <= 2; ++column) {
        const QString mine = m_grid->CellText(row, column);
        m_grid->SetCellText(row, column, m_grid->CellText(other, column));
        m_grid->SetCellText(other, column, mine);
    }
    m_grid->SetSelectedRow(other);
    m_grid->SetRedraw(true);
}

void cItemListPage::InlineAdd()
{
    frmCntContact::AddGridItem(m_grid, m_itemBox->text(), m_descriptionBox->text());
}
