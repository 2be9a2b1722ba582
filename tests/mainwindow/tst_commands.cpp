#include "common/TestSupport.h"

#include "app/AppContext.h"
#include "app/MsgBox.h"
#include "app/mdlFunctions.h"
#include "controls/cGrid.h"
#include "controls/cMenu.h"
#include "controls/cToolbar.h"
#include "controls/cTreeView.h"
#include "editor/EditorTestSupport.h"
#include "editor/frmCntContact.h"
#include "mainwindow/frmMain.h"
#include "settings/mdlOptions.h"
#include "store/Statements.h"
#include "store/mdlMDB.h"

#include <QAction>
#include <QToolButton>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <memory>

// The main window's commands, its grid interaction and its search.
class tst_commands : public QObject
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

    bool marked(int row, int col) const { return m_main->Grid()->Model()->cellBackground(row - 1, col - 1).isValid(); }

    void search(const QString &text, int choice)
    {
        if (!m_main->SearchBarShown())
            m_main->tlbrTop_ButtonClick(4);
        m_main->findChild<QLineEdit *>("txtSearchFor")->setText(text);
        m_main->findChild<QComboBox *>("cboSearchIn")->setCurrentIndex(choice);
        m_main->RunSearch();
    }

    static QList<ContactRow> people()
    {
        return {{{"First_Name", "Émile"}, {"Last_Name", "Zola"}, {"Category", "Writers"},
                 {"Phones", "111:*:home\r\n222 555:*:work\r\n333:*:\r\n"}, {"Mails", "emile@x.org:*:\r\n"},
                 {"Websites", "zola.example:*:\r\n"}, {"Notes", ""}},
                {{"First_Name", "Sean"}, {"Last_Name", "O'Brien"}, {"Category", "Friends"},
                 {"Phones", "444:*:\r\n"}, {"Mails", "sean@x.org:*:\r\nob@y.org:*:\r\n"}, {"Notes", "met in Cork"}},
                {{"First_Name", "Corky"}, {"Last_Name", "Smith"}, {"Phones", ""}, {"Mails", ""}},
                {{"First_Name", "Anna"}, {"Last_Name", "Nolan"}, {"Category", ""}, {"Phones", ""}, {"Mails", ""},
                 {"Notes", "50% discount"}}};
    }

