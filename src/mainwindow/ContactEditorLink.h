#pragma once

#include <QtGlobal>

class frmMain;

// Opens the contact editor from the main window: empty, captioned "New
// contact", or on one contact. Returns when the editor closes.
void OpenNewContactEditor(frmMain *main);
void OpenContactEditor(frmMain *main, qint64 contactId);
