#include "mainwindow/frmMain.h"

#include "context/AppContext.h"
#include "controls/MsgBox.h"
#include "controls/mdlSetFormIcon32.h"
#include "controls/Units.h"
#include "controls/cGrid.h"
#include "controls/cImageList.h"
#include "controls/cMenu.h"
#include "controls/cReBar.h"
#include "controls/cStatusBar.h"
#include "controls/cSysTray.h"
#include "controls/cToolbar.h"
#include "controls/cTreeView.h"
#include "lang/mdlTrans.h"
#include "options/frmOptions.h"
#include "mainwindow/ListFill.h"
#include "store/Journal.h"
#include "store/mdlMDB.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFrame>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>


namespace {
// Design sizes in twips.
constexpr double kTitleHeight = 495;
constexpr double kTreeWidth = 2295;
constexpr double kSearchHeight = 1455;
constexpr double kDetailsHeight = 1815;

QLabel *makeLabel(QWidget *parent, const QString &name, const QString &text)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(name);
    return l;
}
} // namespace

frmMain::frmMain(QWidget *parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("frmMain"));
    buildWidgets();
}

frmMain::~frmMain()
{
    Unload();
}

void frmMain::buildWidgets()
{
    imgToolbar = new cImageList(this, QSize(24, 24));
    for (const char *name : {"add", "edit", "remove", "search", "notes", "options", "restore"})
        imgToolbar->Add(QStringLiteral(":/icons/toolbar/%1.svg").arg(QLatin1String(name)));
    imgTree = new cImageList(this);
    for (const char *name : {"contacts", "abc", "categories", "item", "recycle"})
        imgTree->Add(QStringLiteral(":/icons/tree/%1.svg").arg(QLatin1String(name)));
    imgMenu = new cImageList(this);
    const QMap<int, QString> menuImages = {{2, QStringLiteral("add")},
                                           {3, QStringLiteral("remove")},
                                           {9, QStringLiteral("general")},
                                           {11, QStringLiteral("view")},
                                           {12, QStringLiteral("topics")}};
    for (int i = 0; i <= 12; ++i)
        imgMenu->Add(menuImages.contains(i) ? QStringLiteral(":/icons/menu/%1.svg").arg(menuImages.value(i)) : QString());

    m_client = new QWidget(this);
    m_client->setObjectName(QStringLiteral("client"));
    setCentralWidget(m_client);

    picHolderTop = new QWidget(m_client);
    picHolderTop->setObjectName(QStringLiteral("picHolderTop"));

    picTitle = new QWidget(m_client);
    picTitle->setObjectName(QStringLiteral("picTitle"));
    picTitle->setAutoFillBackground(true);
    lblTitle = makeLabel(picTitle, QStringLiteral("lblTitle"), QString());
    QFont titleFont = lblTitle->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.15);
    lblTitle->setFont(titleFont);

    cTreeView1 = new cTreeView(m_client);
    cTreeView1->setObjectName(QStringLiteral("cTreeView1"));
    cTreeView1->setAccessibleName(QStringLiteral("Navigation"));
    cTreeView1->SetImageList(imgTree);
    connect(cTreeView1, &cTreeView::NodeClick, this, &frmMain::cTreeView1_NodeClick);

    cGrid1 = new cGrid(m_client);
    cGrid1->setObjectName(QStringLiteral("cGrid1"));
    cGrid1->setAccessibleName(QStringLiteral("Contacts"));
    connect(cGrid1, &cGrid::Click, this, &frmMain::cGrid1_Click);
    connect(cGrid1, &cGrid::SelectionMoved, this, [this](int, int) { cGrid1_SelectionMoved(); });
    cGrid1->installEventFilter(this);
    cGrid1->viewport()->installEventFilter(this);
    setAcceptDrops(true);
    // The drop-down lies over one cell: scrolling moves the cell from under it.
    for (QScrollBar *bar : {cGrid1->verticalScrollBar(), cGrid1->horizontalScrollBar()})
        connect(bar, &QScrollBar::valueChanged, this, [this] { cboEditor->hide(); });
    connect(cGrid1, &cGrid::DblClick, this, &frmMain::cGrid1_DblClick);
    cGrid1->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(cGrid1, &QWidget::customContextMenuRequested, this, &frmMain::showRowMenu);

    buildSearchBar();
    buildDetailsPane();

    cboEditor = new QComboBox(m_client);
    cboEditor->setObjectName(QStringLiteral("cboEditor"));
    cboEditor->setAccessibleName(QStringLiteral("Items"));
    cboEditor->setEditable(false);
    cboEditor->hide();
    cboEditor->installEventFilter(this);

    cStatusBar1 = new cStatusBar(this);
    cStatusBar1->setObjectName(QStringLiteral("cStatusBar1"));
    setStatusBar(cStatusBar1);

    cSysTray1 = new cSysTray(this);

    m_layout.title.height = kTitleHeight;
    m_layout.tree.width = kTreeWidth;
    m_layout.search.height = kSearchHeight;
    m_layout.details.height = kDetailsHeight;
    m_layout.txtSearchFor = {120, 360, 6735, 315};
    m_layout.lblSearchFor = {120, 120, 810, 195};
    m_layout.cboSearchIn = {120, 960, 3495, 315};
    m_layout.cmdSearch = {3720, 960, 3135, 315};
}

