#include "controls/Picture.h"
#include "controls/TextDirection.h"
#include "controls/cGrid.h"
#include "mainwindow/frmMain.h"
#include "store/DateText.h"
#include "store/ItemList.h"
#include "store/Statements.h"
#include "store/mdlMDB.h"

#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>

void frmMain::FillListItems(QListWidget *list, const QString &sTxt)
{
    list->clear();
    for (const ItemEntry &e : SplitItemList(sTxt))
        list->addItem(e.sItem);
    if (list->count() > 0)
        list->setCurrentRow(0);
}

void frmMain::FillCboEditor(QComboBox *cbo, const QString &sTxt)
{
    cbo->clear();
    for (const ItemEntry &e : SplitItemList(sTxt))
        cbo->addItem(e.sItem);
    if (cbo->count() > 0)
        cbo->setCurrentIndex(0);
}

void frmMain::clearDetails()
{
    for (QLabel *l : {lblNameDetails, lblCategoryDetails, lblAddressDetails, lblCompanyDetails, lblListedDetails})
        l->clear();
    lstPhoneNumbers->clear();
    Image1->clear();
    m_detailsContact = 0;
}

void frmMain::ShowContactDetails(const QString &contactId)
{
    if (!SharedDb())
        return;
    bool ok = false;
    const qint64 id = contactId.toLongLong(&ok);
    if (!ok)
        return;
    try {
        Recordset rs(*SharedDb());
        // A contact in the Recycle bin is shown as any other.
        rs.open(inBin() ? Statements::BinContactById(id) : Statements::ContactById(id));
        if (rs.atEnd()) {
            // Removed since the list was filled: show nothing rather than stale values.
            clearDetails();
            return;
        }
        m_detailsContact = id;
        // Read from right to left, each value keeps its own direction.
        const bool rtl = layoutDirection() == Qt::RightToLeft;
        auto shown = [rtl](const QString &value) { return rtl ? DirectionIsolated(value) : value; };
        lblNameDetails->setText(shown(rs.text("First_Name") + QLatin1Char(' ') + rs.text("Last_Name")));
        lblCategoryDetails->setText(shown(rs.text("Category")));
        lblCompanyDetails->setText(shown(rs.text("Company")));
        FillListItems(lstPhoneNumbers, rs.text("Phones"));
        for (int i = 0; rtl && i < lstPhoneNumbers->count(); ++i)
            lstPhoneNumbers->item(i)->setText(shown(lstPhoneNumbers->item(i)->text()));
        lblAddressDetails->setText(shown(rs.text("Address")));
        lblListedDetails->setText(shown(GeneralDate(rs.text("Date_Registed"))));
        // No picture, or one whose file is gone: the pane must not go on
        // showing the previous contact's face.
        const QString picture = rs.text("Picture");
        if (!picture.isEmpty() && QFileInfo(picture).isFile())
            showPicture(picture);
        else
            Image1->clear();
        rs.close();
    } catch (const StoreError &e) {
        ReportStoreError(QStringLiteral("The contact could not be read."), e.message());
    }
    for (QLabel *l : {lblNameDetails, lblCategoryDetails, lblAddressDetails, lblCompanyDetails, lblListedDetails})
        l->setToolTip(l->text());
}

// The picture fitted into its area, keeping its proportions; a file that is
// not a readable image shows no picture.
void frmMain::showPicture(const QString &path)
{
    const QImage image = LoadFittedImage(path, Image1->size());
    if (image.isNull()) {
        Image1->clear();
        return;
    }
    Image1->setPixmap(QPixmap::fromImage(image));
}
