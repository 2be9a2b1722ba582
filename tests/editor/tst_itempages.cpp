#include "app/MsgBox.h"
#include "common/TestSupport.h"
#include "controls/cGrid.h"
#include "controls/cTabControl.h"
#include "controls/cToolbar.h"
#include "editor/EditorTestSupport.h"
#include "editor/ItemListPage.h"
#include "editor/frmCntContact.h"
#include "editor/frmCntItemEditor.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

using Rows = QList<QStringList>;

// The list pages of a contact editor without a database (nothing is saved here).
class tst_itempages : public QObject
{
    Q_OBJECT

private:
    static Rows rowsOf(const cGrid *g)
    {
        Rows rows;
        for (int r = 1; r <= g->Rows(); ++r)
            rows << QStringList{g->CellText(r, 1), g->CellText(r, 2)};
        return rows;
    }
    static void fill(cItemListPage *page, const Rows &rows)
    {
        for (const QStringList &r : rows)
            frmCntContact::AddGridItem(page->Grid(), r.at(0), r.at(1));
    }
private slots:
    // The inline boxes keep their text, so pressing Add twice adds the entry
    // twice; empty boxes add an empty row, stored as a line starting ":*:".
    void inlineAdd()
    {
        TempAppFolder f;
        frmCntContact d;
        cItemListPage *p = d.PhonesPage();
        QTest::mouseClick(p->AddButton(), Qt::LeftButton);
        QCOMPARE(rowsOf(p->Grid()), (Rows{{"", ""}}));
        p->ItemBox()->setText(QStringLiteral("555 1234"));
        p->DescriptionBox()->setText(QStringLiteral("home"));
        QTest::mouseClick(p->AddButton(), Qt::LeftButton);
        QTest::mouseClick(p->AddButton(), Qt::LeftButton);
        QCOMPARE(p->ItemBox()->text(), QStringLiteral("555 1234"));
        QCOMPARE(rowsOf(p->Grid()), (Rows{{"", ""}, {"555 1234", "home"}, {"555 1234", "home"}}));
        QCOMPARE(p->Grid()->SelectedRow(), 0);
        QCOMPARE(p->List(), QStringLiteral(":*:\r\n555 1234:*:home\r\n555 1234:*:home\r\n"));
    }

    void fillSelectsFirstRow()
    {
        TempAppFolder f;
        frmCntContact d;
        cItemListPage *p = d.MailsPage();
        p->Fill(QStringLiteral("\r\n\r\na@x:*:work\r\nb@y:*:\r\n"));
        QCOMPARE(rowsOf(p->Grid()), (Rows{{"a@x", "work"}, {"b@y", ""}}));
        QCOMPARE(p->Grid()->SelectedRow(), 1);
        p->Fill(QString());
        QCOMPARE(p->Grid()->Rows(), 0);
        QCOMPARE(p->List(), QString());
    }

    void moves_data()
    {
        QTest::addColumn<int>("selected");
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("order");
        QTest::addColumn<int>("selectedAfter");
        QTest::newRow("row 3 up") << 3 << int(cItemListPage::BtnMoveUp) << "132" << 2;
        QTest::newRow("row 1 down") << 1 << int(cItemListPage::BtnMoveDown) << "213" << 2;
        QTest::newRow("last row down: nothing") << 3 << int(cItemListPage::BtnMoveDown) << "123" << 3;
        QTest::newRow("first row up: nothing") << 1 << int(cItemListPage::BtnMoveUp) << "123" << 1;
        QTest::newRow("separator: nothing") << 2 << int(cItemListPage::BtnSeparator) << "123" << 2;
    }

    void moves()
    {
        QFETCH(int, selected);
        QFETCH(int, button);
        QFETCH(QString, order);
        QFETCH(int, selectedAfter);
        TempAppFolder f;
        frmCntContact d;
        cItemListPage *p = d.SitesPage();
        fill(p, {{"1", "d1"}, {"2", "d2"}, {"3", "d3"}});
        if (selected)
            p->Grid()->SetSelectedRow(selected);
        p->ButtonClick(button);
        Rows expected;
        for (const QChar c : order)
            expected << QStringList{QString(c), QStringLiteral("d") + c};
        QCOMPARE(rowsOf(p->Grid()), expected);
        QCOMPARE(p->Grid()->SelectedRow(), selectedAfter);
    }

    void remove_data()
    {
        QTest::addColumn<QString>("item");
        QTest::addColumn<bool>("yes");
        QTest::addColumn<QString>("question");
        QTest::newRow("yes") << "555" << true << "Remove 555 from the list ?";
        QTest::newRow("no") << "555" << false << "Remove 555 from the list ?";
        QTest::newRow("empty item: two blanks") << "" << true << "Remove  from the list ?";
    }

    void remove()
    {
        QFETCH(QString, item);
        QFETCH(bool, yes);
        QFETCH(QString, question);
        TempAppFolder f;
        frmCntContact d;
        cItemListPage *p = d.PhonesPage();
        fill(p, {{"first", ""}, {item, "x"}, {"last", ""}});
        p->Grid()->SetSelectedRow(2);
        MsgBox::QueueAnswers({yes ? QMessageBox::Yes : QMessageBox::No});
        p->Toolbar()->Button(cItemListPage::BtnDelete)->click();
        QCOMPARE(MsgBox::AskedTexts(), QStringList{question});
        if (yes)
            QCOMPARE(rowsOf(p->Grid()), (Rows{{"first", ""}, {"last", ""}}));
        else
            QCOMPARE(rowsOf(p->Grid()), (Rows{{"first", ""}, {item, "x"}, {"last", ""}}));
    }

