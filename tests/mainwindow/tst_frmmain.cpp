#include "support/GuiTestSupport.h"

#include "context/AppContext.h"
#include "controls/MsgBox.h"
#include "controls/cGrid.h"
#include "controls/cToolbar.h"
#include "controls/cTreeView.h"
#include "controls/mdlFunctions.h"
#include "editor/frmCntContact.h"
#include "lang/mdlTrans.h"
#include "mainwindow/frmMain.h"
#include "options/frmOptions.h"
#include "settings/mdlOptions.h"
#include "store/mdlMDB.h"

#include <QAccessible>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QImage>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

using namespace Qt::StringLiterals;

// The main window, driven as a user drives it: each test on a fresh folder
// with the window up and active, so that focus moves send their events.
class tst_frmmain : public QObject
{
    Q_OBJECT

    enum Way { AddButton, AddMenu, EditButton, DoubleClick };
    // Notes what the contact editor shows (caption, first name, mode, contact,
    // a busy cursor), types `name` as first and last name and presses a button.
    static std::function<void(frmCntContact *)> typeAndPress(QString &seen, const QString &name, const char *button)
    {
        return [&seen, name, button](frmCntContact *d) {
            auto *first = d->findChild<QLineEdit *>(u"txtFirstName"_s);
            seen = QStringList{d->windowTitle(), first->text(), d->g_bEdit ? u"edit"_s : u"new"_s,
                               QString::number(d->g_lContactID), QApplication::overrideCursor() ? u"busy"_s : u""_s}
                       .join(u'|');
            QTest::keyClicks(first, name);
            QTest::keyClicks(d->findChild<QLineEdit *>(u"txtLastName"_s), name);
            QTest::mouseClick(d->findChild<QPushButton *>(QLatin1String(button)), Qt::LeftButton);
        };
    }

    std::unique_ptr<GuiTempAppFolder> m_folder;
    std::unique_ptr<frmMain> m_main;

    bool open(int rows)
    {
        if ((m_main = OpenMainWindow(rows)))
            m_main->activateWindow();
        return m_main && QTest::qWaitForWindowActive(m_main.get());
    }
    bool openPeople()
    {
        SeedContacts({{{"First_Name", "Émile"}, {"Last_Name", "Zola"}, {"Category", "Writers"},
                       {"Address", "Rue de Paris"}, {"Company", "Presse"},
                       {"Phones", "111:*:home\r\n222 555:*:work\r\n333:*:\r\n"}, {"Mails", "emile@x.org:*:\r\n"},
                       {"Websites", "zola.example:*:\r\n"}, {"Notes", ""}},
                      {{"First_Name", "Sean"}, {"Last_Name", "O'Brien"}, {"Category", "Friends"},
                       {"Phones", "444:*:\r\n"}, {"Mails", "sean@x.org:*:\r\nob@y.org:*:\r\n"}, {"Notes", "in Cork"}},
                      {{"First_Name", "Corky"}, {"Last_Name", "Smith"}, {"Phones", ""}, {"Mails", ""}},
                      {{"First_Name", "Anna"}, {"Last_Name", "Nolan"}, {"Phones", ""}, {"Notes", "50% discount"}}});
        return open(4);
    }
    template <typename T = QWidget> T *part(const char *name) const { return m_main->findChild<T *>(name); }
    cGrid *grid() const { return part<cGrid>("cGrid1"); }
    cTreeView *tree() const { return part<cTreeView>("cTreeView1"); }
    QComboBox *items() const { return part<QComboBox>("cboEditor"); }
    QString title() const { return part<QLabel>("lblTitle")->text(); }
    QString lastNames() const { return ListColumn(m_main.get(), ColLastName).join(u'|'); }
    QString childTexts(const QString &key) const
    {
        QStringList texts;
        for (int i = 0; i < tree()->NodeByKey(key)->childCount(); ++i)
            texts << tree()->NodeByKey(key)->child(i)->text(0);
        return texts.join(u'|');
    }
    QPoint centre(QPoint c) const { return grid()->visualRect(grid()->Model()->index(c.x() - 1, c.y() - 1)).center(); }
    void clickCell(int r, int c) { QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, centre({r, c})); }

    QToolButton *button(const QString &text) const { return m_main->findChild<QToolButton *>(u"button_"_s + text); }
    cToolbar *toolbar() const { return qobject_cast<cToolbar *>(button(u"Add"_s)->parentWidget()); }
    void clickToolbar(const QString &caption) { QTest::mouseClick(button(caption), Qt::LeftButton); }
    // The support's Search(), with the toolbar found by its buttons.
    void search(const QString &text, int field, bool wait = true)
    {
        if (!part("PicSearch")->isVisible())
            clickToolbar(u"Search"_s);
        part<QLineEdit>("txtSearchFor")->setText(text);
        part<QComboBox>("cboSearchIn")->setCurrentIndex(field);
        QTest::mouseClick(part<QPushButton>("cmdSearch"), Qt::LeftButton);
        QVERIFY(!wait || WaitForList(m_main.get()));
    }
    // Opens a menu of the bar by its key and clicks one of its entries.
    void chooseMenu(const char *menuKey, const QString &entry) { ChooseMenu(m_main.get(), menuKey, entry); }
    // n contacts written by the engine at once: first names "o1", "o2"...,
    // every tenth from the third in category "Three".
    static void seedMany(int n)
    {
        Connection::open(AppFilePath(u"/db/db.sqlite"_s))
            ->exec(u"WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                   "INSERT INTO Contacts (First_Name, Last_Name, Category, Phones, Mails) SELECT 'o' || i, "
                   "'Last' || i, CASE WHEN i % 10 = 3 THEN 'Three' ELSE 'Other' END, '1:*:' || char(13, 10), '' "
                   "FROM n"_s.arg(n));
    }

