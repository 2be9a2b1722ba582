#include "mainwindow/ContactEditorLink.h"

#include "app/MsgBox.h"
#include "editor/frmCntContact.h"
#include "mainwindow/frmMain.h"

#include <QApplication>

#include <memory>

// Each opening builds the dialog afresh and destroys it when it closes, so it
// always starts from its design state.

void OpenNewContactEditor(frmMain *main)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    auto dlg = std::make_unique<frmCntContact>(main);
    dlg->setWindowTitle(QStringLiteral("New contact"));
    QApplication::restoreOverrideCursor();
    dlg->exec();
}

void OpenContactEditor(frmMain *main, qint64 contactId)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    auto dlg = std::make_unique<frmCntContact>(main);
    dlg->g_bEdit = true;
    dlg->g_lContactID = contactId;
    const bool found = dlg->OpenContact();
    QApplication::restoreOverrideCursor();
    // An editor on a contact that could not be read would save an incomplete
    // one over it: say why and open nothing.
    if (!found) {
        MsgBox::Fail(main, dlg->OpenError());
        return;
    }
    dlg->exec();
}
