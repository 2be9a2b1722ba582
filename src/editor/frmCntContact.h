#pragma once

#include "editor/EditorDialog.h"
#include "store/Journal.h"

#include <QHash>

#include <optional>
#include <utility>

class QComboBox;
class QFrame;
class QImage;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class cGrid;
class cImageList;
class cItemListPage;
class cTabControl;

// The modal dialog that creates a contact or changes one: the names, the
// category and the picture above tabbed pages for the general fields and the
// three item lists. Constructing it runs its load; it starts in new mode.
class frmCntContact : public EditorDialog
{
    Q_OBJECT
public:
    explicit frmCntContact(QWidget *parent = nullptr);

    // Set by the opener before showing: edit mode and the contact's key.
    bool g_bEdit = false;
    qint64 g_lContactID = 0;

    // Fills every field from the contact g_lContactID. False when the contact
    // no longer exists or cannot be read; OpenError() then says why and the
    // dialog must not be shown (its OK would write an incomplete contact).
    bool OpenContact();
    QString OpenError() const { return m_openError; }

    // Fills the category choices with the stored categories, each once.
    void SetCats();

    // Appends a row (item, description) to a list page grid; the selection stays.
    static void AddGridItem(cGrid *Grd, const QString &sItem, const QString &sDescription);
    // The grid's list in the stored item list form.
    static QString GetList(const cGrid *Grd);

    // OK: checks the required name (the first name when the tree is ranged by
    // first names, else the last name), writes the contact, tells of the save
    // and closes. False when it stayed open (refused input or a store failure
    // the user has been told of).
    bool cmdOK_Click();
    void cmdCancel_Click();

    // The picture.
    void ChoosePicture();
    void RemovePicture();
    QString PicturePath() const { return m_picturePath; }
    bool PictureShown() const;

    cTabControl *Tabs() const { return cTabControl1; }
    cItemListPage *PhonesPage() const { return m_phones; }
    cItemListPage *MailsPage() const { return m_mails; }
    cItemListPage *SitesPage() const { return m_sites; }
    QComboBox *CategoryBox() const { return cboCategory; }
    bool CompletionGuard() const { return m_completionGuard; }

    // The text of the picture file dialog's filter list.
    static QString PictureFilter();

    void done(int result) override;

signals:
    // The contact was written (one step that can be undone); the dialog is
    // still open.
    void contactSaved(qint64 contactId, const ChangeSummary &change);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void buildWidgets();
    void buildPicture();
    void Form_Load();
    void placePages();
    void cTabControl1_TabSelected(const QString &key);
    void cboCategory_TextEdited(const QString &text);
    bool loadPicture(const QString &path);
    void showStoredPicture(const QString &path);
    static void showWhole(QLineEdit *edit, const QString &value);
    void setPicture(const QString &path);
    void buildHistory();
    void loadHistory();
    void loadKept();
    bool keptValid();
    void bringBack(int row);
    QList<std::pair<const char *, QString>> fieldValues() const;

    QLabel *lblFirstName = nullptr;
    QLineEdit *txtFirstName = nullptr;
    QLabel *lblLastName = nullptr;
    QLineEdit *txtLastName = nullptr;
    QLabel *lblCategory = nullptr;
    QComboBox *cboCategory = nullptr;
    cTabControl *cTabControl1 = nullptr;
    QPushButton *cmdOK = nullptr;
    QPushButton *cmdCancel = nullptr;

    QWidget *TabGeneral = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *txtAddress = nullptr;
    QLabel *lblCompany = nullptr;
    QLineEdit *txtCompany = nullptr;
    QLabel *Label2 = nullptr;
    QPlainTextEdit *txtNotes = nullptr;
    QWidget *TabAdvanced = nullptr;
    QLabel *lblHistory = nullptr;
    QPlainTextEdit *txtKept = nullptr; // what other programs' cards brought that has no field
    QString m_keptShown;
    QListWidget *lstHistory = nullptr;
    QPlainTextEdit *txtVersion = nullptr;
    QPushButton *cmdBringBack = nullptr;
    QList<Journal::Version> m_history;
    cItemListPage *m_phones = nullptr;
    cItemListPage *m_mails = nullptr;
    cItemListPage *m_sites = nullptr;

    QPushButton *lblAdd = nullptr;
    QPushButton *lblRemove = nullptr;
    QFrame *Shape1 = nullptr;
    QLabel *Image1 = nullptr;
    QLabel *lblClickToAddPic = nullptr;

    cImageList *imgTabs = nullptr;
    cImageList *imgPlayer = nullptr;
    cImageList *ilsIcons = nullptr;

    QHash<QString, QWidget *> m_pageByKey;
    QString m_picturePath;
    // The fields as OpenContact showed them, by column.
    QHash<QString, QString> m_shown;
    QString m_openError;
    bool m_completionGuard = false;
    bool m_placed = false;
    bool m_saved = false;
};
