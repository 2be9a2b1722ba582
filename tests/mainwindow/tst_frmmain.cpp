#include "common/TestSupport.h"

#include "app/AppContext.h"
#include "app/MsgBox.h"
#include "controls/cGrid.h"
#include "controls/cToolbar.h"
#include "controls/cTreeView.h"
#include "lang/mdlTrans.h"
#include "mainwindow/frmMain.h"
#include "controls/cMenu.h"
#include "settings/mdlOptions.h"
#include "store/Statements.h"
#include "store/mdlMDB.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QAccessible>
#include <QMenuBar>
#include <QToolButton>
#include <QtTest>

#include <memory>
#include <sqlite3.h>

namespace {

// Inserts n generated contacts straight through the engine, fast.
void seedMany(int n, const std::function<QString(int)> &category)
{
    auto cn = Connection::open(AppFilePath(QStringLiteral("/db/db.sqlite")));
    cn->exec(QStringLiteral("BEGIN"));
    sqlite3_stmt *st = nullptr;
    sqlite3_prepare_v2(cn->handle(),
                       "INSERT INTO Contacts (First_Name, Last_Name, Category, Phones, Mails) VALUES (?,?,?,?,?)", -1,
                       &st, nullptr);
    for (int i = 0; i < n; ++i) {
        const QByteArray first = "First" + QByteArray::number(i);
        const QByteArray last = "Last" + QByteArray::number(i);
        const QByteArray cat = category(i).toUtf8();
        sqlite3_bind_text(st, 1, first.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, last.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 3, cat.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 4, "1:*:\r\n", -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 5, "", -1, SQLITE_STATIC);
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    cn->exec(QStringLiteral("COMMIT"));
}

QStringList childTexts(QTreeWidgetItem *node)
{
    QStringList texts;
    for (int i = 0; i < node->childCount(); ++i)
        texts << node->child(i)->text(0);
    return texts;
}

QTreeWidgetItem *child(QTreeWidgetItem *node, const QString &text)
{
    for (int i = 0; i < node->childCount(); ++i) {
        if (node->child(i)->text(0) == text)
            return node->child(i);
    }
    return nullptr;
}

} // namespace

class tst_frmmain : public QObject
{
    Q_OBJECT

    std::unique_ptr<TempAppFolder> m_folder;
    std::unique_ptr<frmMain> m_main;

    frmMain *open(int expectedRows)
    {
        m_main = OpenMainWindow(expectedRows);
        return m_main.get();
    }

    QStringList column(int col) const { return ListColumn(m_main.get(), col); }

private slots:
    void init() { m_folder = std::make_unique<TempAppFolder>(); }
    void cleanup()
    {
        m_main.reset();
        m_folder.reset();
    }

    void loadShowsAllContactsInEngineOrder()
    {
        SeedContacts({{{"First_Name", "Anna"}, {"Last_Name", "Zeller"}, {"Category", "Work"},
                       {"Phones", "111:*:home\r\n222:*:\r\n"}, {"Mails", "a@x.org:*:\r\n"}},
                      {{"First_Name", "Bert"}, {"Last_Name", "Adams"}, {"Phones", ""}, {"Mails", ""}},
                      {{"First_Name", "Cleo"}, {"Last_Name", "Maier"}, {"Phones", "x\r\n9:*:d\r\n"}, {"Mails", ""}}});
        frmMain *w = open(3);
        QVERIFY(w);
        QCOMPARE(w->windowTitle(), QStringLiteral("Ardentia 1.0"));
        QCOMPARE(w->TitleLabel()->text(), QStringLiteral("All"));
        QCOMPARE(w->Tree()->SelectedNode(), w->NodeAll());
        QCOMPARE(w->Grid()->SelectedRow(), 1);
        QCOMPARE(column(frmMain::ColContactID), QStringList({"1", "2", "3"}));
        QCOMPARE(column(frmMain::ColFirstName), QStringList({"Anna", "Bert", "Cleo"}));
        QCOMPARE(column(frmMain::ColLastName), QStringList({"Zeller", "Adams", "Maier"}));
        QCOMPARE(column(frmMain::ColCategory), QStringList({"Work", "", ""}));
        // The first item is the text before the first separator of the whole text.
        QCOMPARE(column(frmMain::ColFirstPhone), QStringList({"111", "", "x\r\n9"}));
        QCOMPARE(column(frmMain::ColPhones).at(0), QStringLiteral("111:*:home\r\n222:*:\r\n"));
        QCOMPARE(column(frmMain::ColFirstMail), QStringList({"a@x.org", "", ""}));
        QCOMPARE(column(frmMain::ColMails).at(0), QStringLiteral("a@x.org:*:\r\n"));
    }