void frmMain::buildSearchBar()
{
    PicSearch = new QWidget(m_client);
    PicSearch->setObjectName(QStringLiteral("PicSearch"));
    PicSearch->setAutoFillBackground(true);
    QPalette pal = PicSearch->palette();
    pal.setColor(QPalette::Window, Qt::white);
    PicSearch->setPalette(pal);
    lblSearchFor = makeLabel(PicSearch, QStringLiteral("lblSearchFor"), QStringLiteral("Serach for:"));
    txtSearchFor = new QLineEdit(PicSearch);
    txtSearchFor->setObjectName(QStringLiteral("txtSearchFor"));
    txtSearchFor->setAccessibleName(QStringLiteral("Serach for"));
    lblSearchFor->setBuddy(txtSearchFor);
    lblIn = makeLabel(PicSearch, QStringLiteral("lblIn"), QStringLiteral("In:"));
    cboSearchIn = new QComboBox(PicSearch);
    cboSearchIn->setObjectName(QStringLiteral("cboSearchIn"));
    cboSearchIn->setAccessibleName(QStringLiteral("In"));
    lblIn->setBuddy(cboSearchIn);
    cmdSearch = new QPushButton(QStringLiteral("Search"), PicSearch);
    cmdSearch->setObjectName(QStringLiteral("cmdSearch"));
    connect(cmdSearch, &QPushButton::clicked, this, &frmMain::RunSearch);
    connect(txtSearchFor, &QLineEdit::returnPressed, this, &frmMain::RunSearch);
    PicSearch->hide();
}

void frmMain::buildDetailsPane()
{
    PicContactDetails = new QWidget(m_client);
    PicContactDetails->setObjectName(QStringLiteral("PicContactDetails"));
    PicContactDetails->setAutoFillBackground(true);
    QPalette pal = PicContactDetails->palette();
    pal.setColor(QPalette::Window, Qt::white);
    pal.setColor(QPalette::WindowText, Qt::black);
    PicContactDetails->setPalette(pal);

    struct DetailLabel
    {
        const char *name;
        const char *text;
        double l, t, w, h;
        QLabel **target;
    };
    const DetailLabel labels[] = {
        {"lblName", "Name:", 2520, 240, 465, 195, nullptr},
        {"lblNameDetails", "", 3480, 240, 1545, 195, &lblNameDetails},
        {"lblCategory", "Category:", 2520, 480, 735, 195, nullptr},
        {"lblCategoryDetails", "", 3480, 480, 1545, 195, &lblCategoryDetails},
        {"lblAddress", "Address:", 2520, 720, 645, 195, nullptr},
        {"lblAddressDetails", "", 3480, 720, 1545, 195, &lblAddressDetails},
        {"lblCompany", "Company:", 2520, 960, 735, 195, nullptr},
        {"lblCompanyDetails", "", 3480, 960, 1545, 195, &lblCompanyDetails},
        {"lblListed", "Listed:", 2520, 1200, 480, 195, nullptr},
        {"lblListedDetails", "", 3480, 1200, 1545, 195, &lblListedDetails},
        {"lblPhoneNumbers", "Phone numbers:", 5760, 240, 1170, 195, nullptr},
    };
    QLabel *lastCaption = nullptr;
    for (const DetailLabel &s : labels) {
        QLabel *l = makeLabel(PicContactDetails, QLatin1String(s.name), QLatin1String(s.text));
        // Captions keep their text whole; values take the room the design gives them.
        const bool caption = s.target == nullptr;
        if (caption)
            l->setStyleSheet(QStringLiteral("color: #555;"));
        m_detailsPlacement.push_back({l, {s.l, s.t, caption ? s.w + 400 : s.w + 600, s.h + 60}});
        if (s.target) {
            *s.target = l;
            l->setTextInteractionFlags(Qt::TextSelectableByMouse);
            // The value is the label's text, so a screen reader says it; the
            // caption beside it labels it.
            lastCaption->setBuddy(l);
        } else {
            lastCaption = l;
        }
    }
    lstPhoneNumbers = new QListWidget(PicContactDetails);
    lstPhoneNumbers->setObjectName(QStringLiteral("lstPhoneNumbers"));
    lstPhoneNumbers->setAccessibleName(QStringLiteral("Phone numbers"));
    lastCaption->setBuddy(lstPhoneNumbers);
    m_detailsPlacement.push_back({lstPhoneNumbers, {5760, 480, 2415, 1110}});

    Shape1 = new QFrame(PicContactDetails);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setFrameShape(QFrame::Box);
    Shape1->setStyleSheet(QStringLiteral("QFrame#Shape1 { border: 1px solid #b0b0b0; }"));
    m_detailsPlacement.push_back({Shape1, {120, 240, 2055, 1335}});
    Image1 = new QLabel(PicContactDetails);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAccessibleName(QStringLiteral("Picture"));
    Image1->setAlignment(Qt::AlignCenter);
    m_detailsPlacement.push_back({Image1, {240, 360, 1815, 1095}});
}

