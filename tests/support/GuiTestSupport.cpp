#include "support/GuiTestSupport.h"

#include "controls/MsgBox.h"
#include "controls/cGrid.h"
#include "controls/cToolbar.h"
#include "controls/cTreeView.h"
#include "mainwindow/frmMain.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QMenu>
#include <QMenuBar>
#include <QToolButton>
#include <QtTest>

GuiTempAppFolder::GuiTempAppFolder()
{
    MsgBox::ResetForTests();
}

std::unique_ptr<frmMain> OpenMainWindow(int expectedRows)
{
    auto main = std::make_unique<frmMain>();
    if (!main->Load())
        return nullptr;
    main->show();
    if (!QTest::qWaitForWindowExposed(main.get()))
        return nullptr;
    auto *grid = main->findChild<cGrid *>(QStringLiteral("cGrid1"));
    if (!QTest::qWaitFor([&] { return !main->IsFilling() && grid->Rows() == expectedRows; }, 20000))
        return nullptr;
    QTest::qWait(1); // the deferred first fill has run even when it found nothing
    return WaitForList(main.get()) ? std::move(main) : nullptr;
}

bool WaitForList(frmMain *main)
{
    return QTest::qWaitFor([main] { return !main->IsFilling(); }, 20000);
}

QStringList ListColumn(const frmMain *main, int column)
{
    const auto *grid = main->findChild<cGrid *>(QStringLiteral("cGrid1"));
    QStringList values;
    for (int r = 1; r <= grid->Rows(); ++r)
        values << grid->CellText(r, column);
    return values;
}

void ClickNode(frmMain *main, const QString &key)
{
    auto *tree = main->findChild<cTreeView *>(QStringLiteral("cTreeView1"));
    QTreeWidgetItem *node = tree->NodeByKey(key);
    QVERIFY2(node, qPrintable(key));
    for (QTreeWidgetItem *p = node->parent(); p; p = p->parent())
        p->setExpanded(true);
    tree->scrollToItem(node);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, tree->visualItemRect(node).center());
    QVERIFY(WaitForList(main));
}

void ChooseMenu(frmMain *main, const char *menuKey, const QString &entry)
{
    auto *bar = main->findChild<QMenuBar *>();
    auto *menu = main->findChild<QMenu *>(QLatin1String(menuKey));
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
    QVERIFY(QTest::qWaitFor([menu] { return menu->isVisible(); }));
    for (QAction *a : menu->actions())
        if (a->text() == entry)
            return QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(a).center());
    QFAIL(qPrintable(QStringLiteral("no menu entry ") + entry));
}

void ClickToolbar(frmMain *main, const QString &caption)
{
    auto *bar = main->findChild<cToolbar *>(QStringLiteral("tlbrTop"));
    for (int i = 0; i < bar->ButtonCount(); ++i) {
        QToolButton *b = bar->Button(i);
        if (b && b->text().trimmed() == caption) {
            QTest::mouseClick(b, Qt::LeftButton);
            return;
        }
    }
    QFAIL(qPrintable(QStringLiteral("no toolbar button ") + caption));
}

void Search(frmMain *main, const QString &text, int field)
{
    if (!main->findChild<QWidget *>(QStringLiteral("PicSearch"))->isVisible())
        ClickToolbar(main, QStringLiteral("Search"));
    main->findChild<QLineEdit *>(QStringLiteral("txtSearchFor"))->setText(text);
    main->findChild<QComboBox *>(QStringLiteral("cboSearchIn"))->setCurrentIndex(field);
    QTest::mouseClick(main->findChild<QPushButton *>(QStringLiteral("cmdSearch")), Qt::LeftButton);
    QVERIFY(WaitForList(main));
}