    void listColumnsByPosition()
    {
        frmMain *w = open(0);
        QVERIFY(w);
        cGrid *g = w->Grid();
        QCOMPARE(g->Columns(), 12);
        const QStringList headers = {"", "", "", "First Name", "Last Name", "Category", "Phones", "Mails",
                                     "", "", "", ""};
        const QList<int> widths = {24, 24, 24, 100, 100, 80, 120, 60};
        for (int c = 0; c < 12; ++c) {
            QCOMPARE(g->model()->headerData(c, Qt::Horizontal).toString(), headers.at(c));
            QCOMPARE(g->isColumnHidden(c), c >= 8);
            if (c < 8)
                QCOMPARE(g->columnWidth(c), widths.at(c));
        }
        QCOMPARE(g->Model()->column(9).key, QStringLiteral("13"));
        QVERIFY(g->GridLines());
        // An empty result selects nothing.
        QCOMPARE(g->SelectedRow(), 0);
    }

    void emptyDatabaseShowsTheFixedNodes()
    {
        frmMain *w = open(0);
        QVERIFY(w);
        QCOMPARE(w->Tree()->topLevelItemCount(), 1);
        QCOMPARE(w->NodeRoot()->text(0), QStringLiteral("Contacts"));
        QCOMPARE(childTexts(w->NodeRoot()), QStringList({"All", "ABC", "Categories", "Recycle"}));
        QCOMPARE(w->NodeABC()->childCount(), 0);
        QCOMPARE(w->NodeCategories()->childCount(), 0);
        QVERIFY(w->NodeRoot()->isExpanded());
        QCOMPARE(cTreeView::NodeKey(w->NodeRecycle()), QStringLiteral("RECYCLE:*:MAIN"));
    }

    void lettersAndCategories()
    {
        SeedContacts({{{"Last_Name", "adams"}, {"Category", "Work"}},
                      {{"Last_Name", "Adams"}, {"Category", ""}},
                      {{"Last_Name", ""}, {"Category", "Work"}},
                      {{"First_Name", "Only first"}},
                      {{"Last_Name", "O'Brien"}, {"Category", "'; DROP TABLE Contacts; --"}},
                      {{"Last_Name", "Émile"}, {"Category", "a:*:b"}},
                      {{"Last_Name", "\U0001F600 smile"}},
                      {{"Last_Name", "_Under"}},
                      {{"Last_Name", "%Per"}}});
        frmMain *w = open(9);
        QVERIFY(w);
        QStringList letters = childTexts(w->NodeABC());
        // Upper and lower case are two letters; empty and null names add none.
        QCOMPARE(QSet<QString>(letters.begin(), letters.end()),
                 QSet<QString>({"a", "A", "O", "É", QString::fromUtf8("\U0001F600"), "_", "%"}));
        // A letter that is a wildcard elsewhere stands for itself here.
        w->cTreeView1_NodeClick(child(w->NodeABC(), "_"));
        QCOMPARE(column(frmMain::ColLastName), QStringList({"_Under"}));
        w->cTreeView1_NodeClick(child(w->NodeABC(), "%"));
        QCOMPARE(column(frmMain::ColLastName), QStringList({"%Per"}));
        QVERIFY(w->Tree()->NodeByKey(QStringLiteral("ABC:*:a")));
        QVERIFY(w->Tree()->NodeByKey(QStringLiteral("ABC:*:A")));
        QStringList cats = childTexts(w->NodeCategories());
        QCOMPARE(cats, QStringList({"'; DROP TABLE Contacts; --", "a:*:b", "Work"}));

        // A category with a quote selects its rows and breaks nothing.
        w->cTreeView1_NodeClick(child(w->NodeCategories(), "'; DROP TABLE Contacts; --"));
        QCOMPARE(w->Grid()->Rows(), 1);
        QCOMPARE(w->Grid()->CellText(1, frmMain::ColLastName), QStringLiteral("O'Brien"));
        QCOMPARE(CountContacts(), 9);
        // A category holding ":*:" selects by the whole text after the first separator.
        w->cTreeView1_NodeClick(child(w->NodeCategories(), "a:*:b"));
        QCOMPARE(w->TitleLabel()->text(), QStringLiteral("a:*:b"));
        QCOMPARE(column(frmMain::ColLastName), QStringList({"Émile"}));
        // A letter: names beginning with it in either case.
        w->cTreeView1_NodeClick(child(w->NodeABC(), "a"));
        QCOMPARE(column(frmMain::ColLastName), QStringList({"adams", "Adams"}));
        w->cTreeView1_NodeClick(child(w->NodeABC(), "O"));
        QCOMPARE(column(frmMain::ColLastName), QStringList({"O'Brien"}));
        QCOMPARE(w->Grid()->SelectedRow(), 1);
    }

