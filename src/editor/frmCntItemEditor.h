#pragma once

#include "editor/EditorDialog.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class cGrid;

// The small dialog that enters one item of a list page (a phone number, mail
// address or site with its description) or changes the selected one. OK
// writes straight into the page's grid; nothing reaches the store here.
class frmCntItemEditor : public EditorDialog
{
    Q_OBJECT
public:
    explicit frmCntItemEditor(QWidget *owner = nullptr);

    // The grid that OK writes into.
    cGrid *TargetGrid = nullptr;
    // true: OK changes the grid's selected row; false: OK appends a row.
    bool bEdit = false;

    void SetLbls(const QString &sItemName);

    QLineEdit *ItemBox() const { return txtItem; }
    QPlainTextEdit *DescriptionBox() const { return txtDescription; }

    void cmdOK_Click();
    void cmdCancel_Click();

private:
    QLabel *lblItem;
    QLineEdit *txtItem;
    QLabel *lblDescriptions;
    QPlainTextEdit *txtDescription;
    QPushButton *cmdOK;
    QPushButton *cmdCancel;
};
