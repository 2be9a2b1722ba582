#pragma once

#include "mainwindow/ListColumns.h"
#include "mainwindow/MainLayout.h"
#include "syncing/SyncRunner.h"
#include "settings/mdlOptions.h"
#include "store/Journal.h"
#include "store/Statements.h"
#include "transfer/Transfer.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>
#include <QPoint>
#include <QPointer>

#include <functional>
#include <utility>
#include <vector>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class QTreeWidgetItem;
class ListFill;
class cGrid;
class cImageList;
class cMenu;
class cReBar;
class cStatusBar;
class cSysTray;
class cToolbar;
class cTreeView;

// The main window: navigation tree, contact list, details pane, search bar,
// toolbar and menus. Its parts are found by their object names.
class frmMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // Runs the load; false when the window cannot finish loading (the
    // database cannot be opened): the user has been told why.
    bool Load();

    // Builds the navigation tree from the database.
    void setTree();
    // Shows in the list what a node stands for (and the node's text as the title).
    void cTreeView1_NodeClick(QTreeWidgetItem *node);
    // Replaces the rows of the list by the statement's result; the rows come
    // in from the event loop, and a newer fill cancels this one. False when
    // the statement was refused (the user has been told).
    bool FillList(const Statements::Query &statement);
    bool IsFilling() const;
    // Runs the search bar's search.
    void RunSearch();

