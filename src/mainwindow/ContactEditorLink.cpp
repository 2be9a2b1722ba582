#include "mainwindow/ContactEditorLink.h"

void OpenNewContactEditor(frmMain *main)
{
    Q_UNUSED(main);
}

void OpenContactEditor(frmMain *main, qint64 contactId)
{
    Q_UNUSED(main);
    Q_UNUSED(contactId);
}