bool frmMain::Load()
{
    SetFormIcon(this, QStringLiteral("AAA"), true);
    setWindowTitle(App().AppTitle);
    // The tray icon has no menu and answers no click.
    cSysTray1->Show(QStringLiteral("ToolTip..."), QStringLiteral("icon.ico"));
    // The language file, before the menus that take captions from it.
    mdlTrans::LoadLanguageFile(AppFilePath(QStringLiteral("\\trans\\eng.txt")));
    if (mdlTrans::RightToLeft())
        setLayoutDirection(Qt::RightToLeft);
    // The options, before the tree that is ranged by them: the options dialog
    // is loaded hidden and reads them.
    frmOptions *options = frmOptions::LoadHidden(this, imgMenu);
    connect(options, &frmOptions::gridLookChosen, this, [this](bool gridLines, bool hotTrack) {
        cGrid1->SetGridLines(gridLines);
        cGrid1->SetHotTrack(hotTrack);
    });
    connect(options, &frmOptions::titleBackgroundChosen, this, [this](qint32 colour) {
        m_look.titleBackground = colour;
        applyLook(m_look);
    });
    connect(options, &frmOptions::titleTextChosen, this, [this](qint32 colour) {
        m_look.titleText = colour;
        applyLook(m_look);
    });
    m_look = LookFrom(options->LastStored());
    applyLook(m_look);
    try {
        mdlMDB::OpenDatabase(QStringLiteral("/db/db.sqlite"), SharedDb());
    } catch (const StoreError &e) {
        const QString text = QStringLiteral("The contact database could not be opened.\n\n%1\n\n%2")
                                 .arg(QDir::toNativeSeparators(e.file()), e.message());
        MsgBox::Fail(this, text);
        cSysTray1->Remove();
        return false;
    }
    prepareBook();
    m_loaded = true;
    buildToolbar();
    buildMenus();
    buildBands();
    setTree();
    DefineColumns();
    cboSearchIn->addItems({QStringLiteral("All fields"), QStringLiteral("First name"), QStringLiteral("Last name"),
                           QStringLiteral("Category"), QStringLiteral("Address"), QStringLiteral("Company"),
                           QStringLiteral("Phones"), QStringLiteral("Mails"), QStringLiteral("Web sites"),
                           QStringLiteral("Notes")});
    cboSearchIn->setCurrentIndex(0);

    resize(900, 620);
    // As if All had been clicked. The title and selection are set now; the
    // list fills once the window is up, so a large book never delays the window.
    cTreeView1->SelectNode(m_nodeAll);
    lblTitle->setText(cTreeView::NodeText(m_nodeAll));
    updateCommands();
    // Another program's writes show within a second or two.
    m_outside = new QTimer(this);
    m_outside->setInterval(1000);
    connect(m_outside, &QTimer::timeout, this, &frmMain::checkOutsideChanges);
    m_outside->start();
    checkOutsideChanges();
    setUpSync();
    QTimer::singleShot(0, this, [this] {
        if (m_loaded && cTreeView1->SelectedNode() == m_nodeAll && cGrid1->Rows() == 0 && !IsFilling())
            cTreeView1_NodeClick(m_nodeAll);
    });
    return true;
}

