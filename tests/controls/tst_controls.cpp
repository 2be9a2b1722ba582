#include "support/GuiTestSupport.h"

#include "controls/cGrid.h"
#include "controls/cMenu.h"
#include "controls/cTreeView.h"
#include "controls/mdlCommDialog.h"
#include "store/FoldedNeedle.h"

#include <QAbstractItemModelTester>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QListView>
#include <QMenuBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QtTest>

using Calls = QList<QVariantList>;

class tst_controls : public QObject
{
    Q_OBJECT
    std::unique_ptr<GuiTempAppFolder> m_folder;

    // Every markable column by default, so the last mark bit is used too.
    static void addColumns(cGrid &g, int n = GridModel::kMarkableColumns)
    {
        for (int c = 1; c <= n; ++c)
            g.AddColumn(QString::number(c), QString::number(c));
    }
    static bool exposed(QWidget &w) { return w.show(), QTest::qWaitForWindowExposed(&w); }
    // Through the window system, as a user's click: the application sees the button held.
    static void clickAt(QWidget *w, QPoint p) { QTest::mouseClick(w->window()->windowHandle(), Qt::LeftButton, {}, w->mapTo(w->window(), p)); }

private slots:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void init() { m_folder = std::make_unique<GuiTempAppFolder>(); }
    void cleanup() { m_folder.reset(); }

