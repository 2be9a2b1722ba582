#include "mainwindow/MainLayout.h"

#include <QtTest>

namespace {

double right(const Geometry &g) { return g.left + g.width; }
double bottom(const Geometry &g) { return g.top + g.height; }

// The fixed sizes and the search bar's inner design a window starts with.
const MainLayoutState kDesign{.title = {0, 0, 0, 495}, .tree = {0, 0, 2295, 0}, .grid = {}, .search = {0, 0, 0, 1455},
                              .details = {0, 0, 0, 1815}, .txtSearchFor = {120, 360, 6735, 315},
                              .lblSearchFor = {120, 120, 810, 195}, .cboSearchIn = {120, 960, 3495, 315},
                              .cmdSearch = {3720, 960, 3135, 315}};

MainLayoutInput window(bool search, double width = 11310, double height = 7220, double topPanel = 1455)
{
    return {width, height, topPanel, 375, search};
}

} // namespace

// The layout rule by what lines up with what and what follows the window's size.
class tst_mainlayout : public QObject
{
    Q_OBJECT

private slots:
    void partsFitAndFollowTheWindow_data()
    {
        QTest::addColumn<bool>("search");
        QTest::newRow("list and details") << false;
        QTest::newRow("with the search bar") << true;
    }
    void partsFitAndFollowTheWindow()
    {
        QFETCH(bool, search);
        const MainLayoutInput in = window(search);
        const MainLayoutState s = FormResize(in, kDesign);
        // The title strip overlaps the foot of the top panel; the tree starts
        // below it at the left edge and ends where the status bar starts.
        QVERIFY(s.title.top < in.holderTopHeight && bottom(s.title) > in.holderTopHeight);
        QVERIFY(s.tree.left == 0 && s.tree.top >= bottom(s.title));
        QCOMPARE(bottom(s.tree), in.outerHeight - 500 - in.statusHeight);
        // The list lies right of the tree, inside the window, the search bar
        // (when shown) on it; the details share its columns, straight below.
        QVERIFY(s.grid.left > right(s.tree) && right(s.grid) <= in.clientWidth && right(s.title) <= in.clientWidth);
        QVERIFY(s.details.left == s.grid.left && s.details.width == s.grid.width);
        QVERIFY(s.details.top == bottom(s.grid) && s.details.height == kDesign.details.height);
        QCOMPARE(search ? bottom(s.search) : s.grid.top, search ? s.grid.top : s.tree.top);
        QVERIFY(search ? bottom(s.details) <= bottom(s.tree) : bottom(s.details) == bottom(s.tree));
        if (search) {
            QVERIFY(s.search.top == s.tree.top && s.search.left == s.grid.left && s.search.width == s.grid.width);
            // The text goes across the bar; beneath it, from its left edge, the
            // field and the button stand side by side, as wide as each other.
            QVERIFY(s.lblSearchFor.left == s.txtSearchFor.left && s.cboSearchIn.left == s.txtSearchFor.left);
            QVERIFY(right(s.txtSearchFor) < s.search.width && s.cboSearchIn.top == kDesign.cboSearchIn.top);
            QVERIFY(s.cmdSearch.width == s.cboSearchIn.width && s.cmdSearch.left > right(s.cboSearchIn));
            QVERIFY(right(s.cmdSearch) <= right(s.txtSearchFor));
            // Hidden again, the list gets its place back.
            const MainLayoutState back = FormResize(window(false), s);
            const MainLayoutState plain = FormResize(window(false), kDesign);
            QVERIFY(back.grid.top == plain.grid.top && back.grid.height == plain.grid.height);
        }
        // A larger window: the title, the list, the details and the bar take
        // the room; the tree keeps its width and the details their height.
        const MainLayoutState b = FormResize(window(search, 11310 + 1000, 7220 + 600), s);
        QVERIFY(b.tree.width == s.tree.width && b.details.height == s.details.height);
        QVERIFY(b.title.width - s.title.width == 1000 && b.grid.width - s.grid.width == 1000);
        QVERIFY(b.tree.height - s.tree.height == 600 && b.grid.height - s.grid.height == 600);
        QVERIFY(b.txtSearchFor.width - s.txtSearchFor.width == (search ? 1000 : 0) &&
                b.cmdSearch.width - s.cmdSearch.width == (search ? 500 : 0));
        // A taller top panel moves everything below it down.
        const MainLayoutState c = FormResize(window(search, 11310, 7220, 1455 + 300), s);
        QVERIFY(c.title.top - s.title.top == 300 && c.tree.top - s.tree.top == 300 && c.grid.top - s.grid.top == 300);
        QCOMPARE(bottom(c.tree), bottom(s.tree)); // still at the status bar
    }

    void negativeSizesAreNotApplied()
    {
        const MainLayoutState before = FormResize(window(false), kDesign);
        // So small that the tree's height and the list's width would be negative.
        const MainLayoutState s = FormResize(window(false, 1000, 2000), before);
        QVERIFY(s.tree.height == before.tree.height && s.grid.width == before.grid.width);
        // The rest is still placed, from the values kept.
        QVERIFY(s.title.width < before.title.width && s.grid.height == s.tree.height - s.details.height);
        QVERIFY(s.details.top == bottom(s.grid) && s.details.width == s.grid.width);
    }
};

QTEST_APPLESS_MAIN(tst_mainlayout)
#include "tst_mainlayout.moc"
