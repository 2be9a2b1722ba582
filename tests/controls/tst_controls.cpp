#include "controls/Units.h"
#include "controls/cGrid.h"
#include "controls/cMenu.h"
#include "controls/cTreeView.h"

#include <QAbstractItemModelTester>
#include <QMenuBar>
#include <QSignalSpy>
#include <QtTest>

class tst_controls : public QObject
{
    Q_OBJECT

    static void addColumns(cGrid &g, int n)
    {
        for (int c = 1; c <= n; ++c)
            g.AddColumn(QString::number(c), QStringLiteral("C%1").arg(c));
    }

private slots:
    void gridCellsAndRows()
    {
        cGrid g;
        QAbstractItemModelTester tester(g.Model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        addColumns(g, 4);
        // Setting a cell of a row beyond the last creates the rows up to it.
        g.SetCellText(3, 2, QStringLiteral("x"));
        QCOMPARE(g.Rows(), 3);
        QCOMPARE(g.CellText(3, 2), QStringLiteral("x"));
        QCOMPARE(g.CellText(1, 2), QString());
        // Rewriting one cell of an earlier row keeps its other cells.
        g.SetCellText(1, 1, QStringLiteral("a"));
        g.SetCellText(1, 4, QStringLiteral("d"));
        g.SetCellText(3, 1, QStringLiteral("é€😀"));
        g.SetCellText(1, 1, QStringLiteral("A"));
        QCOMPARE(g.CellText(1, 1), QStringLiteral("A"));
        QCOMPARE(g.CellText(1, 4), QStringLiteral("d"));
        QCOMPARE(g.CellText(3, 1), QStringLiteral("é€😀"));
        QCOMPARE(g.CellText(3, 2), QStringLiteral("x"));
        // Out of range reads are empty, not a crash.
        QCOMPARE(g.CellText(9, 1), QString());
        QCOMPARE(g.CellText(1, 9), QString());

        g.RemoveRow(2);
        QCOMPARE(g.Rows(), 2);
        QCOMPARE(g.CellText(2, 2), QStringLiteral("x"));
        g.Clear();
        QCOMPARE(g.Rows(), 0);
        QCOMPARE(g.SelectedRow(), 0);
    }

    void gridHoldsLongCellsAndBackgrounds()
    {
        cGrid g;
        addColumns(g, 20);
        const QString huge(70000, QLatin1Char('n'));
        g.SetCellText(1, 1, QStringLiteral("first"));
        g.SetCellText(1, 2, huge);
        g.SetCellText(1, 3, QStringLiteral("third"), cGrid::DrawSingleLineWordEllipsis, -1, QColor(Qt::yellow));
        g.SetCellText(2, 1, QStringLiteral("next"));
        QCOMPARE(g.CellText(1, 2).size(), huge.size());
        QCOMPARE(g.CellText(1, 3), QStringLiteral("third"));
        QCOMPARE(g.Model()->cellBackground(0, 2), QColor(Qt::yellow));
        QVERIFY(!g.Model()->cellBackground(0, 0).isValid());
        QVERIFY(g.Model()->cellHasFlag(0, 2, GridModel::WordEllipsis));
        QVERIFY(!g.Model()->cellHasFlag(1, 0, GridModel::WordEllipsis));
        // Columns past the sixteenth keep their marks and flags too.
        g.SetCellText(2, 19, QStringLiteral("far"), cGrid::DrawSingleLineWordEllipsis, -1, QColor(Qt::green));
        QCOMPARE(g.Model()->cellBackground(1, 18), QColor(Qt::green));
        QVERIFY(g.Model()->cellHasFlag(1, 18, GridModel::WordEllipsis));
    }

    void gridRowsReachTheViewWhenDrawingResumes()
    {
        cGrid g;
        addColumns(g, 2);
        QSignalSpy inserted(g.Model(), &QAbstractItemModel::rowsInserted);
        g.SetRedraw(false);
        for (int r = 1; r <= 1000; ++r)
            g.SetCellText(r, 1, QString::number(r));
        QCOMPARE(g.Rows(), 1000);
        QCOMPARE(g.model()->rowCount(), 0);
        g.SetRedraw(true);
        QCOMPARE(g.model()->rowCount(), 1000);
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(g.model()->data(g.model()->index(999, 0)).toString(), QStringLiteral("1000"));
    }

    void gridSelectionAndEvents()
    {
        cGrid g;
        addColumns(g, 3);
        g.resize(400, 300);
        g.show();
        QVERIFY(QTest::qWaitForWindowExposed(&g));
        for (int r = 1; r <= 5; ++r)
            g.SetCellText(r, 1, QString::number(r));
        g.SetSelectedRow(3);
        QCOMPARE(g.SelectedRow(), 3);
        g.SetSelectedCol(2);
        QCOMPARE(g.SelectedCol(), 2);
        g.SetSelectedRow(9); // no such row: nothing changes
        QCOMPARE(g.SelectedRow(), 3);

        QSignalSpy click(&g, &cGrid::Click);
        QSignalSpy dbl(&g, &cGrid::DblClick);
        QSignalSpy moved(&g, &cGrid::SelectionMoved);
        const QRect cell = g.visualRect(g.model()->index(1, 2));
        QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(click.count(), 1);
        QCOMPARE(g.SelectedRow(), 2);
        QCOMPARE(g.SelectedCol(), 3);
        QCOMPARE(moved.count(), 0); // a click is not a keyboard move
        QTest::mouseDClick(g.viewport(), Qt::LeftButton, {}, cell.center());
        QCOMPARE(dbl.count(), 1);
        QCOMPARE(dbl.at(0).at(0).toInt(), 2);
        QCOMPARE(dbl.at(0).at(1).toInt(), 3);
        QTest::keyClick(g.viewport(), Qt::Key_Down);
        QCOMPARE(moved.count(), 1);
        QCOMPARE(g.SelectedRow(), 3);

        // Bounds in twips, relative to the grid: at 96 DPI 15 twips a pixel.
        double l, t, w, h;
        g.CellBoundary(2, 3, l, t, w, h);
        const double tpp = Units::TwipsPerPixelX(&g);
        QCOMPARE(w, cell.width() * tpp);
        QVERIFY(t > 0); // below the header
        QCOMPARE(qRound(l / tpp), g.viewport()->mapTo(&g, cell.topLeft()).x());
    }

    void unitsAndColours()
    {
        QCOMPARE(Units::ColorFromBgr(255), QColor(255, 0, 0));
        QCOMPARE(Units::ColorFromBgr(0xFF0000), QColor(0, 0, 255));
        QCOMPARE(Units::BgrFromColor(QColor(255, 255, 255)), 16777215);
        QCOMPARE(Units::BgrFromColor(QColor(0x12, 0x34, 0x56)), 0x563412);
        QVERIFY(Units::ColorFromBgr(qint64(0x80000010)).isValid()); // a system colour
        const double tpp = Units::TwipsPerPixelX();
        QCOMPARE(Units::TwipsToPixelsX(150 * tpp), 150);
    }

    void menuModel()
    {
        cMenu menu;
        QCOMPARE(menu.AddItem(QStringLiteral("&File"), {}, 0, 0, -1, false, true, QStringLiteral("top")), 1);
        QCOMPARE(menu.AddItem(QStringLiteral("&Add"), {}, 0, 1, 2, false, true, QStringLiteral("Add")), 2);
        QCOMPARE(menu.AddItem(QStringLiteral("-"), {}, 0, 1, -1, false, true, QStringLiteral("sep")), 3);
        QCOMPARE(menu.AddItem(QStringLiteral("&Hidden"), {}, 0, 0, -1, false, true, QStringLiteral("hid")), 4);
        QCOMPARE(menu.AddItem(QStringLiteral("&Inner"), {}, 0, 4, -1, false, true, QStringLiteral("in")), 5);
        menu.SetVisible(menu.IndexForKey(QStringLiteral("hid")), false);
        QMenuBar bar;
        menu.BuildMenuBar(&bar);
        QCOMPARE(bar.actions().size(), 2);
        QVERIFY(bar.actions().at(0)->isVisible());
        QVERIFY(!bar.actions().at(1)->isVisible());
        QVERIFY(menu.Action(3)->isSeparator());
        QSignalSpy click(&menu, &cMenu::Click);
        menu.Action(2)->trigger();
        QCOMPARE(click.count(), 1);
        QCOMPARE(click.at(0).at(0).toInt(), 2);
        QCOMPARE(menu.IndexForKey(QStringLiteral("none")), 0);
    }

    void treeKeysAndSorting()
    {
        cTreeView tree;
        auto *root = tree.AddNode(nullptr, QStringLiteral("R:*:MAIN"), QStringLiteral("Root"));
        for (const char *t : {"b", "Work", "B", "a"})
            QVERIFY(tree.AddNode(root, QStringLiteral("X:*:") + QString::fromUtf8(t), QString::fromUtf8(t)));
        QVERIFY(!tree.AddNode(root, QStringLiteral("X:*:a"), QStringLiteral("again"))); // keys are unique
        tree.SortChildren(root);
        QStringList order;
        for (int i = 0; i < root->childCount(); ++i)
            order << root->child(i)->text(0);
        QCOMPARE(order, QStringList({"a", "B", "b", "Work"})); // letter case second
        QCOMPARE(cTreeView::NodeKey(tree.NodeByKey(QStringLiteral("X:*:Work"))), QStringLiteral("X:*:Work"));
        QSignalSpy clicked(&tree, &cTreeView::NodeClick);
        tree.SelectNode(root->child(0)); // choosing in code is not a click
        QCOMPARE(clicked.count(), 0);
        QCOMPARE(tree.SelectedNode(), root->child(0));
    }
};

QTEST_MAIN(tst_controls)
#include "tst_controls.moc"