    void gridCellsByPosition()
    {
        cGrid g;
        QAbstractItemModelTester tester(g.Model(), QAbstractItemModelTester::FailureReportingMode::QtTest);
        addColumns(g);
        QSignalSpy inserted(g.Model(), &QAbstractItemModel::rowsInserted);
        g.SetRedraw(false); // rows reach the view in one insertion when drawing resumes
        g.SetCellText(300, 2, "x"); // rows up to 300 come into being
        const QString huge(70000, 'n'); // past 16-bit cell offsets
        for (auto [row, col, text] : {std::tuple(1, 1, "a"), {1, 32, "last"}, {3, 1, "é€😀"}, {1, 1, "A"}})
            g.SetCellText(row, col, text); // a rewrite keeps the row's other cells
        g.SetCellText(1, 4, huge);
        QCOMPARE(g.model()->rowCount(), 0);
        g.SetRedraw(true);
        QCOMPARE(QList<int>({int(inserted.count()), g.model()->rowCount()}), QList<int>({1, 300}));
        QCOMPARE(QStringList({g.CellText(1, 1), g.CellText(1, 32), g.CellText(3, 1), g.CellText(300, 2)}), QStringList({"A", "last", "é€😀", "x"}));
        QCOMPARE(g.CellText(1, 4), huge);
        QCOMPARE(g.CellText(2, 1) + g.CellText(301, 1) + g.CellText(1, 33), QString());
        g.RemoveRow(2);
        QCOMPARE(QList<int>({g.Rows(), g.model()->rowCount()}), QList<int>({299, 299}));
        QCOMPARE(g.CellText(2, 1), "é€😀");
        g.Clear();
        QCOMPARE(g.Rows() + g.model()->rowCount() + g.SelectedRow(), 0);
    }
    void gridMarks()
    {
        cGrid g;
        addColumns(g);
        GridModel *m = g.Model();
        g.SetCellText(1, 3, "t", cGrid::DrawSingleLineWordEllipsis, -1, Qt::black);
        g.SetCellText(1, 32, "far", cGrid::DrawSingleLineWordEllipsis, -1, Qt::black);
        g.SetCellText(1, 1, "plain");
        g.SetCellText(2, 3, "next", cGrid::DrawDefault, -1, Qt::yellow);
        QCOMPARE(QList<QColor>({m->cellBackground(0, 2), m->cellBackground(0, 31), m->cellBackground(1, 2), m->cellBackground(0, 0)}),
                 QList<QColor>({Qt::black, Qt::black, Qt::yellow, QColor()}));
        QVERIFY(m->cellHasFlag(0, 2, GridModel::WordEllipsis) && m->cellHasFlag(0, 31, GridModel::WordEllipsis));
        QVERIFY(!m->cellHasFlag(0, 0, GridModel::WordEllipsis) && !m->cellHasFlag(1, 2, GridModel::WordEllipsis));
        QCOMPARE(m->data(m->index(0, 2), Qt::ForegroundRole), QBrush(Qt::white)); // readable on any mark
        QCOMPARE(m->data(m->index(1, 2), Qt::ForegroundRole), QBrush(Qt::black));
        g.SetCellText(1, 3, "t"); // rewritten without a mark
        QVERIFY(!m->cellBackground(0, 2).isValid() && !m->cellHasFlag(0, 2, GridModel::WordEllipsis));
        QCOMPARE(m->cellBackground(0, 31), QColor(Qt::black));
        g.Clear(); // marks decided when asked for: the third column is marked by what the first holds
        int source[GridModel::kMarkableColumns] = {-1, -1, 0};
        m->setLazyMarks(FoldedNeedle("ÄNN"), 0b101, source, Qt::cyan);
        const QByteArray anna = QString("Jo Änna").toUtf8();
        const QByteArrayView r1[] = {anna, "änn", "z"}, r2[] = {"Bob", "änn"};
        m->appendRowMarkedLater(r1, 3, 0);
        m->appendRowMarkedLater(r2, 2, 0b010);
        m->flush(); // the second cell holds the text but is no marked column
        QCOMPARE(QList<QColor>({m->cellBackground(0, 0), m->cellBackground(0, 1), m->cellBackground(0, 2), m->cellBackground(1, 0), m->cellBackground(1, 2)}),
                 QList<QColor>({Qt::cyan, QColor(), Qt::cyan, QColor(), QColor()}));
        QVERIFY(m->cellText(1, 2).isEmpty() && m->cellHasFlag(1, 1, GridModel::WordEllipsis));
        g.SetCellText(1, 2, "edited"); // the row's marks become plain ones
        QCOMPARE(QVariantList({m->cellBackground(0, 0), m->cellText(0, 0)}), QVariantList({QColor(Qt::cyan), "Jo Änna"}));
        g.Clear(); // the marks go with the rows
        m->appendRowMarkedLater(r1, 3, 0);
        QVERIFY(!m->cellBackground(0, 0).isValid());
    }
    void gridSelectionAndEvents()
    {
        cGrid g;
        addColumns(g, 3);
        QVERIFY(exposed(g));
        for (int r = 1; r <= 5; ++r)
            g.SetCellText(r, 1, QString::number(r));
        g.SetSelectedCol(2);
        g.SetSelectedRow(3);
        g.SetSelectedRow(9); // no such row: nothing changes
        QCOMPARE(QPoint(g.SelectedRow(), g.SelectedCol()), QPoint(3, 2));
        QSignalSpy click(&g, &cGrid::Click), dbl(&g, &cGrid::DblClick), moved(&g, &cGrid::SelectionMoved);
        const QRect cell = g.visualRect(g.model()->index(1, 2));
        clickAt(g.viewport(), cell.center()); // a click is not a keyboard move
        QCOMPARE(QList<int>({int(click.count()), int(moved.count()), g.SelectedRow(), g.SelectedCol()}), QList<int>({1, 0, 2, 3}));
        QTest::mouseDClick(g.viewport(), Qt::LeftButton, {}, cell.center());
        QTest::keyClick(g.viewport(), Qt::Key_Down);
        QCOMPARE(dbl + moved, (Calls{{2, 3}, {3, 3}}));
        g.SetHotTrack(true);
        QTest::mouseMove(g.viewport(), g.visualRect(g.model()->index(3, 0)).center());
        QTRY_COMPARE(g.HotRow(), 3);
    }
    void menuModel()
    {
        cMenu menu;
        int index = 0; // from 1, in order
        for (auto [caption, parent, enabled] : {std::tuple("&File", 0, true), {"&Add", 1, true}, {"-", 1, true}, {"&Off", 1, false},
                                                {"&Hidden", 0, true}, {"&Inner", 5, true}, {"&Help", 0, true}})
            QCOMPARE(menu.AddItem(caption, {}, 0, parent, -1, false, enabled, caption), ++index);
        menu.SetVisible(menu.IndexForKey("&Hidden"), false); // as the context menu is
        QCOMPARE(menu.IndexForKey("&Help") + menu.IndexForKey("none"), 7);
        QMenuBar bar;
        menu.BuildMenuBar(&bar);
        QCOMPARE(bar.actions(), (QList<QAction *>{menu.Action(1), menu.Action(5), menu.Action(7)}));
        QVERIFY(!menu.Action(5)->isVisible() && menu.Action(3)->isSeparator() && !menu.Action(4)->isEnabled());
        QSignalSpy click(&menu, &cMenu::Click);
        menu.Action(6)->trigger(); // built below its hidden parent
        QCOMPARE(click, (Calls{{6}}));
    }
    void treeKeysSortingAndClicks()
    {
        cTreeView tree;
        auto *root = tree.AddNode(nullptr, "R:*:MAIN", "Root");
        for (const QString t : {"b", "Work", "B", "Éclair", "a"})
            QVERIFY(tree.AddNode(root, "X:*:" + t, t));
        QVERIFY(!tree.AddNode(root, "X:*:a", "again")); // keys are unique
        tree.SortChildren(root);
        QStringList order;
        for (int i = 0; i < root->childCount(); ++i)
            order << cTreeView::NodeText(root->child(i)); // as a reader sorts, letter case second
        QCOMPARE(order, QStringList({"a", "B", "b", "Éclair", "Work"}));
        QCOMPARE(cTreeView::NodeKey(tree.NodeByKey("X:*:Work")), "X:*:Work");
        tree.Expand(root);
        QVERIFY(exposed(tree));
        QSignalSpy clicked(&tree, &cTreeView::NodeClick);
        tree.SelectNode(root->child(0)); // choosing in code is not a click
        clickAt(tree.viewport(), tree.visualItemRect(root->child(2)).center()); // once per click
        QTest::keyClick(tree.viewport(), Qt::Key_Down); // the keyboard chooses as a click does
        QCOMPARE(clicked, (Calls{{QVariant::fromValue(root->child(2))}, {QVariant::fromValue(root->child(3))}}));
    }
    // The names chosen, in order, at most MaxSelectedFiles. Qt's own dialog starts in the folder of the one file
    // chosen last (several and a cancel leave it), centred on its owner; a link's path stays as chosen.
    void openDialog()
    {
        QVERIFY(QDir().mkpath(m_folder->file("real")) && QFile::link(m_folder->file("real"), m_folder->file("link")));
        const QString a = m_folder->file("link/a.jpg"), b = m_folder->file("link/b.gif");
        QVERIFY(WriteFile(a, {}) && WriteFile(b, {}));
        QCOMPARE(mdlCommDialog::InitialFolder(), QDir::homePath());
        QStringList many; // in the root folder
        for (int i = MaxSelectedFiles; i >= 0; --i)
            many << "/" + QString::number(i);
        for (const QStringList &chosen : {QStringList{a}, QStringList{b, a}, many, QStringList()}) {
            CommDialogForTests::SetNextOpenResult(chosen);
            const SelectedFiles r = ShowOpenDialog({}, nullptr, false);
            const int n = qMin(int(chosen.size()), MaxSelectedFiles);
            QCOMPARE(QVariantList({r.Cancelled, r.FileCount, r.FilePath(1), r.FilePath(n), r.FilePath(n + 1), mdlCommDialog::RememberedPath()}),
                     QVariantList({chosen.isEmpty(), n, chosen.value(0), chosen.value(n - 1), QString(), a}));
        }
        QWidget owner;
        owner.setGeometry(100, 80, 900, 700);
        owner.show();
        QStringList seen;
        OnModal<QFileDialog> answer([&](QFileDialog *dlg) { // looks, then picks b.gif as a user does
            seen << dlg->directory().path() << dlg->windowTitle() << dlg->nameFilters()
                 << QString::number(dlg->testOption(QFileDialog::DontUseNativeDialog))
                 << QString::number((dlg->frameGeometry().center() - owner.frameGeometry().center()).manhattanLength() <= 2);
            auto *view = dlg->findChild<QListView *>("listView");
            QModelIndex item;
            (void)QTest::qWaitFor([&] { return (item = view->model()->match(view->model()->index(0, 0, view->rootIndex()), 0, "b.gif").value(0)).isValid(); });
            QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
            QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, view->visualRect(item).center());
            if (dlg->isVisible()) // the double-click did not accept: the result below tells
                dlg->reject();
        });
        const SelectedFiles r = ShowOpenDialog({QString("pics|*.jpg; *.gif||").replace('|', QChar(0)), "Pick"}, &owner, true);
        QVERIFY(answer.ran() && !answer.strays());
        QCOMPARE(seen, QStringList({m_folder->file("link"), "Pick", "pics (*.jpg *.gif)", "1", "1"}));
        QCOMPARE(QStringList({r.FilePath(1), mdlCommDialog::RememberedPath()}), QStringList({b, b}));
        QVERIFY(QDir(m_folder->file("real")).removeRecursively()); // gone: home again
        QCOMPARE(mdlCommDialog::InitialFolder(), QDir::homePath());
    }
    // Qt's own colour dialog starts on white; the custom colours are set at the first
    // use in the run, what the user changes there stays for the run, unstored.
    void colourDialog()
    {
        for (const bool accept : {true, false}) {
            QVariantList seen;
            OnModal<QColorDialog> answer([&](QColorDialog *dlg) {
                seen << dlg->currentColor() << QColorDialog::customColor(2);
                QColorDialog::setCustomColor(2, QColor(1, 2, 3)), dlg->setCurrentColor(QColor(0, 0, 255));
                QTest::mouseClick(dlg->findChild<QDialogButtonBox *>()->button(accept ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel), Qt::LeftButton);
            });
            const SelectedColor r = ShowColorDialog(nullptr, false);
            QCOMPARE(seen + QVariantList({r.Color, r.Cancelled}), QVariantList({QColor(Qt::white), accept ? mdlCommDialog::DefaultCustomColors().at(2) : QColor(1, 2, 3),
                                                                                accept ? 0xFF0000 : -1, !accept}));
        }
        QVERIFY(!QFile::exists(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + "/QtProject.conf"));
    }
};

QTEST_MAIN(tst_controls)
#include "tst_controls.moc"
