#include "mainwindow/MainLayout.h"

#include <QtTest>

// The layout rule, checked against the figures of a 11310 x 7220 window.
class tst_mainlayout : public QObject
{
    Q_OBJECT

    static MainLayoutState designState()
    {
        MainLayoutState s;
        s.title.height = 495;
        s.tree.width = 2295;
        s.search.height = 1455;
        s.details.height = 1815;
        s.txtSearchFor = {120, 360, 6735, 315};
        s.lblSearchFor = {120, 120, 810, 195};
        s.cboSearchIn = {120, 960, 3495, 315};
        s.cmdSearch = {3720, 960, 3135, 315};
        return s;
    }
    static MainLayoutInput input(bool search, double w = 11310, double h = 7220)
    {
        MainLayoutInput in;
        in.clientWidth = w;
        in.outerHeight = h;
        in.holderTopHeight = 1455;
        in.statusHeight = 375;
        in.searchBarShown = search;
        return in;
    }

private slots:
    void commonFigures()
    {
        const MainLayoutState s = FormResize(input(false), designState());
        QCOMPARE(s.title.top, 1175.0);
        QCOMPARE(s.title.width, 11290.0);
        QCOMPARE(s.tree.left, 0.0);
        QCOMPARE(s.tree.top, 1690.0);
        QCOMPARE(s.tree.height, 4655.0);
        // The tree ends where a 375-high status bar starts in a 6720-high client area.
        QCOMPARE(s.tree.top + s.tree.height, 6720.0 - 375.0);
        QCOMPARE(s.grid.left, 2335.0);
        QCOMPARE(s.grid.width, 8935.0);
    }

    void withoutSearchBar()
    {
        const MainLayoutState s = FormResize(input(false), designState());
        QCOMPARE(s.grid.top, 1690.0);
        QCOMPARE(s.grid.height, 2840.0);
        QCOMPARE(s.details.top, 4530.0);
        QCOMPARE(s.details.left, 2335.0);
        QCOMPARE(s.details.width, 8935.0);
    }

    void withSearchBar()
    {
        const MainLayoutState s = FormResize(input(true), designState());
        QCOMPARE(s.search.left, 2335.0);
        QCOMPARE(s.search.top, 1690.0);
        QCOMPARE(s.search.width, 8935.0);
        QCOMPARE(s.grid.top, 3145.0);
        QCOMPARE(s.grid.height, 1345.0);
        QCOMPARE(s.details.top, 4490.0);
        QCOMPARE(s.txtSearchFor.width, 8615.0);
        QCOMPARE(s.txtSearchFor.left, 80.0);
        QCOMPARE(s.lblSearchFor.left, 80.0);
        QCOMPARE(s.cboSearchIn.left, 80.0);
        QCOMPARE(s.cboSearchIn.width, 4227.5);
        QCOMPARE(s.cmdSearch.left, 4387.5);
        QCOMPARE(s.cmdSearch.width, 4227.5);
        // Vertical positions inside the bar keep their design values.
        QCOMPARE(s.cboSearchIn.top, 960.0);
        QCOMPARE(s.txtSearchFor.top, 360.0);
    }

    void showingTheSearchBarMovesTheGrid()
    {
        const MainLayoutState plain = FormResize(input(false), designState());
        const MainLayoutState search = FormResize(input(true), plain);
        QCOMPARE(search.grid.top - plain.grid.top, 1455.0);
        QCOMPARE(plain.grid.height - search.grid.height, 1455.0 + 40.0);
        // And hiding it again gives the first arrangement back.
        const MainLayoutState back = FormResize(input(false), search);
        QCOMPARE(back.grid.top, plain.grid.top);
        QCOMPARE(back.grid.height, plain.grid.height);
    }

    void negativeSizesAreNotApplied()
    {
        const MainLayoutState before = FormResize(input(false), designState());
        // So small that the tree height and the grid width would be negative.
        const MainLayoutState s = FormResize(input(false, 1000, 2000), before);
        QCOMPARE(s.tree.height, before.tree.height);
        QCOMPARE(s.grid.width, before.grid.width);
        // The other widgets are still placed.
        QCOMPARE(s.title.width, 980.0);
        QCOMPARE(s.grid.left, 2335.0);
        QCOMPARE(s.details.top, s.grid.top + s.grid.height);
        // The grid height is computed from the tree height the tree kept.
        QCOMPARE(s.grid.height, before.tree.height - 1815.0);
    }
};

QTEST_APPLESS_MAIN(tst_mainlayout)
#include "tst_mainlayout.moc"