// Old history and old removals let go. A book whose side tables cannot be
// used (written by a newer version, or not writable) is only read.
void frmMain::prepareBook()
{
    if (!SharedDb()->sideTablesUsable()) {
        m_readOnly = true;
        MsgBox::Inform(this, SharedDb()->sideTablesProblem());
        return;
    }
    try {
        const int left = Journal::Prune(*SharedDb(), Options().OptHistoryDays, Options().OptHistorySteps);
        if (left > 0)
            cStatusBar1->showMessage(QStringLiteral("%1 contacts removed more than %2 days ago were deleted from "
                                                    "the Recycle bin for good.")
                                         .arg(left)
                                         .arg(Options().OptHistoryDays),
                                     15000);
    } catch (const StoreError &e) {
        // Nothing is lost: older steps wait for the next start.
        cStatusBar1->showMessage(QStringLiteral("Old history could not be cleared: ") + e.message(), 15000);
    }
}

void frmMain::applyLook(const DisplayLook &look)
{
    QPalette pal = picTitle->palette();
    pal.setColor(QPalette::Window, Units::ColorFromBgr(look.titleBackground));
    picTitle->setPalette(pal);
    QPalette lp = lblTitle->palette();
    lp.setColor(QPalette::WindowText, Units::ColorFromBgr(look.titleText));
    lblTitle->setPalette(lp);
    cGrid1->SetGridLines(look.gridLines);
    cGrid1->SetHotTrack(look.hotTrack);
}

void frmMain::buildToolbar()
{
    tlbrTop = new cToolbar(this);
    tlbrTop->setObjectName(QStringLiteral("tlbrTop"));
    tlbrTop->SetImageList(imgToolbar);
    tlbrTop->CreateToolbar(34, true);
    const QString blanks(7, QLatin1Char(' '));
    tlbrTop->AddButton(blanks + QStringLiteral("Add") + blanks, QStringLiteral("Add"), 0);
    tlbrTop->AddButton(QStringLiteral("Edit"), QString(), 1);
    tlbrTop->AddButton(QStringLiteral("Remove"), QString(), 2);
    tlbrTop->AddButton(QString(), QString(), -1, true);
    tlbrTop->AddButton(QStringLiteral("Search"), QString(), 3);
    tlbrTop->AddButton(QStringLiteral("Notes"), QString(), 4);
    tlbrTop->AddButton(QString(), QString(), -1, true);
    tlbrTop->AddButton(QStringLiteral("Options"), QString(), 5);
    // Shown in the Recycle bin only.
    tlbrTop->AddButton(QStringLiteral("Restore"), QString(), 6);
    tlbrTop->SetButtonVisible(kRestoreButton, false);
    connect(tlbrTop, &cToolbar::ButtonClick, this, &frmMain::tlbrTop_ButtonClick);
}