private slots:
    void init() { m_folder = std::make_unique<GuiTempAppFolder>(); }
    void cleanup() { m_main.reset(); m_folder.reset(); mdlTrans::ResetLanguage(); }

    void loadShowsEveryContactInEngineOrder()
    {
        SeedContacts({{{"First_Name", "Anna"}, {"Last_Name", "Zeller"}, {"Category", "Work"},
                       {"Phones", "111:*:home\r\n222:*:\r\n"}, {"Mails", "a@x.org:*:\r\n"}},
                      {{"First_Name", "Bert"}, {"Last_Name", "Adams"}, {"Phones", ""}, {"Mails", ""}},
                      {{"First_Name", "Cleo"}, {"Last_Name", "Maier"}, {"Phones", "x\r\n9:*:d\r\n"}}});
        QVERIFY(open(3));
        QCOMPARE(m_main->windowTitle(), App().AppTitle);
        QCOMPARE(title(), u"All"_s);
        QCOMPARE(cTreeView::NodeKey(tree()->SelectedNode()), u"ALL:*:MAIN"_s);
        QCOMPARE(grid()->SelectedRow(), 1);
        // The first item is the text before the first separator of the whole list.
        QStringList rows;
        for (int r = 1; r <= 3; ++r)
            for (int c = ColFirstName; c <= ColMails; ++c)
                rows << grid()->CellText(r, c);
        QCOMPARE(rows.join(u'|'), u"Anna|Zeller|Work|111|a@x.org||1|111:*:home\r\n222:*:\r\n|a@x.org:*:\r\n|"
                                  "Bert|Adams|||||2|||Cleo|Maier||x\r\n9|||3|x\r\n9:*:d\r\n|"_s);
    }

    // Each node after the search bar, which empties the list: the bar goes,
    // the title names the node, and a node that stands for no statement
    // leaves the list as it is.
    void treeNodes_data()
    {
        QTest::addColumn<QString>("key"); // "" for the tree itself
        QTest::addColumn<QString>("lastNames");
        QTest::newRow("tree") << "" << "";
        QTest::newRow("letter, either case") << "ABC:*:a" << "adams|Adams";
        QTest::newRow("letter O") << "ABC:*:O" << "O'Brien";
        QTest::newRow("underscore stands for itself") << "ABC:*:_" << "_Under";
        QTest::newRow("percent stands for itself") << "ABC:*:%" << "%Per";
        QTest::newRow("category") << "CAT:*:Work" << "adams|";
        QTest::newRow("category with quotes") << "CAT:*:'; DROP TABLE Contacts; --" << "O'Brien";
        QTest::newRow("category holding the separator") << "CAT:*:a:*:b" << "Émile";
        QTest::newRow("root") << "CONTACTS:*:MAIN" << "";
        QTest::newRow("ABC") << "ABC:*:MAIN" << "";
        QTest::newRow("categories") << "CAT:*:MAIN" << "";
        QTest::newRow("recycle") << "RECYCLE:*:MAIN" << "";
    }
    void treeNodes()
    {
        QFETCH(QString, key);
        SeedContacts({{{"Last_Name", "adams"}, {"Category", "Work"}}, {{"Last_Name", "Adams"}, {"Category", ""}},
                      {{"Last_Name", ""}, {"Category", "Work"}}, {{"First_Name", "Only first"}},
                      {{"Last_Name", "O'Brien"}, {"Category", "'; DROP TABLE Contacts; --"}},
                      {{"Last_Name", "Émile"}, {"Category", "a:*:b"}}, {{"Last_Name", "\U0001F600 smile"}},
                      {{"Last_Name", "_Under"}}, {{"Last_Name", "%Per"}}});
        QVERIFY(open(9));
        if (!key.isEmpty()) {
            clickToolbar(u"Search"_s);
            ClickNode(m_main.get(), key);
            QTEST(lastNames(), "lastNames");
            QCOMPARE(title(), cTreeView::NodeText(tree()->NodeByKey(key)));
            QCOMPARE(tree()->SelectedNode(), tree()->NodeByKey(key));
            QVERIFY(!part("PicSearch")->isVisible() && grid()->SelectedRow() == (grid()->Rows() ? 1 : 0));
            return;
        }
        QCOMPARE(tree()->topLevelItemCount(), 1);
        QVERIFY(tree()->NodeByKey(u"CONTACTS:*:MAIN"_s)->isExpanded());
        QCOMPARE(childTexts(u"CONTACTS:*:MAIN"_s), u"All|ABC|Categories|Recycle"_s);
        // Upper and lower case are two letters; empty and null names add none.
        const QStringList letters = childTexts(u"ABC:*:MAIN"_s).split(u'|');
        QCOMPARE(letters.size(), 7);
        QCOMPARE(QSet<QString>(letters.begin(), letters.end()),
                 QSet<QString>({"a", "A", "O", "É", QString::fromUtf8("\U0001F600"), "_", "%"}));
        // Each category once; empty and null ones add none.
        QCOMPARE(childTexts(u"CAT:*:MAIN"_s), u"'; DROP TABLE Contacts; --|a:*:b|Work"_s);
    }

    void detailsPaneFollowsTheClickedRow()
    {
        QImage image(40, 20, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QVERIFY(image.save(m_folder->file(u"face.png"_s)) && WriteFile(m_folder->file(u"bad.jpg"_s), "not a picture"));
        SeedContacts({{{"First_Name", "Anna"}, {"Last_Name", "Zeller"}, {"Category", "Work"}, {"Company", "Acme"},
                       {"Address", "1 Main St"}, {"Phones", "111:*:home\r\n222:*:work\r\n333:*:\r\n"},
                       {"Date_Registed", "2026-03-04 00:00:00"}, {"Picture", m_folder->file(u"face.png"_s)}},
                      {{"Last_Name", "Solo"}, {"Phones", ""}, {"Picture", ""}},
                      {{"First_Name", "Bad"}, {"Picture", m_folder->file(u"bad.jpg"_s)}},
                      {{"First_Name", "Gone"}, {"Picture", m_folder->file(u"gone.png"_s)}}});
        QVERIFY(open(4));
        auto *name = part<QLabel>("lblNameDetails");
        auto *phones = part<QListWidget>("lstPhoneNumbers");
        auto *picture = part<QLabel>("Image1");
        clickCell(1, ColLastName);
        QCOMPARE(name->text(), u"Anna Zeller"_s);
        QCOMPARE(part<QLabel>("lblCategoryDetails")->text(), u"Work"_s);
        QCOMPARE(part<QLabel>("lblCompanyDetails")->text(), u"Acme"_s);
        QCOMPARE(part<QLabel>("lblAddressDetails")->text(), u"1 Main St"_s);
        QVERIFY(part<QLabel>("lblListedDetails")->text().contains(u"2026"_s));
        QVERIFY(phones->count() == 3 && phones->item(2)->text() == u"333"_s && phones->currentRow() == 0);
        // Fitted into its box, keeping its proportions.
        const QPixmap shown = picture->pixmap();
        QVERIFY(shown.width() <= picture->width() && shown.height() <= picture->height());
        QVERIFY(shown.width() >= picture->width() - 1 || shown.height() >= picture->height() - 1);
        QVERIFY(qAbs(shown.width() - 2 * shown.height()) <= 2);
        // A screen reader hears the value, labelled by its caption.
        QAccessibleInterface *value = QAccessible::queryAccessibleInterface(name);
        QCOMPARE(value->text(QAccessible::Name), u"Anna Zeller"_s);
        const auto labels = value->relations(QAccessible::Label);
        QVERIFY(!labels.isEmpty() && labels.first().first->text(QAccessible::Name) == u"Name:"_s);
        // A picture whose file is gone, or that is no picture, shows no one's face and asks nothing.
        clickCell(4, ColFirstName);
        QVERIFY(picture->pixmap().isNull());
        clickCell(1, ColFirstName);
        clickCell(3, ColFirstName);
        QVERIFY(picture->pixmap().isNull() && MsgBox::AskedTexts().isEmpty());
        // A contact removed since the list was filled clears the pane.
        clickCell(1, ColFirstName);
        SharedDb()->exec(u"DELETE FROM Contacts WHERE ContactID = 1"_s);
        clickCell(1, ColLastName);
        QVERIFY(name->text().isEmpty() && phones->count() == 0 && picture->pixmap().isNull());
    }

    void lookAtStart_data()
    {
        QTest::addColumn<bool>("stored");
        QTest::newRow("built-in look, last-name letters") << false;
        QTest::newRow("stored look, first-name letters") << true;
    }
    void lookAtStart()
    {
        QFETCH(bool, stored);
        RegistryRoutines reg = OptionsRegistry();
        QVERIFY(!stored || (EnsureOptionKeys() && SaveSortByFirstName(reg, true) && SaveViewGrid(reg, 0) &&
                            SaveHoTrack(reg, 1) && SaveAppColor(reg, 0xFF0000) && SaveTextColor(reg, 0)));
        SeedContacts({{{"First_Name", "zed"}, {"Last_Name", "Adams"}}, {{"First_Name", "Zora"}, {"Last_Name", "Brown"}},
                      {{"First_Name", "Ann"}, {"Last_Name", "Zander"}}});
        QVERIFY(open(3));
        QCOMPARE(part("picTitle")->palette().color(QPalette::Window), QColor(stored ? Qt::blue : Qt::red));
        QCOMPARE(part("lblTitle")->palette().color(QPalette::WindowText), QColor(stored ? Qt::black : Qt::white));
        QVERIFY(grid()->GridLines() != stored && grid()->HotTrack() == stored);
        ClickNode(m_main.get(), u"ABC:*:Z"_s);
        QCOMPARE(ListColumn(m_main.get(), ColFirstName).join(u'|'), stored ? u"zed|Zora"_s : u"Ann"_s);
        // No installer makes room for the options: the first start must, or
        // no choice made in the options dialog could ever be kept.
        QVERIFY2(SaveViewGrid(reg, 0) && SaveSortByFirstName(reg, true), "the options cannot be kept");
    }

    void rightToLeftMirrorsTheWindow()
    {
        QByteArray lines;
        for (int line = 1; line <= 1000; ++line)
            lines += line == 10 ? "RTL\r\n" : line == 252 ? "Tahrir\r\n" : "\r\n";
        QVERIFY(QDir().mkpath(m_folder->file(u"trans"_s)) && WriteFile(m_folder->file(u"trans/eng.txt"_s), lines));
        QVERIFY(open(0));
        QCOMPARE(m_main->layoutDirection(), Qt::RightToLeft);
        QCOMPARE(part<QMenu>("mnuEditTop")->title(), u"&Tahrir"_s);
        QVERIFY(tree()->x() > grid()->x());
        // The details pane too: the picture on the right, the captions left of it.
        QVERIFY(part("Image1")->x() > part("lblName")->x());
        // The menu bar and every toolbar button stay inside the window.
        auto inside = [this](const QWidget *w, const QRect &r) {
            return m_main->rect().contains(QRect(w->mapTo(m_main.get(), r.topLeft()), r.size()));
        };
        auto *bar = m_main->findChild<QMenuBar *>();
        for (QAction *a : bar->actions())
            QVERIFY2(!a->isVisible() || inside(bar, bar->actionGeometry(a)), qPrintable(a->text()));
        for (const QToolButton *b : toolbar()->findChildren<QToolButton *>())
            QVERIFY2(b->isHidden() || inside(b, b->rect()), qPrintable(b->objectName()));
    }

    void menusToolbarAndClosing()
    {
        ShellOpenForTests::Capture(true);
        QVERIFY(open(0));
        QCOMPARE(grid()->SelectedRow(), 0); // an empty list selects nothing
        // Without a language file the Edit menu is captioned by the access key sign alone.
        QCOMPARE(part<QMenu>("mnuEditTop")->title(), u"&"_s);
        QVERIFY(!part<QMenu>("mnuRC")->menuAction()->isVisible());
        for (const QMenu *menu : m_main->findChildren<QMenu *>())
            for (const QAction *a : menu->actions())
                QVERIFY2(!a->isCheckable() && !a->isChecked(), qPrintable(a->text()));
        // The help entries open the help page shipped with the program.
        for (const QString &entry : {u"&Topics"_s, u"&Support"_s, u"&About"_s})
            chooseMenu("mnuHelpTop", entry);
        QCOMPARE(ShellOpenForTests::Opened(), QStringList(3, ShippedFilePath(u"help/index.html"_s)));
        ShellOpenForTests::Capture(false);
        // The padded Add button shows its whole caption.
        const QToolButton *add = toolbar()->Button(0);
        QVERIFY(add->width() >= add->fontMetrics().horizontalAdvance(add->text()));
        QVERIFY(add->width() > toolbar()->Button(1)->width());
        QVERIFY(SharedDb() && m_main->close());
        QVERIFY(App().AppClosing && !SharedDb() && !frmOptions::Instance());
        // The window's parts are found by the names it gives them.
        QVERIFY(part<cToolbar>("tlbrTop") && part<cToolbar>("tlbrMenu"));
    }

    void largeFillStaysResponsiveAndIsOvertaken()
    {
        const int n = 100000;
        seedMany(n);
        QVERIFY(open(n));
        QCOMPARE(grid()->CellText(n, ColContactID), QString::number(n));
        // The event loop turns between the fill's slices.
        int turnsWhileFilling = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&] { turnsWhileFilling += m_main->IsFilling(); });
        ticker.start(0);
        ClickNode(m_main.get(), u"ALL:*:MAIN"_s);
        ticker.stop();
        QVERIFY2(turnsWhileFilling > 2, qPrintable(QString::number(turnsWhileFilling)));
        QCOMPARE(grid()->Rows(), n);
        // A click in the middle of a fill leaves only the new fill's rows.
        QTRY_VERIFY(tree()->NodeByKey(u"CAT:*:Three"_s));
        QSignalSpy filled(m_main.get(), &frmMain::listFilled);
        m_main->cTreeView1_NodeClick(tree()->NodeByKey(u"ALL:*:MAIN"_s));
        QVERIFY(QTest::qWaitFor([this] { return grid()->Rows() > 0; }) && m_main->IsFilling());
        ClickNode(m_main.get(), u"CAT:*:Three"_s);
        QCOMPARE(grid()->Rows(), n / 10);
        QCOMPARE(ListColumn(m_main.get(), ColCategory).count(u"Three"_s), n / 10);
        QVERIFY(grid()->SelectedRow() == 1 && !filled.isEmpty() && filled.last().first().toBool());
        // Closed while the tree's letters are read again: the walks stop first,
        // and the book is left noted as in line (the next start need not count it).
        m_main->setTree();
        QTest::qWait(40);
        QVERIFY(m_main->close());
        QCOMPARE(QueryText(u"SELECT Value FROM BookState WHERE Name = 'left'"_s),
                 QString::number(FileChangeCounter(AppFilePath(u"/db/db.sqlite"_s))));
    }

    void searchFindsAndMarks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("field");
        QTest::addColumn<QString>("found");  // last names in engine order
        QTest::addColumn<QString>("marked"); // row:column of the marked cells
        QTest::newRow("first name, case folded") << "ÉMILE" << 1 << "Zola" << "1:4|1:8";
        QTest::newRow("accents ignored, the accented value marked") << "emile" << 1 << "Zola" << "1:4|1:8";
        QTest::newRow("accents ignored in all fields") << "EMI" << 0 << "Zola" << "1:4|1:8";
        QTest::newRow("last name, case folded") << "zOLA" << 2 << "Zola" << "1:5";
        QTest::newRow("last name ignores first names") << "cork" << 2 << "" << "";
        QTest::newRow("category") << "writ" << 3 << "Zola" << "1:6";
        QTest::newRow("address") << "paris" << 4 << "Zola" << "";
        QTest::newRow("company") << "presse" << 5 << "Zola" << "";
        QTest::newRow("second phone marks the phone cell") << "555" << 6 << "Zola" << "1:7";
        QTest::newRow("second mail marks the mail cell") << "ob@y" << 7 << "O'Brien" << "1:8";
        QTest::newRow("web sites") << "zola.ex" << 8 << "Zola" << "";
        QTest::newRow("notes, % is a wildcard") << "50%disc" << 9 << "Nolan" << "";
        QTest::newRow("all fields: notes and first names") << "cork" << 0 << "O'Brien|Smith" << "2:4";
        QTest::newRow("all fields: quotes are harmless") << "O'Brien" << 0 << "O'Brien" << "1:5";
        QTest::newRow("all fields: no match") << "nobody" << 0 << "" << "";
    }
    void searchFindsAndMarks()
    {
        QFETCH(QString, text);
        QFETCH(int, field);
        RegistryRoutines reg = OptionsRegistry();
        QVERIFY(EnsureOptionKeys() && SaveAppColor(reg, 0x00FFFF)); // yellow, the colour of the marks
        QVERIFY(openPeople());
        search(text, field);
        QTEST(lastNames(), "found");
        QStringList marked; // in the application colour, on one line
        const GridModel *cells = grid()->Model();
        for (int r = 1; r <= grid()->Rows(); ++r)
            for (int c = ColFirstName; c <= ColFirstMail; ++c)
                if (const QColor colour = cells->cellBackground(r - 1, c - 1); colour.isValid())
                    marked << (colour == Qt::yellow && cells->cellHasFlag(r - 1, c - 1, GridModel::WordEllipsis)
                                   ? u"%1:%2"_s.arg(r).arg(c) : colour.name());
        QTEST(marked.join(u'|'), "marked");
        QVERIFY(grid()->SelectedRow() == 0 && CountContacts() == 4); // a search selects no row of its own
    }

    void searchWithAccentsTakenIntoAccount()
    {
        RegistryRoutines reg = OptionsRegistry();
        QVERIFY(EnsureOptionKeys() && SaveAppColor(reg, 0x00FFFF) && SaveFoldAccents(reg, 0));
        QVERIFY(openPeople());
        search(u"emile"_s, 1);
        QCOMPARE(lastNames(), QString());
        search(u"émile"_s, 1);
        QCOMPARE(lastNames(), u"Zola"_s);
    }

    void searchBarEnterAndATreeClickOvertakingIt()
    {
        QVERIFY(openPeople());
        clickToolbar(u"Search"_s);
        QVERIFY(part("PicSearch")->isVisible() && grid()->Rows() == 0 && title() == u"Search"_s);
        auto *text = part<QLineEdit>("txtSearchFor");
        QVERIFY(text->hasFocus());
        QTest::keyClicks(text, u"smith"_s);
        QTest::keyClick(text, Qt::Key_Return);
        QVERIFY(WaitForList(m_main.get()));
        QCOMPARE(lastNames(), u"Smith"_s);
        // Shown already: the button leaves the results and the list's place alone.
        const QRect place = grid()->geometry();
        clickToolbar(u"Search"_s);
        QVERIFY(WaitForList(m_main.get()) && grid()->Rows() == 1 && grid()->geometry() == place);
        // A search still filling the list is overtaken by a click in the tree.
        seedMany(60000);
        search(u"o"_s, 1, false);
        QVERIFY(QTest::qWaitFor([this] { return grid()->Rows() > 0; }) && m_main->IsFilling());
        ClickNode(m_main.get(), u"CAT:*:Friends"_s);
        QVERIFY(!part("PicSearch")->isVisible() && title() == u"Friends"_s);
        QCOMPARE(lastNames(), u"O'Brien"_s);
    }

    void editorOpensOnTheRightContact_data()
    {
        QTest::addColumn<int>("way");
        QTest::addColumn<QPoint>("cell"); // row and column clicked, if any
        QTest::addColumn<QString>("seen");
        QTest::newRow("Add button") << int(AddButton) << QPoint() << "New contact||new|0|";
        QTest::newRow("Add in the File menu") << int(AddMenu) << QPoint() << "New contact||new|0|";
        QTest::newRow("Edit after the fill: row 1") << int(EditButton) << QPoint() << "Contact|Émile|edit|1|";
        QTest::newRow("Edit, clicked row") << int(EditButton) << QPoint(3, ColCategory) << "Contact|Corky|edit|3|";
        QTest::newRow("double-click") << int(DoubleClick) << QPoint(3, ColCategory) << "Contact|Corky|edit|3|";
        QTest::newRow("double-click, several phones") << int(DoubleClick) << QPoint(1, ColFirstPhone)
                                                      << "Contact|Émile|edit|1|";
    }
    void editorOpensOnTheRightContact()
    {
        QFETCH(int, way);
        QFETCH(QPoint, cell);
        QVERIFY(openPeople());
        if (way == EditButton && !cell.isNull())
            clickCell(cell.x(), cell.y());
        QString seen;
        OnModal<frmCntContact> editor(typeAndPress(seen, u"Changed"_s, "cmdCancel"));
        if (way == AddMenu)
            chooseMenu("mnuFileTop", u"&Add"_s);
        else if (way != DoubleClick)
            clickToolbar(way == AddButton ? u"Add"_s : u"Edit"_s);
        else // through the window, as a user's: on a cell with several items the
             // first click lays the drop-down over it and the second lands there
            QTest::mouseDClick(m_main->windowHandle(), Qt::LeftButton, {},
                               grid()->viewport()->mapTo(m_main.get(), centre(cell)));
        QTRY_VERIFY(editor.ran());
        QVERIFY(editor.strays() == 0 && !items()->isVisible());
        QTEST(seen, "seen");
        // Cancelled: nothing is kept.
        QVERIFY(WaitForList(m_main.get()));
        QCOMPARE(QueryText(u"SELECT group_concat(First_Name) FROM Contacts"_s), u"Émile,Sean,Corky,Anna"_s);
    }

    void editorSavesAndRemoveAsksAndMissesGoneContacts()
    {
        QVERIFY(openPeople());
        // A new contact shows in the list as soon as it is saved.
        QString seen;
        OnModal<frmCntContact> add(typeAndPress(seen, u"Moss"_s, "cmdOK"));
        clickToolbar(u"Add"_s);
        QVERIFY(add.ran() && WaitForList(m_main.get()));
        QCOMPARE(lastNames(), u"Zola|O'Brien|Smith|Nolan|Moss"_s);
        // A contact removed meanwhile: the user is told and no editor opens.
        SharedDb()->exec(u"DELETE FROM Contacts WHERE ContactID = 1"_s);
        MsgBox::QueueAnswers({QMessageBox::Ok});
        OnModal<frmCntContact> none(typeAndPress(seen, QString(), "cmdCancel"), 300);
        clickToolbar(u"Edit"_s);
        QTest::qWait(350);
        QVERIFY(!none.ran() && !QApplication::overrideCursor());
        QCOMPARE(MsgBox::AskedTexts(), QStringList{u"The contact no longer exists in the database."_s});
        // Remove: so is a removal of it; nothing else goes.
        MsgBox::QueueAnswers({QMessageBox::Yes, QMessageBox::Ok});
        clickToolbar(u"Remove"_s);
        QVERIFY(MsgBox::AskedTexts().last().contains(u"no longer exists"_s) && CountContacts() == 4);
        // It asks first.
        clickCell(2, ColFirstName);
        MsgBox::QueueAnswers({QMessageBox::No});
        clickToolbar(u"Remove"_s);
        QVERIFY(MsgBox::AskedTexts().size() == 4 && CountContacts() == 4 && grid()->SelectedRow() == 2);
        MsgBox::QueueAnswers({QMessageBox::Yes});
        clickToolbar(u"Remove"_s);
        QVERIFY(WaitForList(m_main.get()));
        QCOMPARE(lastNames(), u"Smith|Nolan|Moss"_s);
        QVERIFY(CountContacts() == 3 && grid()->SelectedRow() == 1);
        // An empty list asks nothing.
        clickToolbar(u"Search"_s);
        const qsizetype asked = MsgBox::AskedTexts().size();
        clickToolbar(u"Remove"_s);
        QCOMPARE(MsgBox::AskedTexts().size(), asked);
    }

    void engineFailuresAreReported()
    {
        QVERIFY(openPeople());
        // A statement that fails while its rows are read ends the fill, which says why.
        QSignalSpy filled(m_main.get(), &frmMain::listFilled);
        MsgBox::QueueAnswers({QMessageBox::Ok});
        QVERIFY(m_main->FillList(
            {u"SELECT *, CASE WHEN ContactID = 3 THEN abs(-9223372036854775807 - 1) END FROM Contacts"_s, false}));
        QVERIFY(WaitForList(m_main.get()));
        QVERIFY(filled.size() == 1 && !filled.first().first().toBool());
        QVERIFY(MsgBox::AskedTexts().size() == 1 && MsgBox::AskedTexts().first().contains(u"overflow"_s));
        // A search the engine refuses is reported; the window stays.
        SharedDb()->exec(u"ALTER TABLE Contacts RENAME TO Gone"_s);
        MsgBox::QueueAnswers({QMessageBox::Ok});
        search(u"x"_s, 0);
        QVERIFY(MsgBox::AskedTexts().last().contains(u"no such table"_s) && m_main->isVisible());
    }

    // A click over a cell with several items shows them in a drop-down there;
    // arrow keys move through such cells without being caught by it; F4 opens
    // it, and Escape, Left or Right leave it.
    void dropDownOverCellsWithSeveralItems_data()
    {
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("column"); // where the selection ends
        QTest::newRow("Escape") << int(Qt::Key_Escape) << int(ColFirstPhone);
        QTest::newRow("Left") << int(Qt::Key_Left) << int(ColCategory);
        QTest::newRow("Right") << int(Qt::Key_Right) << int(ColFirstMail);
    }
    void dropDownOverCellsWithSeveralItems()
    {
        QFETCH(int, key);
        QVERIFY(openPeople());
        clickCell(1, ColFirstName);
        QCOMPARE(part<QLabel>("lblNameDetails")->text(), u"Émile Zola"_s);
        QVERIFY(!items()->isVisible());
        clickCell(1, ColFirstPhone);
        QVERIFY(items()->isVisible() && items()->hasFocus());
        QCOMPARE(items()->count(), 3);
        QVERIFY(items()->currentText() == u"111"_s && items()->itemText(1) == u"222 555"_s);
        // Laid over its cell.
        const QRect cell = grid()->visualRect(grid()->model()->index(0, ColFirstPhone - 1));
        QVERIFY(items()->geometry().contains(grid()->viewport()->mapTo(items()->parentWidget(), cell.center())));
        QVERIFY(qAbs(items()->width() - cell.width()) <= 2);
        // Losing the focus hides it.
        QTest::keyClick(items(), Qt::Key_Tab);
        QTRY_VERIFY(!items()->isVisible());
        // One mail gets none; two do.
        clickCell(1, ColFirstMail);
        QVERIFY(!items()->isVisible());
        clickCell(2, ColFirstMail);
        QVERIFY(items()->isVisible() && items()->count() == 2);
        clickCell(1, ColCategory);
        QTest::keyClick(grid(), Qt::Key_Right); // onto three phone numbers
        QVERIFY(grid()->SelectedCol() == ColFirstPhone && items()->isVisible() && grid()->hasFocus());
        QTest::keyClick(grid(), Qt::Key_Down); // the row moves, not the drop-down's choice
        QCOMPARE(grid()->SelectedRow(), 2);
        QCOMPARE(part<QLabel>("lblNameDetails")->text(), u"Sean O'Brien"_s);
        QVERIFY(!items()->isVisible()); // one phone number only
        QTest::keyClick(grid(), Qt::Key_Up);
        QVERIFY(items()->isVisible());
        QTest::keyClick(grid(), Qt::Key_F4);
        QTRY_VERIFY(items()->view()->isVisible());
        QTest::keyClick(items()->view(), Qt::Key_Escape);
        QTRY_VERIFY(!items()->view()->isVisible());
        QVERIFY(items()->hasFocus());
        QTest::keyClick(items(), Qt::Key(key));
        QVERIFY(grid()->hasFocus() && !items()->isVisible() && grid()->SelectedRow() == 1);
        QTEST(grid()->SelectedCol(), "column");
    }
};

QTEST_MAIN(tst_frmmain)
#include "tst_frmmain.moc"
