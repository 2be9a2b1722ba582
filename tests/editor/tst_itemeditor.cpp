#include "common/TestSupport.h"
#include "controls/cGrid.h"
#include "editor/frmCntContact.h"
#include "editor/frmCntItemEditor.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>

class tst_itemeditor : public QObject
{
    Q_OBJECT

private:
    static cGrid *twoColumnGrid(QWidget *parent)
    {
        auto *g = new cGrid(parent);
        g->AddColumn(QStringLiteral("7"), QStringLiteral("Phones"));
        g->AddColumn(QStringLiteral("8"), QStringLiteral("Description"));
        return g;
    }

private slots:
    void design()
    {
        TempAppFolder f;
        frmCntItemEditor e;
        QCOMPARE(e.windowTitle(), QStringLiteral("Item"));
        auto *label = e.findChild<QLabel *>(QStringLiteral("lblItem"));
        QCOMPARE(label->text(), QStringLiteral("Item:"));
        QCOMPARE(e.ItemBox()->accessibleName(), QStringLiteral("Item"));
        e.SetLbls(QStringLiteral("E-Mail address:"));
        QCOMPARE(label->text(), QStringLiteral("E-Mail address:"));
        QCOMPARE(e.ItemBox()->accessibleName(), QStringLiteral("E-Mail address"));
        QCOMPARE(e.DescriptionBox()->accessibleName(), QStringLiteral("Description"));
        for (QPushButton *b : e.findChildren<QPushButton *>())
            QVERIFY2(!b->autoDefault() && !b->isDefault(), qPrintable(b->objectName()));
        // Tab walks item, description, OK, Cancel.
        e.show();
        QVERIFY(QTest::qWaitForWindowExposed(&e));
        e.activateWindow();
        e.ItemBox()->setFocus();
        QStringList order{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            order << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(order, (QStringList{"txtItem", "txtDescription", "cmdOK", "cmdCancel"}));
    }

    // Enter and Escape neither save nor cancel; Enter in the description starts a new line.
    void strayKeys_data()
    {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("key");
        QTest::newRow("Escape in item") << "txtItem" << int(Qt::Key_Escape);
        QTest::newRow("Return in item") << "txtItem" << int(Qt::Key_Return);
        QTest::newRow("Enter on OK") << "cmdOK" << int(Qt::Key_Enter);
        QTest::newRow("Escape on Cancel") << "cmdCancel" << int(Qt::Key_Escape);
        QTest::newRow("Return in description") << "txtDescription" << int(Qt::Key_Return);
    }

    void strayKeys()
    {
        QFETCH(QString, target);
        QFETCH(int, key);
        TempAppFolder f;
        QWidget owner;
        cGrid *grid = twoColumnGrid(&owner);
        frmCntItemEditor e(&owner);
        e.TargetGrid = grid;
        e.ItemBox()->setText(QStringLiteral("555"));
        e.DescriptionBox()->setPlainText(QStringLiteral("home"));
        e.DescriptionBox()->moveCursor(QTextCursor::End);
        e.show();
        QVERIFY(QTest::qWaitForWindowExposed(&e));
        auto *w = e.findChild<QWidget *>(target);
        w->setFocus();
        QTest::keyClick(w, Qt::Key(key));
        QVERIFY(e.isVisible());
        QCOMPARE(e.result(), 0);
        QCOMPARE(grid->Rows(), 0);
        QCOMPARE(e.DescriptionBox()->toPlainText(),
                 target == QLatin1String("txtDescription") ? QStringLiteral("home\n") : QStringLiteral("home"));
    }

    void okWritesTheGrid_data()
    {
        QTest::addColumn<bool>("edit");
        QTest::addColumn<QString>("item");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("add empty") << false << "" << "" << QStringList{"a|da", "b|db", "|"};
        QTest::newRow("add two lines") << false << "c" << "x\ny" << QStringList{"a|da", "b|db", "c|x\ny"};
        QTest::newRow("edit selected") << true << "B" << "DB" << QStringList{"a|da", "B|DB"};
        QTest::newRow("edit to empty keeps the row") << true << "" << "" << QStringList{"a|da", "|"};
    }

    void okWritesTheGrid()
    {
        QFETCH(bool, edit);
        QFETCH(QString, item);
        QFETCH(QString, description);
        QFETCH(QStringList, rows);
        TempAppFolder f;
        QWidget owner;
        cGrid *grid = twoColumnGrid(&owner);
        frmCntContact::AddGridItem(grid, QStringLiteral("a"), QStringLiteral("da"));
        frmCntContact::AddGridItem(grid, QStringLiteral("b"), QStringLiteral("db"));
        grid->SetSelectedRow(2);
        frmCntItemEditor e(&owner);
        e.TargetGrid = grid;
        e.bEdit = edit;
        e.ItemBox()->setText(item);
        e.DescriptionBox()->setPlainText(description);
        e.cmdOK_Click();
        QStringList actual;
        for (int r = 1; r <= grid->Rows(); ++r)
            actual << grid->CellText(r, 1) + QLatin1Char('|') + grid->CellText(r, 2);
        QCOMPARE(actual, rows);
        QCOMPARE(e.result(), int(QDialog::Accepted));
        QVERIFY(!e.bEdit);
    }
};

QTEST_MAIN(tst_itemeditor)
#include "tst_itemeditor.moc"