    void nodesWithoutAStatementKeepTheList_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("title");
        QTest::newRow("recycle") << "RECYCLE:*:MAIN" << "Recycle";
        QTest::newRow("root") << "CONTACTS:*:MAIN" << "Contacts";
        QTest::newRow("abc") << "ABC:*:MAIN" << "ABC";
        QTest::newRow("categories") << "CAT:*:MAIN" << "Categories";
    }
    void nodesWithoutAStatementKeepTheList()
    {
        QFETCH(QString, key);
        QFETCH(QString, title);
        SeedContacts({{{"Last_Name", "Adams"}, {"Category", "Work"}}, {{"Last_Name", "Brown"}}});
        frmMain *w = open(2);
        QVERIFY(w);
        w->tlbrTop_ButtonClick(4); // the search bar, which empties the list
        QVERIFY(w->SearchBarShown());
        w->cTreeView1_NodeClick(w->Tree()->NodeByKey(QStringLiteral("ALL:*:MAIN")));
        QVERIFY(!w->SearchBarShown());
        w->tlbrTop_ButtonClick(4);
        w->cTreeView1_NodeClick(w->Tree()->NodeByKey(key));
        QCOMPARE(w->TitleLabel()->text(), title);
        QVERIFY(!w->SearchBarShown());
        QVERIFY(!w->findChild<QWidget *>("PicSearch")->isVisible());
        // The list stays as the search bar left it: empty.
        QCOMPARE(w->Grid()->Rows(), 0);
        QCOMPARE(w->Tree()->SelectedNode(), w->Tree()->NodeByKey(key));
    }

    void detailsPane()
    {
        const QString picture = m_folder->file("face.png");
        QImage image(40, 20, QImage::Format_RGB32);
        image.fill(Qt::blue);
        QVERIFY(image.save(picture));
        const QString notAnImage = m_folder->file("broken.jpg");
        QFile bad(notAnImage);
        QVERIFY(bad.open(QIODevice::WriteOnly));
        bad.write("not a picture at all");
        bad.close();
        SeedContacts({{{"First_Name", "Anna"}, {"Last_Name", "Zeller"}, {"Category", "Work"}, {"Company", "Acme"},
                       {"Address", "1 Main St"}, {"Phones", "111:*:home\r\n222:*:work\r\n333:*:\r\n"},
                       {"Date_Registed", "2026-03-04 00:00:00"}, {"Picture", picture}},
                      {{"Last_Name", "Solo"}, {"Phones", ""}, {"Picture", ""}},
                      {{"First_Name", "Bad"}, {"Picture", notAnImage}},
                      {{"First_Name", "Gone"}, {"Picture", m_folder->file("gone.png")}}});
        frmMain *w = open(4);
        QVERIFY(w);
        auto *name = w->findChild<QLabel *>("lblNameDetails");
        auto *phones = w->findChild<QListWidget *>("lstPhoneNumbers");
        auto *image1 = w->findChild<QLabel *>("Image1");
        QVERIFY(name && phones && image1);
        QCOMPARE(name->text(), QString()); // empty until a row is clicked

        w->ShowContactDetails(QStringLiteral("1"));
        QCOMPARE(name->text(), QStringLiteral("Anna Zeller"));
        QCOMPARE(w->findChild<QLabel *>("lblCategoryDetails")->text(), QStringLiteral("Work"));
        QCOMPARE(w->findChild<QLabel *>("lblCompanyDetails")->text(), QStringLiteral("Acme"));
        QCOMPARE(w->findChild<QLabel *>("lblAddressDetails")->text(), QStringLiteral("1 Main St"));
        QVERIFY(!w->findChild<QLabel *>("lblListedDetails")->text().isEmpty());
        QCOMPARE(phones->count(), 3);
        QCOMPARE(phones->item(2)->text(), QStringLiteral("333"));
        QCOMPARE(phones->currentRow(), 0);
        QVERIFY(!image1->pixmap().isNull());
        // Fitted keeping its proportions.
        QVERIFY(qAbs(image1->pixmap().width() - 2 * image1->pixmap().height()) <= 2);
        // A screen reader hears the value, labelled by its caption.
        QAccessibleInterface *nameIface = QAccessible::queryAccessibleInterface(name);
        QCOMPARE(nameIface->text(QAccessible::Name), QStringLiteral("Anna Zeller"));
        const auto labels = nameIface->relations(QAccessible::Label);
        QVERIFY(!labels.isEmpty());
        QCOMPARE(labels.first().first->text(QAccessible::Name), QStringLiteral("Name:"));

        // A picture whose file is gone shows no one's face.
        w->ShowContactDetails(QStringLiteral("4"));
        QVERIFY(image1->pixmap().isNull());
        w->ShowContactDetails(QStringLiteral("1"));

        // A last name only shows a leading blank; no picture and no phones clear both.
        w->ShowContactDetails(QStringLiteral("2"));
        QCOMPARE(name->text(), QStringLiteral(" Solo"));
        QCOMPARE(phones->count(), 0);
        QCOMPARE(phones->currentRow(), -1);
        QVERIFY(image1->pixmap().isNull());

        // A file that is not an image shows nothing and asks nothing.
        w->ShowContactDetails(QStringLiteral("3"));
        QVERIFY(image1->pixmap().isNull());
        QVERIFY(MsgBox::AskedTexts().isEmpty());

        // A contact removed meanwhile clears the pane.
        w->ShowContactDetails(QStringLiteral("1"));
        {
            Recordset rs(*SharedDb());
            rs.open(Statements::ContactById(1));
            rs.deleteCurrent();
        }
        w->ShowContactDetails(QStringLiteral("1"));
        QCOMPARE(name->text(), QString());
        QCOMPARE(phones->count(), 0);
    }

