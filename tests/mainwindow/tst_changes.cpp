// Changes from the window: removal to the Recycle bin and back, undo and redo
// from the keyboard and the Edit menu, the tree following every change, and
// another program's writes showing up.
#include "support/GuiTestSupport.h"

#include "controls/MsgBox.h"
#include "controls/cGrid.h"
#include "controls/cToolbar.h"
#include "controls/cTreeView.h"
#include "editor/frmCntContact.h"
#include "mainwindow/ListColumns.h"
#include "mainwindow/frmMain.h"
#include "merging/frmDuplicates.h"
#include "store/mdlMDB.h"

#include "context/AppContext.h"
#include "store/Connection.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTextBrowser>
#include <QToolButton>
#include <QTreeWidget>
#include <QtTest>

class tst_changes : public QObject
{
    Q_OBJECT

    std::unique_ptr<GuiTempAppFolder> m_folder;
    std::unique_ptr<frmMain> m_main;

    cGrid *grid() const { return m_main->findChild<cGrid *>("cGrid1"); }
    cTreeView *tree() const { return m_main->findChild<cTreeView *>("cTreeView1"); }
    QToolButton *button(const char *name) const { return m_main->findChild<QToolButton *>(name); }
    QString lastNames() const { return ListColumn(m_main.get(), ColLastName).join('|'); }
    QString children(const char *key) const
    {
        QStringList texts;
        for (int i = 0; i < tree()->NodeByKey(key)->childCount(); ++i)
            texts << tree()->NodeByKey(key)->child(i)->text(0);
        return texts.join('|');
    }
    QAction *editMenuEntry(const char *key) const
    {
        for (QAction *a : m_main->findChild<QMenu *>("mnuEditTop")->actions())
            if (a->text().startsWith(QLatin1String(key)))
                return a;
        return nullptr;
    }
    void selectRow(int row)
    {
        const QRect r = grid()->visualRect(grid()->model()->index(row - 1, ColLastName - 1));
        QTest::mouseClick(grid()->viewport(), Qt::LeftButton, {}, r.center());
    }
    // Through the window, as a user's pointer arrives.
    void doubleClickRow(int row)
    {
        const QRect r = grid()->visualRect(grid()->model()->index(row - 1, ColLastName - 1));
        QTest::mouseDClick(m_main->windowHandle(), Qt::LeftButton, {}, grid()->viewport()->mapTo(m_main.get(), r.center()));
    }
    void removeRow(int row, QMessageBox::StandardButton answer = QMessageBox::Yes)
    {
        selectRow(row);
        MsgBox::QueueAnswers({answer});
        ClickToolbar(m_main.get(), button("button_Remove")->text());
        QVERIFY(WaitForList(m_main.get()));
    }
    void keys(const QKeySequence &seq)
    {
        QTest::keySequence(m_main.get(), seq);
        QVERIFY(WaitForList(m_main.get()));
    }

private slots:
    void init()
    {
        m_folder = std::make_unique<GuiTempAppFolder>();
        SeedContacts({{{"First_Name", "Ann"}, {"Last_Name", "Adams"}, {"Category", "Work"}},
                      {{"First_Name", "Bob"}, {"Last_Name", "Brown"}, {"Category", "Home"}},
                      {{"First_Name", "Cy"}, {"Last_Name", "Bell"}, {"Category", "Work"}}});
        m_main = OpenMainWindow(3);
        QVERIFY(m_main);
        m_main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_main.get()));
    }
    void cleanup()
    {
        m_main.reset();
        m_folder.reset();
    }

    void binUndoAndRedo()
    {
        QVERIFY(!editMenuEntry("&Empty Recycle bin")->isEnabled());
        removeRow(1); // Adams: the last "A" and one of two "Work"
        QCOMPARE(lastNames(), QStringLiteral("Brown|Bell"));
        QCOMPARE(m_main->findChild<QLabel *>("lblNameDetails")->text(), QString()); // not left showing
        QVERIFY(editMenuEntry("&Empty Recycle bin")->isEnabled());
        QCOMPARE(children("ABC:*:MAIN"), QStringLiteral("B"));
        QCOMPARE(editMenuEntry("&Undo")->text(), QStringLiteral("&Undo removal of Ann Adams"));
        ClickNode(m_main.get(), "RECYCLE:*:MAIN");
        QCOMPARE(lastNames(), QStringLiteral("Adams"));
        QVERIFY(!grid()->isColumnHidden(ColRemoved - 1) && !grid()->CellText(1, ColRemoved).isEmpty());
        // In the bin: the details show the contact, Edit is not offered, Remove deletes for good.
        selectRow(1);
        QCOMPARE(m_main->findChild<QLabel *>("lblNameDetails")->text(), QStringLiteral("Ann Adams"));
        QVERIFY(!button("button_Edit")->isEnabled() && button("button_Restore")->isVisible());
        QCOMPARE(button("button_Remove")->text(), QStringLiteral("Delete for good"));
        OnModal<frmCntContact> none([](frmCntContact *d) { d->reject(); }, 300);
        doubleClickRow(1);
        QTest::qWait(400);
        QVERIFY(!none.ran());
        QTest::mouseClick(button("button_Restore"), Qt::LeftButton);
        QVERIFY(WaitForList(m_main.get()));
        QCOMPARE(grid()->Rows(), 0);
        QCOMPARE(QueryText("SELECT ContactID FROM Contacts WHERE Last_Name = 'Adams'"), QStringLiteral("1"));
        QCOMPARE(children("ABC:*:MAIN"), QStringLiteral("A|B"));
        // Undo, then redo, from the keyboard: the bin follows.
        keys(QKeySequence::Undo);
        QCOMPARE(lastNames(), QStringLiteral("Adams"));
        keys(QKeySequence(QStringLiteral("Ctrl+Shift+Z")));
        QCOMPARE(grid()->Rows(), 0);
        // Removed again and deleted for good, after a question; undo brings it back into the bin.
        ClickNode(m_main.get(), "ALL:*:MAIN");
        removeRow(1);
        ClickNode(m_main.get(), "RECYCLE:*:MAIN");
        removeRow(1, QMessageBox::No);
        QCOMPARE(grid()->Rows(), 1);
        removeRow(1);
        QVERIFY(MsgBox::AskedTexts().last().startsWith(QStringLiteral("Delete Ann Adams for good?")));
        QCOMPARE(grid()->Rows(), 0);
        editMenuEntry("&Undo")->trigger();
        QVERIFY(WaitForList(m_main.get()));
        QCOMPARE(lastNames(), QStringLiteral("Adams"));
        QVERIFY(!editMenuEntry("&Redo")->text().endsWith("&Redo"));
    }

    // Tools > Find duplicates: a strong group ticked, a name-only one not; the
    // user keeps the other contact, sees the result, merges; Undo takes it back.
    void findAndMergeDuplicates()
    {
        SharedDb()->exec(QString::fromUtf8("UPDATE Contacts SET Mails = 'ANN@x.org:*:\r\n' WHERE ContactID = 1;"
                                           "INSERT INTO Contacts (First_Name, Last_Name, Phones, Mails, Notes) VALUES"
                                           " ('Ánn', 'ADAMS', '+44 20 7946 0000:*:work\r\n', 'ann@x.org:*:\r\n', 'met in Leeds'),"
                                           " ('Bob', 'Brown', '', 'other@y.org:*:\r\n', '')"));
        bool checked = false;
        OnModal<frmDuplicates> act([&](frmDuplicates *dlg) {
            auto *groups = dlg->findChild<QTreeWidget *>("tvwGroups");
            QCOMPARE(groups->topLevelItemCount(), 2);
            QTreeWidgetItem *ann = groups->topLevelItem(0), *bob = groups->topLevelItem(1);
            QCOMPARE(ann->text(0), QStringLiteral("same name and mail address"));
            QCOMPARE(bob->text(0), QStringLiteral("same name only"));
            QVERIFY(ann->checkState(0) == Qt::Checked && bob->checkState(0) == Qt::Unchecked);
            // Keep the second Ann: the first loses its tick.
            groups->setCurrentItem(ann->child(1));
            QTest::keyClick(groups, Qt::Key_Space);
            QVERIFY(ann->child(1)->checkState(0) == Qt::Checked && ann->child(0)->checkState(0) == Qt::Unchecked);
            const QString preview = dlg->findChild<QTextBrowser *>("txtPreview")->toPlainText();
            QVERIFY2(preview.contains("met in Leeds") && preview.contains("Work") && preview.contains("+44 20 7946 0000"),
                     qPrintable(preview));
            QTest::mouseClick(dlg->findChild<QPushButton *>("cmdMerge"), Qt::LeftButton);
            checked = true;
        });
        ChooseMenu(m_main.get(), "mnuToolsTop", QStringLiteral("Find &duplicates..."));
        QTRY_VERIFY(act.ran());
        QVERIFY(checked && WaitForList(m_main.get()));
        QCOMPARE(QueryText("SELECT group_concat(ContactID) FROM Contacts"), QStringLiteral("2,3,4,5"));
        QCOMPARE(QueryText("SELECT Category || '|' || Mails FROM Contacts WHERE ContactID = 4"),
                 QStringLiteral("Work|ann@x.org:*:\r\n"));
        QCOMPARE(QueryText("SELECT ContactID FROM RecycleBin"), QStringLiteral("1"));
        QCOMPARE(editMenuEntry("&Undo")->text(), QStringLiteral("&Undo merge of 1 duplicate"));
        m_main->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(m_main.get()));
        keys(QKeySequence::Undo);
        QCOMPARE(QueryText("SELECT count(*) || ',' || count(Category) FROM Contacts"), QStringLiteral("5,3"));
        QCOMPARE(QueryText("SELECT count(*) FROM RecycleBin"), QStringLiteral("0"));
    }

    // The letter and category nodes follow saves and removals; the selection stays.
    void treeFollowsChanges()
    {
        ClickNode(m_main.get(), "CAT:*:Work");
        QCOMPARE(lastNames(), QStringLiteral("Adams|Bell"));
        OnModal<frmCntContact> edit([](frmCntContact *d) {
            d->findChild<QComboBox *>("cboCategory")->setEditText(QStringLiteral("Clients"));
            d->findChild<QLineEdit *>("txtLastName")->setText(QStringLiteral("Zane"));
            QTest::mouseClick(d->findChild<QPushButton *>("cmdOK"), Qt::LeftButton);
        });
        doubleClickRow(1);
        QTRY_VERIFY(edit.ran());
        QVERIFY(WaitForList(m_main.get()));
        QCOMPARE(children("CAT:*:MAIN"), QStringLiteral("Clients|Home|Work"));
        QCOMPARE(children("ABC:*:MAIN"), QStringLiteral("B|Z"));
        QCOMPARE(tree()->SelectedNode(), tree()->NodeByKey("CAT:*:Work"));
        QCOMPARE(lastNames(), QStringLiteral("Bell"));
        // The last one of the selected node goes: so does the node, and All takes over.
        removeRow(1);
        QVERIFY(!tree()->NodeByKey("CAT:*:Work"));
        QCOMPARE(tree()->SelectedNode(), tree()->NodeByKey("ALL:*:MAIN"));
        QCOMPARE(lastNames(), QStringLiteral("Zane|Brown"));
    }

    // The window closes (and the book with it) and opens again: the removal is still there to undo.
    void undoAfterRestart()
    {
        removeRow(2);
        m_main.reset();
        QCOMPARE(QueryText("SELECT count(*) FROM RecycleBin"), QStringLiteral("1"));
        m_main = OpenMainWindow(2);
        QVERIFY(m_main);
        QCOMPARE(editMenuEntry("&Undo")->text(), QStringLiteral("&Undo removal of Bob Brown"));
        keys(QKeySequence::Undo);
        QCOMPARE(lastNames(), QStringLiteral("Adams|Brown|Bell"));
        QCOMPARE(QueryText("SELECT ContactID FROM Contacts WHERE Last_Name = 'Brown'"), QStringLiteral("2"));
    }

    // What another program writes shows within two seconds.
    void outsideWritesShow()
    {
        Connection::open(AppFilePath("/db/db.sqlite"))
            ->exec("INSERT INTO Contacts (First_Name, Last_Name, Category) VALUES ('Di', 'Dunn', 'Club')");
        QTRY_COMPARE_WITH_TIMEOUT(grid()->Rows(), 4, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(children("CAT:*:MAIN"), QStringLiteral("Club|Home|Work"), 3000);
        QCOMPARE(QueryText("SELECT count(*) FROM ContactMeta"), QStringLiteral("4"));
        // An edit shows as well; a deletion also lets go of the contact's side rows.
        Connection::open(AppFilePath("/db/db.sqlite"))->exec("UPDATE Contacts SET Last_Name = 'Drew' WHERE Last_Name = 'Dunn'");
        QTRY_VERIFY_WITH_TIMEOUT(lastNames().contains(QLatin1String("Drew")), 3000);
        Connection::open(AppFilePath("/db/db.sqlite"))->exec("DELETE FROM Contacts WHERE Last_Name = 'Drew'");
        QTRY_COMPARE_WITH_TIMEOUT(grid()->Rows(), 3, 3000);
        QTRY_COMPARE_WITH_TIMEOUT(QueryText("SELECT count(*) FROM ContactMeta"), QStringLiteral("3"), 3000);
        QCOMPARE(children("CAT:*:MAIN"), QStringLiteral("Home|Work"));
    }

    // A right click offers the row's commands; Remove there removes that row.
    void rowMenu()
    {
        const QRect r = grid()->visualRect(grid()->model()->index(1, ColLastName - 1));
        QTimer::singleShot(100, [] {
            auto *menu = qobject_cast<QMenu *>(QApplication::activePopupWidget());
            for (QAction *a : menu ? menu->actions() : QList<QAction *>())
                if (a->text() == QLatin1String("&Remove") && a->isVisible())
                    a->trigger();
            if (menu)
                menu->close();
        });
        MsgBox::QueueAnswers({QMessageBox::Yes});
        QContextMenuEvent right(QContextMenuEvent::Mouse, r.center(), grid()->viewport()->mapToGlobal(r.center()));
        QApplication::sendEvent(grid()->viewport(), &right);
        QVERIFY(WaitForList(m_main.get()));
        QCOMPARE(lastNames(), QStringLiteral("Adams|Bell"));
    }
};

QTEST_MAIN(tst_changes)
#include "tst_changes.moc"
