#pragma once

#include "mainwindow/MainLayout.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPoint>

#include <utility>
#include <vector>

class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidgetItem;
class cGrid;
class cImageList;
class cMenu;
class cReBar;
class cStatusBar;
class cSysTray;
class cToolbar;
class cTreeView;
class FoldedNeedle;

// The main window: navigation tree, contact list, details pane, search bar,
// toolbar and menus.
class frmMain : public QMainWindow
{
    Q_OBJECT
public:
    // The list's columns by position.
    enum ListColumn {
        ColFirstName = 4,
        ColLastName = 5,
        ColCategory = 6,
        ColFirstPhone = 7,
        ColFirstMail = 8,
        ColContactID = 10,
        ColPhones = 11,
        ColMails = 12
    };

    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // Runs the load steps; false when the window cannot finish loading (the
    // database cannot be opened); the user has been told why.
    bool Load();

    // Navigation tree.
    void setTree();
    void AddABCToTreeView(QTreeWidgetItem *tvNode, int ImgAsIndex, const QString &sItem);
    void AddCategoriesToTreeView(QTreeWidgetItem *tvNode, int ImgAsIndex, const QString &sItem);
    void cTreeView1_NodeClick(QTreeWidgetItem *node);

    // Contact list.
    void DefineColumns();
    // Replaces the rows by the statement's result. A fill started while another
    // runs cancels the running one. False when it was overtaken or failed.
    bool FillList(const QString &statement);
    bool IsFilling() const { return m_fillDepth > 0; }

    // Details pane.
    void ShowContactDetails(const QString &contactId);
    static void FillListItems(QListWidget *list, const QString &sTxt);
    static void FillCboEditor(QComboBox *cbo, const QString &sTxt);

    // Search.
    void RunSearch();
    QString GetSearchField() const;

    // Commands.
    void tlbrTop_ButtonClick(int index);
    void m_cMenu_Click(int index);
    void RemoveSelectedContact();
    void EditContact(const QString &contactId);
    void ShowCellItems(int row, int column, const QString &sTxt);
    void cGrid1_Click();
    void cGrid1_SelectionMoved();
    void cGrid1_DblClick(int row, int column);

    void Form_Resize();
    bool SearchBarShown() const { return m_searchBarShown; }

    // Parts the other windows and the tests reach.
    cGrid *Grid() const { return cGrid1; }
    cTreeView *Tree() const { return cTreeView1; }
    QWidget *TitleStrip() const { return picTitle; }
    QLabel *TitleLabel() const { return lblTitle; }
    cMenu *Menu() const { return m_cMenu; }
    cToolbar *Toolbar() const { return tlbrTop; }
    cImageList *MenuImages() const { return imgMenu; }
    QTreeWidgetItem *NodeAll() const { return m_nodeAll; }
    QTreeWidgetItem *NodeABC() const { return m_nodeABC; }
    QTreeWidgetItem *NodeCategories() const { return m_nodeCategories; }
    QTreeWidgetItem *NodeRecycle() const { return m_nodeRecycle; }
    QTreeWidgetItem *NodeRoot() const { return m_nodeRoot; }
    MainLayoutState LayoutState() const { return m_layout; }
    // The engine's message when a command fails; the command is abandoned.
    void ReportStoreError(const QString &what, const QString &message);


protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildWidgets();
    void buildDetailsPane();
    void buildSearchBar();
    void buildToolbar();
    void buildMenus();
    void buildBands();
    void applyStoredLook();
    void applyLayout(const MainLayoutInput &in);
    void placeTwips(QWidget *w, const Geometry &g);
    void setHolderHeight();
    void showPicture(const QString &path);
    void showCellItems(int row, int column, const QString &sTxt, bool takeFocus);
    QString cellItems(int row, int column) const;
    bool cboEditorEvent(QEvent *event);
    void clearDetails();
    bool fill(const QString &statement, const FoldedNeedle *mark);
    void Unload();

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

    // When and where a click laid the drop-down over a cell.
    QElapsedTimer m_cellItemsClick;
    QPoint m_cellItemsCell;
    MainLayoutState m_layout;
    // The details pane's children, in twips within the pane.
    std::vector<std::pair<QWidget *, Geometry>> m_detailsPlacement;
    double m_holderTopTwips = 1455;
    quint64 m_fillGeneration = 0;
    int m_fillDepth = 0;
    bool m_loaded = false;
    bool m_inLayout = false;
};