    void builtInLookWhenNothingIsStored()
    {
        frmMain *w = open(0);
        QVERIFY(w);
        QCOMPARE(w->TitleStrip()->palette().color(QPalette::Window), QColor(255, 0, 0));
        QCOMPARE(w->TitleLabel()->palette().color(QPalette::WindowText), QColor(255, 255, 255));
        QVERIFY(w->Grid()->GridLines());
        QVERIFY(!w->Grid()->HotTrack());
        // First run creates the two option keys, so that options can be kept.
        RegistryRoutines reg = OptionsRegistry();
        reg.setSubkey(QStringLiteral("Options"));
        QVERIFY(reg.KeyExists());
        reg.setSubkey(QStringLiteral("Display"));
        QVERIFY(reg.KeyExists());
    }

    void storedOptionsApplyFromTheStart()
    {
        QVERIFY(EnsureOptionKeys());
        RegistryRoutines reg = OptionsRegistry();
        QVERIFY(SaveSortByFirstName(reg, true));
        QVERIFY(SaveViewGrid(reg, 0));
        QVERIFY(SaveHoTrack(reg, 1));
        QVERIFY(SaveAppColor(reg, 0xFF0000));
        QVERIFY(SaveTextColor(reg, 0));
        SeedContacts({{{"First_Name", "zed"}, {"Last_Name", "Adams"}},
                      {{"First_Name", "Zora"}, {"Last_Name", "Brown"}},
                      {{"First_Name", "Ann"}, {"Last_Name", "Zander"}}});
        frmMain *w = open(3);
        QVERIFY(w);
        // Letters of first names from the very first display.
        const QStringList letters = childTexts(w->NodeABC());
        QCOMPARE(QSet<QString>(letters.begin(), letters.end()), QSet<QString>({"z", "Z", "A"}));
        w->cTreeView1_NodeClick(child(w->NodeABC(), "z"));
        QCOMPARE(column(frmMain::ColFirstName), QStringList({"zed", "Zora"}));
        QCOMPARE(w->TitleStrip()->palette().color(QPalette::Window), QColor(0, 0, 255));
        QCOMPARE(w->TitleLabel()->palette().color(QPalette::WindowText), QColor(0, 0, 0));
        QVERIFY(!w->Grid()->GridLines());
        QVERIFY(w->Grid()->HotTrack());
    }