signals:
    // A fill of the list has ended, every row in or not.
    void listFilled(bool completed);

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    // The toolbar's buttons by index (3 and 6 are separators).
    enum ToolbarButton {
        kAddButton = 0,
        kEditButton = 1,
        kRemoveButton = 2,
        kSearchButton = 4,
        kNotesButton = 5,
        kOptionsButton = 7,
        kRestoreButton = 8
    };

    // Building.
    void buildWidgets();
    void buildDetailsPane();
    void buildSearchBar();
    void buildToolbar();
    void buildMenus();
    void buildBands();
    void applyLook(const DisplayLook &look);
    void prepareBook();
    void DefineColumns();
    void Unload();

    // Tree.
    void AddABCToTreeView(QTreeWidgetItem *tvNode, int ImgAsIndex, const QString &sItem);
    void AddCategoriesToTreeView(QTreeWidgetItem *tvNode, int ImgAsIndex, const QString &sItem);
    void refreshList();

    // Changes: the Recycle bin, undo and redo, and what follows each change
    // (the tree's letters and categories, the list, the Edit menu).
    bool inBin() const;
    void findDuplicates();
    // Sync with the CardDAV accounts.
    void setUpSync();
    bool hasSyncAccounts() const;
    void syncAfterChange();
    void syncNow(bool asked, qint64 onlyAccount = 0);
    void syncAccountDone(const SyncRunner::Job &job, const Sync::Report &report);
    void openSyncAccounts();
    void stopSync();
    void runChange(const QString &failure, const std::function<ChangeSummary()> &change);
    void followChange(const ChangeSummary &change);
    void countLetter(const QString &letter, int delta);
    void countCategory(const QString &category, int delta);
    void setChildPresent(QTreeWidgetItem *parent, const QString &kind, const QString &value, bool present);
    void applyTreeCounts(const QHash<QString, int> &letters, const QHash<QString, int> &categories);
    void rereadTree();
    // Stops a reading of the tree's letters and categories under way.
    void stopTreeReading();
    void updateCommands();
    void restoreSelected();
    void emptyBin();
    void checkOutsideChanges();
    void showRowMenu(const QPoint &pos);
    qint64 selectedContact() const;

    // Contacts in and out: import, export, drops and drags.
    void importFiles(const QStringList &files);
    void exportContacts();
    void printContacts(bool toPdf);
    Transfer::ExportOffer exportOffer() const;
    bool gridDragEvent(QEvent *event);

    // List and search.
    bool fill(const Statements::Query &statement, bool marked);
    void fillFinished(bool completed);
    QString GetSearchField() const;

    // Details pane.
    void ShowContactDetails(const QString &contactId);
    static void FillListItems(QListWidget *list, const QString &sTxt);
    static void FillCboEditor(QComboBox *cbo, const QString &sTxt);
    void showPicture(const QString &path);
    void clearDetails();

    // Commands and the grid.
    void tlbrTop_ButtonClick(int index);
    void m_cMenu_Click(int index);
    void RemoveSelectedContact();
    void EditContact(const QString &contactId);
    void openEditor(qint64 contactId);
    void cGrid1_Click();
    void cGrid1_SelectionMoved();
    void cGrid1_DblClick(int row, int column);
    void ShowCellItems(int row, int column, const QString &sTxt);
    void showCellItems(int row, int column, const QString &sTxt, bool takeFocus);
    QString cellItems(int row, int column) const;
    bool cboEditorEvent(QEvent *event);
    void ReportStoreError(const QString &what, const QString &message);

    // Layout.
    void Form_Resize();
    void applyLayout(const MainLayoutInput &in);
    void placeTwips(QWidget *w, const Geometry &g);
    void setHolderHeight();

    // Widgets, named as the window names them.
    QWidget *m_client = nullptr;
    QWidget *picHolderTop = nullptr;
    cReBar *cReBar1 = nullptr;
    cToolbar *tlbrMenu = nullptr;
    cToolbar *tlbrTop = nullptr;
    QWidget *picTitle = nullptr;
    QLabel *lblTitle = nullptr;
    cTreeView *cTreeView1 = nullptr;
    cGrid *cGrid1 = nullptr;
    QWidget *PicSearch = nullptr;
    QLabel *lblSearchFor = nullptr;
    QLineEdit *txtSearchFor = nullptr;
    QLabel *lblIn = nullptr;
    QComboBox *cboSearchIn = nullptr;
    QPushButton *cmdSearch = nullptr;
    QWidget *PicContactDetails = nullptr;
    QLabel *lblNameDetails = nullptr;
    QLabel *lblCategoryDetails = nullptr;
    QLabel *lblAddressDetails = nullptr;
    QLabel *lblCompanyDetails = nullptr;
    QLabel *lblListedDetails = nullptr;
    QListWidget *lstPhoneNumbers = nullptr;
    QFrame *Shape1 = nullptr;
    QLabel *Image1 = nullptr;
    QComboBox *cboEditor = nullptr;
    cSysTray *cSysTray1 = nullptr;
    cStatusBar *cStatusBar1 = nullptr;
    cImageList *imgToolbar = nullptr;
    cImageList *imgTree = nullptr;
    cImageList *imgMenu = nullptr;

    cMenu *m_cMenu = nullptr;
    QTreeWidgetItem *m_nodeRoot = nullptr;
    QTreeWidgetItem *m_nodeAll = nullptr;
    QTreeWidgetItem *m_nodeABC = nullptr;
    QTreeWidgetItem *m_nodeCategories = nullptr;
    QTreeWidgetItem *m_nodeRecycle = nullptr;
    bool m_searchBarShown = false;

    DisplayLook m_look;
    // How many contacts have each letter and category the tree shows.
    QHash<QString, int> m_letterCounts;
    QHash<QString, int> m_categoryCounts;
    // Another program's writes are looked for now and then.
    QTimer *m_outside = nullptr;
    qint64 m_dataVersion = -1;
    // A book written by a newer version is only read.
    bool m_readOnly = false;
    int m_dragRow = 0; // the row a press on the list may drag out
    QPoint m_dragStart;
    qint64 m_detailsContact = 0; // the contact the details pane shows, 0 for none
    QPointer<ListFill> m_fill;
    // When and where a click laid the drop-down over a cell.
    QElapsedTimer m_cellItemsClick;
    QPoint m_cellItemsCell;
    MainLayoutState m_layout;
    // The details pane's children, in twips within the pane.
    std::vector<std::pair<QWidget *, Geometry>> m_detailsPlacement;
    double m_holderTopTwips = 1455;
    bool m_loaded = false;
    bool m_inLayout = false;
    // Sync: the work, when it is due, the passwords asked this run.
    SyncRunner *m_syncRunner = nullptr;
    QTimer *m_syncSoon = nullptr;
    QTimer *m_syncTick = nullptr;
    QElapsedTimer m_lastSync;
    QHash<QString, QString> m_syncPasswords;
    bool m_syncAgain = false;
    bool m_syncAsked = false;
};