    // On an empty grid Edit, Delete and the moves open nothing and change nothing.
    void emptyGridDoesNothing()
    {
        TempAppFolder f;
        frmCntContact d;
        cItemListPage *p = d.MailsPage();
        for (int button : {1, 2, 4, 5}) {
            OnModal<QDialog> none([](QDialog *dlg) { dlg->reject(); }, 50);
            p->ButtonClick(button);
            QTest::qWait(60);
            QVERIFY(!none.ran());
        }
        QVERIFY(MsgBox::AskedTexts().isEmpty());
        QCOMPARE(p->Grid()->Rows(), 0);
    }

    // Add opens the item editor with empty boxes; its OK
    // appends the entry, a two-line description included; Cancel adds nothing.
    void addThroughItemEditor()
    {
        TempAppFolder f;
        frmCntContact d;
        cItemListPage *p = d.MailsPage();
        fill(p, {{"old", ""}});
        p->Grid()->SetSelectedRow(1);

        // The editor's prompt names what the page lists.
        for (cItemListPage *page : {d.PhonesPage(), d.MailsPage(), d.SitesPage()}) {
            QString prompt;
            OnModal<frmCntItemEditor> look([&prompt](frmCntItemEditor *e) {
                for (QLabel *l : e->findChildren<QLabel *>())
                    prompt += l->text() + QLatin1Char('|');
                e->cmdCancel_Click();
            });
            page->Add();
            QVERIFY(look.ran());
            QVERIFY2(prompt.contains(page == d.PhonesPage()  ? QStringLiteral("Phone number:|")
                                     : page == d.MailsPage() ? QStringLiteral("E-Mail address:|")
                                                             : QStringLiteral("Web-site address:|")),
                     qPrintable(prompt));
        }

        QString item, description;
        bool stillOpen = false;
        OnModal<frmCntItemEditor> ok([&](frmCntItemEditor *e) {
            item = e->ItemBox()->text();
            description = e->DescriptionBox()->toPlainText();
            QTest::keyClicks(e->ItemBox(), QStringLiteral("new"));
            // Neither key ends the dialog; Enter in the description starts a line.
            QTest::keyClick(e->ItemBox(), Qt::Key_Escape);
            QTest::keyClick(e->ItemBox(), Qt::Key_Return);
            QTest::keyClicks(e->DescriptionBox(), QStringLiteral("line one"));
            QTest::keyClick(e->DescriptionBox(), Qt::Key_Return);
            QTest::keyClicks(e->DescriptionBox(), QStringLiteral("line two"));
            stillOpen = e->isVisible() && e->result() == 0;
            e->cmdOK_Click();
        });
        p->Toolbar()->Button(cItemListPage::BtnAdd)->click();
        QVERIFY(ok.ran());
        QVERIFY(stillOpen);
        QCOMPARE(item, QString());
        QCOMPARE(description, QString());
        QCOMPARE(rowsOf(p->Grid()), (Rows{{"old", ""}, {"new", "line one\nline two"}}));
        QCOMPARE(p->Grid()->SelectedRow(), 1);

        OnModal<frmCntItemEditor> cancel([](frmCntItemEditor *e) {
            e->ItemBox()->setText(QStringLiteral("dropped"));
            e->cmdCancel_Click();
        });
        p->Add();
        QVERIFY(cancel.ran());
        QCOMPARE(p->Grid()->Rows(), 2);
    }

    // Double-click edits the selected row: the editor shows its texts, OK
    // writes them back (empty ones too, the row stays), Cancel leaves it.
    void editThroughDoubleClick()
    {
        TempAppFolder f;
        frmCntContact d;
        d.show();
        d.Tabs()->SelectTab(QStringLiteral("Phones"));
        cItemListPage *p = d.PhonesPage();
        QVERIFY(p->isVisible());
        fill(p, {{"a", "da"}, {"b", "db"}, {"c", "dc"}});
        p->Grid()->SetSelectedRow(2);

        QString item, description;
        bool editMode = false;
        OnModal<frmCntItemEditor> clear([&](frmCntItemEditor *e) {
            item = e->ItemBox()->text();
            description = e->DescriptionBox()->toPlainText();
            editMode = e->bEdit;
            e->ItemBox()->clear();
            e->DescriptionBox()->clear();
            e->cmdOK_Click();
        });
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        const QRect cell = p->Grid()->visualRect(p->Grid()->model()->index(1, 0));
        // A widget double-click in QTest is the second click only; the first comes before.
        QTest::mouseClick(p->Grid()->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(p->Grid()->viewport(), Qt::LeftButton, {}, cell.center());
        QVERIFY(clear.ran());
        QCOMPARE(item, QStringLiteral("b"));
        QCOMPARE(description, QStringLiteral("db"));
        QVERIFY(editMode);
        QCOMPARE(rowsOf(p->Grid()), (Rows{{"a", "da"}, {"", ""}, {"c", "dc"}}));

        p->Grid()->SetSelectedRow(3);
        OnModal<frmCntItemEditor> cancel([](frmCntItemEditor *e) {
            e->ItemBox()->setText(QStringLiteral("changed"));
            e->cmdCancel_Click();
        });
        p->ButtonClick(cItemListPage::BtnEdit);
        QVERIFY(cancel.ran());
        QCOMPARE(rowsOf(p->Grid()), (Rows{{"a", "da"}, {"", ""}, {"c", "dc"}}));
        d.hide();
    }
};

QTEST_MAIN(tst_itempages)
#include "tst_itempages.moc"