void frmMain::buildMenus()
{
    m_cMenu = new cMenu(this);
    m_cMenu->SetOwner(this);
    m_cMenu->SetImageList(imgMenu);
    const int file = m_cMenu->AddItem(QStringLiteral("&File"), QString(), 0, 0, -1, false, true,
                                      QStringLiteral("mnuFileTop"));
    m_cMenu->AddItem(QStringLiteral("&Add"), QString(), 0, file, 2, false, true, QStringLiteral("Add"));
    m_cMenu->AddItem(QStringLiteral("-"), QString(), 0, file, -1, false, true, QStringLiteral("mnuFile(4)"));
    m_cMenu->AddItem(QStringLiteral("&") + mdlTrans::Trans(252), QString(), 0, 0, -1, false, true,
                     QStringLiteral("mnuEditTop"));
    const int tools = m_cMenu->AddItem(QStringLiteral("&Tools"), QString(), 0, 0, -1, false, true,
                                       QStringLiteral("mnuToolsTop"));
    m_cMenu->AddItem(QStringLiteral("Find &duplicates..."), QString(), 0, tools, -1, false, true,
                     QStringLiteral("mnuDuplicates"));
    m_cMenu->AddItem(QStringLiteral("-"), QString(), 0, tools, -1, false, true, QStringLiteral("mnuLineSync"));
    m_cMenu->AddItem(QStringLiteral("&Sync accounts..."), QString(), 0, tools, -1, false, true,
                     QStringLiteral("mnuSyncAccounts"));
    m_cMenu->AddItem(QStringLiteral("Sync &now"), QString(), 0, tools, -1, false, true, QStringLiteral("mnuSyncNow"));
    const int help = m_cMenu->AddItem(QStringLiteral("&") + QStringLiteral("Help"), QString(), 0, 0, -1, false, true,
                                      QStringLiteral("mnuHelpTop"));
    m_cMenu->AddItem(QStringLiteral("&") + QStringLiteral("Topics"), QString(), 0, help, 12, false, true,
                     QStringLiteral("HelpTopic"));
    m_cMenu->AddItem(QStringLiteral("&") + QStringLiteral("Support"), QString(), 0, help, -1, false, true,
                     QStringLiteral("Support"));
    m_cMenu->AddItem(QStringLiteral("-"), QString(), 0, help, -1, false, true, QStringLiteral("mnuFile(4)"));
    m_cMenu->AddItem(QStringLiteral("&About"), QString(), 0, help, -1, false, true, QStringLiteral("About"));
    const int rc = m_cMenu->AddItem(QStringLiteral("&") + mdlTrans::Trans(254), QString(), 0, 0, -1, false, true,
                                    QStringLiteral("mnuRC"));
    m_cMenu->AddItem(QStringLiteral("&Add"), QString(), 0, rc, 2, false, true, QStringLiteral("mnuRCAdd"));
    m_cMenu->AddItem(QStringLiteral("-"), QString(), 0, rc, -1, false, true, QStringLiteral("mnuLinemnuRCRemove"));
    m_cMenu->AddItem(QStringLiteral("&Remove"), QString(), 0, rc, 3, false, true, QStringLiteral("mnuRCRemove"));
    m_cMenu->SetVisible(m_cMenu->IndexForKey(QStringLiteral("mnuRC")), false);
    // Beyond the classic menu: the Edit menu's entries, and more on a row.
    const int edit = m_cMenu->IndexForKey(QStringLiteral("mnuEditTop"));
    m_cMenu->AddItem(QStringLiteral("&Undo"), QString(), 0, edit, -1, false, false, QStringLiteral("mnuUndo"));
    m_cMenu->AddItem(QStringLiteral("&Redo"), QString(), 0, edit, -1, false, false, QStringLiteral("mnuRedo"));
    m_cMenu->AddItem(QStringLiteral("-"), QString(), 0, edit, -1, false, true, QStringLiteral("mnuLineUndo"));
    m_cMenu->AddItem(QStringLiteral("Re&store"), QString(), 0, edit, -1, false, true, QStringLiteral("mnuRestore"));
    m_cMenu->AddItem(QStringLiteral("&Empty Recycle bin"), QString(), 0, edit, 3, false, true,
                     QStringLiteral("mnuEmptyBin"));
    m_cMenu->AddItem(QStringLiteral("&Edit"), QString(), 0, rc, -1, false, true, QStringLiteral("mnuRCEdit"));
    m_cMenu->AddItem(QStringLiteral("&Import..."), QString(), 0, file, -1, false, true, QStringLiteral("mnuImport"));
    m_cMenu->AddItem(QStringLiteral("E&xport..."), QString(), 0, file, -1, false, true, QStringLiteral("mnuExport"));
    m_cMenu->AddItem(QStringLiteral("-"), QString(), 0, file, -1, false, true, QStringLiteral("mnuLinePrint"));
    m_cMenu->AddItem(QStringLiteral("&Print..."), QString(), 0, file, -1, false, true, QStringLiteral("mnuPrint"));
    m_cMenu->AddItem(QStringLiteral("Export as P&DF..."), QString(), 0, file, -1, false, true, QStringLiteral("mnuPdf"));
    m_cMenu->AddItem(QStringLiteral("Re&store"), QString(), 0, rc, -1, false, true, QStringLiteral("mnuRCRestore"));

    tlbrMenu = new cToolbar(this);
    tlbrMenu->setObjectName(QStringLiteral("tlbrMenu"));
    tlbrMenu->CreateFromMenu(m_cMenu);
    m_cMenu->SetVisible(m_cMenu->IndexForKey(QStringLiteral("mnuRC")), false);
    m_cMenu->SetShortcuts(m_cMenu->IndexForKey(QStringLiteral("mnuUndo")), {QKeySequence::Undo});
    m_cMenu->SetShortcuts(m_cMenu->IndexForKey(QStringLiteral("mnuRedo")),
                          {QKeySequence(QStringLiteral("Ctrl+Shift+Z")), QKeySequence(QStringLiteral("Ctrl+Y"))});
    connect(m_cMenu, &cMenu::Click, this, &frmMain::m_cMenu_Click);
}

