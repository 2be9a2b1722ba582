#include "editor/frmCntItemEditor.h"

#include "controls/Captions.h"
#include "controls/Units.h"
#include "controls/cGrid.h"
#include "controls/mdlSetFormIcon32.h"
#include "editor/frmCntContact.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

frmCntItemEditor::frmCntItemEditor(QWidget *owner)
    : EditorDialog(owner), lblItem(new QLabel(QStringLiteral("Item:"), this)), txtItem(new QLineEdit(this)),
      lblDescriptions(new QLabel(QStringLiteral("Description:"), this)), txtDescription(new QPlainTextEdit(this)),
      cmdOK(new QPushButton(QStringLiteral("OK"), this)), cmdCancel(new QPushButton(QStringLiteral("Cancel"), this))
{
    setObjectName(QStringLiteral("frmCntItemEditor"));
    setWindowTitle(QStringLiteral("Item"));
    SetFormIcon(this, QStringLiteral("AAA"), false);
    SetClientSizeTwips(4635, 3105);

    lblItem->setObjectName(QStringLiteral("lblItem"));
    txtItem->setObjectName(QStringLiteral("txtItem"));
    lblDescriptions->setObjectName(QStringLiteral("lblDescriptions"));
    txtDescription->setObjectName(QStringLiteral("txtDescription"));
    cmdOK->setObjectName(QStringLiteral("cmdOK"));
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));

    Units::PlaceTwips(lblItem, 360, 120, 3855, 255);
    Units::PlaceTwips(txtItem, 360, 360, 3855, 315);
    Units::PlaceTwips(lblDescriptions, 360, 840, 3855, 255);
    Units::PlaceTwips(txtDescription, 360, 1080, 3855, 1155);
    Units::PlaceTwips(cmdOK, 360, 2520, 1335, 375);
    Units::PlaceTwips(cmdCancel, 1800, 2520, 1335, 375);

    lblItem->setBuddy(txtItem);
    lblDescriptions->setBuddy(txtDescription);
    txtItem->setAccessibleName(NameFromCaption(lblItem->text()));
    txtDescription->setAccessibleName(NameFromCaption(lblDescriptions->text()));
    // Enter starts a new line; Tab moves on, so the buttons stay reachable.
    txtDescription->setTabChangesFocus(true);
    MakePlainButton(cmdOK);
    MakePlainButton(cmdCancel);
    setTabOrder(txtItem, txtDescription);
    setTabOrder(txtDescription, cmdOK);
    setTabOrder(cmdOK, cmdCancel);

    connect(cmdOK, &QPushButton::clicked, this, &frmCntItemEditor::cmdOK_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmCntItemEditor::cmdCancel_Click);
    txtItem->setFocus();
}

void frmCntItemEditor::SetLbls(const QString &sItemName)
{
    lblItem->setText(sItemName);
    txtItem->setAccessibleName(NameFromCaption(sItemName));
}

void frmCntItemEditor::cmdOK_Click()
{
    if (TargetGrid) {
        if (bEdit) {
            const int row = TargetGrid->SelectedRow();
            if (row >= 1 && row <= TargetGrid->Rows()) {
                TargetGrid->SetCellText(row, 1, txtItem->text());
                TargetGrid->SetCellText(row, 2, txtDescription->toPlainText());
            }
        } else {
            frmCntContact::AddGridItem(TargetGrid, txtItem->text(), txtDescription->toPlainText());
        }
    }
    bEdit = false;
    accept();
}

void frmCntItemEditor::cmdCancel_Click()
{
    reject();
}