    void rightToLeftWhenTheLanguageFileAsks()
    {
        QDir().mkpath(m_folder->file("trans"));
        QFile file(m_folder->file("trans/eng.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int line = 1; line <= 1000; ++line)
            file.write(line == 10 ? "RTL\r\n" : line == 252 ? "Tahrir\r\n" : "\r\n");
        file.close();
        frmMain *w = open(0);
        QVERIFY(w);
        QCOMPARE(w->layoutDirection(), Qt::RightToLeft);
        QCOMPARE(w->Menu()->ItemAt(4).caption, QStringLiteral("&Tahrir"));
        // The tree, placed at the left edge in reading order, now sits at the right.
        QVERIFY(w->Tree()->x() > w->Grid()->x());
        // The menu and every toolbar button stay inside the window.
        const QRect inside = w->rect();
        auto *menuBar = w->findChild<QMenuBar *>();
        for (QAction *a : menuBar->actions()) {
            const QRect r = menuBar->actionGeometry(a);
            if (a->isVisible())
                QVERIFY2(inside.contains(QRect(menuBar->mapTo(w, r.topLeft()), r.size())), qPrintable(a->text()));
        }
        for (int i = 0; i < w->Toolbar()->ButtonCount(); ++i) {
            if (QWidget *b = w->Toolbar()->Button(i))
                QVERIFY2(inside.contains(QRect(b->mapTo(w, QPoint(0, 0)), b->size())), qPrintable(b->objectName()));
        }
        // The details pane is mirrored too: its picture on the right, the captions left of it.
        QVERIFY(w->findChild<QWidget *>("Image1")->x() > w->findChild<QWidget *>("lblName")->x());
        mdlTrans::ResetLanguage();
    }

    void accessibleNamesAndUnload()
    {
        frmMain *w = open(0);
        QVERIFY(w);
        QCOMPARE(w->Tree()->accessibleName(), QStringLiteral("Navigation"));
        QCOMPARE(w->Grid()->accessibleName(), QStringLiteral("Contacts"));
        QCOMPARE(w->findChild<QWidget *>("txtSearchFor")->accessibleName(), QStringLiteral("Serach for"));
        QCOMPARE(w->findChild<QWidget *>("cboSearchIn")->accessibleName(), QStringLiteral("In"));
        QCOMPARE(w->findChild<QWidget *>("lstPhoneNumbers")->accessibleName(), QStringLiteral("Phone numbers"));
        // Without a language file the Edit menu's caption is the access key sign alone.
        QCOMPARE(w->Menu()->Action(w->Menu()->IndexForKey(QStringLiteral("mnuEditTop")))->text(), QStringLiteral("&"));
        QVERIFY(SharedDb());
        w->close();
        QVERIFY(App().AppClosing);
        QVERIFY(!SharedDb());
    }

    void itemListsFillListsAndDropDowns()
    {
        QListWidget list;
        QComboBox combo;
        frmMain::FillListItems(&list, QStringLiteral("\r\n\r\na:*:x\r\n\r\nb:*:y\r\nc"));
        frmMain::FillCboEditor(&combo, QStringLiteral("a:*:x\r\nb:*:y\r\n"));
        QCOMPARE(list.count(), 3);
        QCOMPARE(list.item(2)->text(), QStringLiteral("c"));
        QCOMPARE(list.currentRow(), 0);
        QCOMPARE(combo.count(), 2);
        QCOMPARE(combo.currentText(), QStringLiteral("a"));
        frmMain::FillCboEditor(&combo, QString());
        QCOMPARE(combo.count(), 0);
    }

    void largeFillStaysResponsiveAndIsOvertaken()
    {
        const int n = 100000;
        seedMany(n, [](int i) { return i % 10 == 3 ? QStringLiteral("Three") : QStringLiteral("Other"); });
        frmMain *w = open(n);
        QVERIFY(w);
        QCOMPARE(w->Grid()->CellText(n, frmMain::ColContactID), QString::number(n));

        // Input is answered while a fill runs: a timer keeps firing.
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(1);
        QVERIFY(w->FillList(Statements::AllContacts()));
        ticker.stop();
        QVERIFY2(ticks > 0, "the window answered nothing during the fill");
        QCOMPARE(w->Grid()->Rows(), n);

        // A second fill started in the middle of the first leaves only its own rows.
        bool started = false;
        QTimer::singleShot(0, w, [&] {
            started = w->IsFilling();
            w->FillList(Statements::ContactsInCategory(QStringLiteral("Three")));
        });
        const bool first = w->FillList(Statements::AllContacts());
        QVERIFY(started);
        QVERIFY(!first);
        QVERIFY(!w->IsFilling());
        QCOMPARE(w->Grid()->Rows(), n / 10);
        const QStringList cats = column(frmMain::ColCategory);
        QCOMPARE(cats.count(QStringLiteral("Three")), n / 10);
        QCOMPARE(w->Grid()->SelectedRow(), 1);
    }
};

QTEST_MAIN(tst_frmmain)
#include "tst_frmmain.moc"