void frmMain::buildBands()
{
    cReBar1 = new cReBar(picHolderTop);
    cReBar1->setObjectName(QStringLiteral("cReBar1"));
    cReBar1->AddBand(QStringLiteral("MenuBar"), tlbrMenu, true, true, 4000);
    cReBar1->AddBand(QStringLiteral("Toolbar1"), tlbrTop, true, false, 0);
    connect(cReBar1, &cReBar::HeightChanged, this, [this](int) { setHolderHeight(); });
    setHolderHeight();
}

// The top panel follows its bands, with room at its foot for the title strip,
// which overlaps the panel's lower 280 twips.
void frmMain::setHolderHeight()
{
    if (!cReBar1)
        return;
    const int bandHeight = cReBar1->UpdateSize();
    const double twips = Units::PixelsToTwipsY(bandHeight, this) + 300;
    if (qAbs(twips - m_holderTopTwips) < 0.5)
        return;
    m_holderTopTwips = twips;
    Form_Resize();
}

void frmMain::placeTwips(QWidget *w, const Geometry &g)
{
    Units::PlaceTwips(w, g.left, g.top, qMax(0.0, g.width), qMax(0.0, g.height));
}

void frmMain::Form_Resize()
{
    if (!m_client || m_inLayout)
        return;
    MainLayoutInput in;
    in.clientWidth = Units::PixelsToTwipsX(m_client->width(), this);
    // The client area above the status bar plus the bar, plus the 500 twips of
    // caption and borders the rule counts in, so the tree ends at the status bar.
    in.statusHeight = Units::PixelsToTwipsY(cStatusBar1->isVisible() ? cStatusBar1->height() : 0, this);
    in.outerHeight = Units::PixelsToTwipsY(m_client->height(), this) + in.statusHeight + 500;
    in.holderTopHeight = m_holderTopTwips;
    in.searchBarShown = m_searchBarShown;
    applyLayout(in);
}

void frmMain::applyLayout(const MainLayoutInput &in)
{
    m_inLayout = true;
    m_layout = FormResize(in, m_layout);
    placeTwips(picHolderTop, {0, 0, in.clientWidth, in.holderTopHeight});
    if (cReBar1)
        cReBar1->setGeometry(0, 0, picHolderTop->width(), cReBar1->sizeHint().height());
    placeTwips(picTitle, {0, m_layout.title.top, m_layout.title.width, m_layout.title.height});
    lblTitle->setGeometry(Units::TwipsToPixelsX(120, this), 0, picTitle->width(), picTitle->height());
    placeTwips(cTreeView1, m_layout.tree);
    placeTwips(cGrid1, m_layout.grid);
    placeTwips(PicContactDetails, m_layout.details);
    // Placed after their pane, so that a window read from right to left
    // mirrors them within its width.
    for (const auto &[w, g] : m_detailsPlacement)
        placeTwips(w, g);
    PicSearch->setVisible(m_searchBarShown);
    if (m_searchBarShown) {
        placeTwips(PicSearch, m_layout.search);
        placeTwips(txtSearchFor, m_layout.txtSearchFor);
        placeTwips(lblSearchFor, {m_layout.lblSearchFor.left, 120, 1600, 240});
        placeTwips(lblIn, {80, 720, 1000, 240});
        placeTwips(cboSearchIn, m_layout.cboSearchIn);
        placeTwips(cmdSearch, m_layout.cmdSearch);
    }
    picTitle->raise();
    m_inLayout = false;
    if (cReBar1)
        cReBar1->UpdateSize();
}

void frmMain::resizeEvent(QResizeEvent *event)
{
    QMainWindow::resizeEvent(event);
    Form_Resize();
}

void frmMain::showEvent(QShowEvent *event)
{
    QMainWindow::showEvent(event);
    setHolderHeight();
    Form_Resize();
}

void frmMain::closeEvent(QCloseEvent *event)
{
    Unload();
    event->accept();
}

void frmMain::Unload()
{
    if (!m_loaded)
        return;
    m_loaded = false;
    delete m_fill; // a running fill stops here
    // The tree's walks read the book through connections of their own: they
    // stop before the book is let go, which writes a last note in it.
    stopTreeReading();
    stopSync();
    App().AppClosing = true;
    frmOptions::UnloadForReal();
    mdlMDB::CloseDatabase(SharedDb());
    cSysTray1->Remove();
}

void frmMain::ReportStoreError(const QString &what, const QString &message)
{
    MsgBox::Fail(this, what + QStringLiteral("\n\n") + message);
}