private slots:
    void init()
    {
        m_folder = std::make_unique<TempAppFolder>();
        ShellOpenForTests::Capture(true);
    }
    void cleanup()
    {
        m_main.reset();
        m_folder.reset();
        ShellOpenForTests::Capture(false);
    }

    void toolbarAndMenus()
    {
        m_folder->installLanguageFile();
        frmMain *w = open(0);
        QVERIFY(w);
        cToolbar *bar = w->Toolbar();
        QCOMPARE(bar->ButtonCount(), 8);
        QCOMPARE(bar->actions().at(0)->text(), QStringLiteral("       Add       "));
        QVERIFY(bar->actions().at(3)->isSeparator());
        QVERIFY(bar->actions().at(6)->isSeparator());
        QCOMPARE(bar->actions().at(7)->text(), QStringLiteral("Options"));
        // The padded caption shows whole: Add is wider than Edit by its blanks.
        const QString padded = bar->actions().at(0)->text();
        QVERIFY(bar->Button(0)->width() >= bar->Button(0)->fontMetrics().horizontalAdvance(padded));
        QVERIFY(bar->Button(0)->width() > bar->Button(1)->width());
        cMenu *menu = w->Menu();
        QCOMPARE(menu->Count(), 13);
        QCOMPARE(menu->ItemAt(4).caption, QStringLiteral("&Edit")); // from the shipped language file
        QVERIFY(!menu->Action(menu->IndexForKey(QStringLiteral("mnuRC")))->isVisible());
        // Topics, Support and About all open the help page beside the program.
        for (const char *key : {"HelpTopic", "Support", "About"})
            menu->Action(menu->IndexForKey(QLatin1String(key)))->trigger();
        const QString page = ShippedFilePath(QStringLiteral("help/index.html"));
        QCOMPARE(ShellOpenForTests::Opened(), QStringList({page, page, page}));
    }

    void searchBarShowsOnceAndEmptiesTheList()
    {
        SeedContacts(people());
        frmMain *w = open(4);
        QVERIFY(w);
        w->tlbrTop_ButtonClick(4);
        QVERIFY(w->SearchBarShown());
        QCOMPARE(w->TitleLabel()->text(), QStringLiteral("Search"));
        QCOMPARE(w->Grid()->Rows(), 0);
        const double gridTop = w->LayoutState().grid.top;
        search(QStringLiteral("o"), 0);
        QVERIFY(w->Grid()->Rows() > 0);
        w->tlbrTop_ButtonClick(4); // already shown: nothing happens
        QVERIFY(w->Grid()->Rows() > 0);
        QCOMPARE(w->LayoutState().grid.top, gridTop);
        QCOMPARE(w->TitleLabel()->text(), QStringLiteral("Search"));
    }

    void searchFindsAndMarks_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("choice");
        QTest::addColumn<QStringList>("found");   // last names, in engine order
        QTest::addColumn<QStringList>("markedCells"); // "row:col"
        QTest::newRow("web sites searches Websites") << "zola.ex" << 8 << QStringList{"Zola"} << QStringList{};
        QTest::newRow("notes alone find, nothing marked") << "cork" << 0 << QStringList{"O'Brien", "Smith"}
                                                          << QStringList{"2:4"};
        QTest::newRow("last name ignores first names") << "cork" << 2 << QStringList{} << QStringList{};
        QTest::newRow("other letter case finds and marks") << "ZOLA" << 2 << QStringList{"Zola"}
                                                           << QStringList{"1:5"};
        QTest::newRow("second phone marks the phone cell") << "555" << 6 << QStringList{"Zola"}
                                                           << QStringList{"1:7"};
        QTest::newRow("no match") << "nobody" << 0 << QStringList{} << QStringList{};
        QTest::newRow("quotes are harmless") << "O'Brien" << 0 << QStringList{"O'Brien"} << QStringList{"1:5"};
        QTest::newRow("accented letters fold") << "émile" << 1 << QStringList{"Zola"} << QStringList{"1:4"};
        QTest::newRow("percent is a wildcard") << "50%" << 9 << QStringList{"Nolan"} << QStringList{};
        QTest::newRow("second mail marks the mail cell") << "ob@y" << 7 << QStringList{"O'Brien"}
                                                         << QStringList{"1:8"};
    }
    void searchFindsAndMarks()
    {
        QFETCH(QString, text);
        QFETCH(int, choice);
        QFETCH(QStringList, found);
        QFETCH(QStringList, markedCells);
        SeedContacts(people());
        frmMain *w = open(4);
        QVERIFY(w);
        search(text, choice);
        QCOMPARE(column(frmMain::ColLastName), found);
        QStringList actual;
        for (int r = 1; r <= w->Grid()->Rows(); ++r)
            for (int c = frmMain::ColFirstName; c <= frmMain::ColFirstMail; ++c)
                if (marked(r, c))
                    actual << QStringLiteral("%1:%2").arg(r).arg(c);
        QCOMPARE(actual, markedCells);
        // A search selects no row of its own.
        QCOMPARE(w->Grid()->SelectedRow(), 0);
        QCOMPARE(CountContacts(), 4);
    }

    void emptySearchMatchesEveryValue()
    {
        SeedContacts(people());
        SeedContacts({{{"First_Name", "Null"}}}); // every searched column but one is null
        frmMain *w = open(5);
        QVERIFY(w);
        search(QString(), 3); // Category: empty values match, nulls do not
        QCOMPARE(column(frmMain::ColLastName), QStringList({"Zola", "O'Brien", "Nolan"}));
        QVERIFY(marked(1, frmMain::ColCategory));
        QVERIFY(!marked(3, frmMain::ColCategory)); // an empty value is never marked
        QVERIFY(marked(1, frmMain::ColFirstName));
        QVERIFY(marked(1, frmMain::ColFirstMail));
    }

    void highlightUsesTheApplicationColour()
    {
        QVERIFY(EnsureOptionKeys());
        RegistryRoutines reg = OptionsRegistry();
        QVERIFY(SaveAppColor(reg, 0x00FFFF)); // yellow
        SeedContacts(people());
        frmMain *w = open(4);
        QVERIFY(w);
        search(QStringLiteral("zola"), 2);
        QCOMPARE(w->Grid()->Model()->cellBackground(0, frmMain::ColLastName - 1), QColor(255, 255, 0));
        QVERIFY(w->Grid()->Model()->cellHasFlag(0, frmMain::ColLastName - 1, GridModel::WordEllipsis));
    }

    void enterInTheSearchTextRunsTheSearch()
    {
        SeedContacts(people());
        frmMain *w = open(4);
        QVERIFY(w);
        w->tlbrTop_ButtonClick(4);
        auto *text = w->findChild<QLineEdit *>("txtSearchFor");
        text->setText(QStringLiteral("smith"));
        QTest::keyClick(text, Qt::Key_Return);
        QCOMPARE(column(frmMain::ColLastName), QStringList({"Smith"}));
    }

    void searchOvertakenByATreeClick()
    {
        SeedContacts(people());
        frmMain *w = open(4);
        QVERIFY(w);
        w->tlbrTop_ButtonClick(4);
        // During the search's fill the user clicks a category.
        QTimer::singleShot(0, w, [w] {
            w->cTreeView1_NodeClick(w->Tree()->NodeByKey(QStringLiteral("CAT:*:Friends")));
        });
        QList<ContactRow> many;
        for (int i = 0; i < 30000; ++i)
            many.append({{"First_Name", QStringLiteral("o%1").arg(i)}});
        SeedContacts(many);
        search(QStringLiteral("o"), 1);
        QVERIFY(!w->SearchBarShown());
        QCOMPARE(w->TitleLabel()->text(), QStringLiteral("Friends"));
        QCOMPARE(column(frmMain::ColLastName), QStringList({"O'Brien"}));
    }

    void addAndEditOpenTheEditor()
    {
        SeedContacts(people());
        frmMain *w = open(4);
        QVERIFY(w);
        struct Seen
        {
            QString caption;
            bool edit = false;
            qint64 id = 0;
        };
        auto look = [](Seen &seen) {
            return [&seen](frmCntContact *d) {
                seen = {d->windowTitle(), d->g_bEdit, d->g_lContactID};
                d->cmdCancel_Click();
            };
        };
        for (int trigger = 0; trigger < 2; ++trigger) {
            Seen seen;
            OnModal<frmCntContact> answer(look(seen));
            if (trigger == 0)
                w->tlbrTop_ButtonClick(0);
            else
                w->Menu()->Action(w->Menu()->IndexForKey(QStringLiteral("Add")))->trigger();
            QVERIFY(answer.ran());
            QCOMPARE(seen.caption, QStringLiteral("New contact"));
            QVERIFY(!seen.edit);
        }
        // Edit right after a fill edits row 1.
        Seen seen;
        {
            OnModal<frmCntContact> answer(look(seen));
            w->tlbrTop_ButtonClick(1);
            QVERIFY(answer.ran());
        }
        QVERIFY(seen.edit);
        QCOMPARE(seen.id, 1);
        QCOMPARE(seen.caption, QStringLiteral("Contact"));
        // A double-click opens the row it was made on, whichever column.
        {
            OnModal<frmCntContact> answer(look(seen));
            w->cGrid1_DblClick(3, frmMain::ColCategory);
            QVERIFY(answer.ran());
        }
        QCOMPARE(seen.id, 3);
        QCOMPARE(CountContacts(), 4);
    }

    void editOnAnEmptyListDoesNothing()
    {
        frmMain *w = open(0);
        QVERIFY(w);
        OnModal<frmCntContact> answer([](frmCntContact *d) { d->cmdCancel_Click(); }, 300);
        w->tlbrTop_ButtonClick(1);
        w->cGrid1_DblClick(1, 4);
        QTest::qWait(400);
        QVERIFY(!answer.ran());
    }

    void removeAsksFirst()
    {
        SeedContacts(people());
        frmMain *w = open(4);
        QVERIFY(w);
        w->Grid()->SetSelectedRow(2);
        MsgBox::QueueAnswers({QMessageBox::No});
        w->tlbrTop_ButtonClick(2);
        QCOMPARE(MsgBox::AskedTexts().last(),
                 QStringLiteral("Are you sure you want to remove the selected record from the database?"));
        QCOMPARE(CountContacts(), 4);
        QCOMPARE(w->Grid()->SelectedRow(), 2); // nothing refilled

        MsgBox::QueueAnswers({QMessageBox::Yes});
        w->tlbrTop_ButtonClick(2);
        QCOMPARE(CountContacts(), 3);
        QCOMPARE(column(frmMain::ColLastName), QStringList({"Zola", "Smith", "Nolan"}));
        QCOMPARE(w->Grid()->SelectedRow(), 1);

        // An empty list: nothing asked.
        w->tlbrTop_ButtonClick(4);
        const int asked = int(MsgBox::AskedTexts().size());
        w->tlbrTop_ButtonClick(2);
        QCOMPARE(int(MsgBox::AskedTexts().size()), asked);
    }

    void removingAContactAlreadyGoneIsReported()
    {
        SeedContacts(people());
        frmMain *w = open(4);
        QVERIFY(w);
        {
            Recordset rs(*SharedDb());
            rs.open(Statements::ContactById(1));
            rs.deleteCurrent();
        }
        w->Grid()->SetSelectedRow(1);
        MsgBox::QueueAnswers({QMessageBox::Yes, QMessageBox::Ok});
        w->tlbrTop_ButtonClick(2);
        QVERIFY(MsgBox::AskedTexts().last().contains(QStringLiteral("no longer exists")));
        QCOMPARE(CountContacts(), 3);
    }

    void engineFailureDuringASearchIsReported()
    {
        SeedContacts(people());
        frmMain *w = open(4);
        QVERIFY(w);
        SharedDb()->exec(QStringLiteral("ALTER TABLE Contacts RENAME TO Gone"));
        MsgBox::QueueAnswers({QMessageBox::Ok});
        search(QStringLiteral("x"), 0);
        QVERIFY(MsgBox::AskedTexts().last().contains(QStringLiteral("no such table")));
        QVERIFY(w->isVisible());
    }

    void clickShowsDetailsAndDropDowns()
    {
        SeedContacts(people());
        frmMain *w = open(4);
        QVERIFY(w);
        cGrid *g = w->Grid();
        auto *editor = w->findChild<QComboBox *>("cboEditor");
        auto *name = w->findChild<QLabel *>("lblNameDetails");
        auto clickCell = [&](int row, int col) {
            const QRect r = g->visualRect(g->model()->index(row - 1, col - 1));
            QTest::mouseClick(g->viewport(), Qt::LeftButton, {}, r.center());
        };
        // The name cell only shows the details.
        clickCell(1, frmMain::ColFirstName);
        QCOMPARE(name->text(), QStringLiteral("Émile Zola"));
        QVERIFY(!editor->isVisible());
        // The phone cell of a contact with three numbers lays the drop-down over it.
        clickCell(1, frmMain::ColFirstPhone);
        QVERIFY(editor->isVisible());
        QCOMPARE(editor->count(), 3);
        QCOMPARE(editor->currentText(), QStringLiteral("111"));
        QCOMPARE(editor->itemText(1), QStringLiteral("222 555"));
        const QRect cell = g->visualRect(g->model()->index(0, frmMain::ColFirstPhone - 1));
        const QPoint cellInWindow = g->viewport()->mapTo(editor->parentWidget(), cell.topLeft());
        QVERIFY(qAbs(editor->x() - (cellInWindow.x() - 1)) <= 2);
        QVERIFY(qAbs(editor->width() - cell.width()) <= 2);
        // Losing the focus hides it.
        w->findChild<QWidget *>("cTreeView1")->setFocus();
        QTRY_VERIFY(!editor->isVisible());
        // A single mail gets no drop-down; two do.
        clickCell(1, frmMain::ColFirstMail);
        QVERIFY(!editor->isVisible());
        clickCell(2, frmMain::ColFirstMail);
        QVERIFY(editor->isVisible());
        QCOMPARE(editor->count(), 2);
        // Moving with the keyboard updates the details too.
        g->setFocus();
        QTest::keyClick(g, Qt::Key_Down);
        QCOMPARE(g->SelectedRow(), 3);
        QCOMPARE(name->text(), QStringLiteral("Corky Smith"));
    }

    // The first click of a double-click lays the drop-down over a cell with
    // several items; the second lands on it and must still open the contact.
    void doubleClickOnACellWithSeveralItems()
    {
        SeedContacts(people());
        frmMain *w = open(4);
        QVERIFY(w);
        cGrid *g = w->Grid();
        qint64 opened = 0;
        OnModal<frmCntContact> answer([&opened](frmCntContact *d) {
            opened = d->g_lContactID;
            d->cmdCancel_Click();
        });
        const QRect cell = g->visualRect(g->model()->index(0, frmMain::ColFirstPhone - 1));
        QTest::mouseDClick(w->windowHandle(), Qt::LeftButton, {}, g->viewport()->mapTo(w, cell.center()));
        QTRY_VERIFY(answer.ran());
        QCOMPARE(opened, 1);
        QVERIFY(!w->findChild<QComboBox *>("cboEditor")->isVisible());
    }

    // Arrow keys move through the cells with several items without being
    // caught by their drop-down; F4 opens it, Escape and Left leave it.
    void keyboardIsNotTrappedByTheDropDown()
    {
        SeedContacts(people());
        frmMain *w = open(4);
        QVERIFY(w);
        w->activateWindow();
        cGrid *g = w->Grid();
        auto *editor = w->findChild<QComboBox *>("cboEditor");
        g->setFocus();
        g->SetSelectedCol(frmMain::ColCategory);
        g->SetSelectedRow(1);
        QTest::keyClick(g, Qt::Key_Right); // onto three phone numbers
        QCOMPARE(g->SelectedCol(), frmMain::ColFirstPhone);
        QVERIFY(editor->isVisible());
        QVERIFY(g->hasFocus());
        QTest::keyClick(g, Qt::Key_Down); // the row moves, not the drop-down's choice
        QCOMPARE(g->SelectedRow(), 2);
        QVERIFY(!editor->isVisible()); // one phone number only
        QTest::keyClick(g, Qt::Key_Up);
        QTest::keyClick(g, Qt::Key_F4);
        QTRY_VERIFY(editor->view()->isVisible());
        QTest::keyClick(editor->view(), Qt::Key_Escape);
        QTRY_VERIFY(!editor->view()->isVisible());
        QVERIFY(editor->hasFocus());
        QTest::keyClick(editor, Qt::Key_Left); // back in the grid, one cell to the left
        QVERIFY(g->hasFocus());
        QVERIFY(!editor->isVisible());
        QCOMPARE(g->SelectedCol(), frmMain::ColCategory);
    }
};

QTEST_MAIN(tst_commands)
#include "tst_commands.moc"
