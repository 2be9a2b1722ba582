#include "mainwindow/MainLayout.h"

namespace {
void setSize(double &field, double value)
{
    if (value >= 0)
        field = value;
}
} // namespace

MainLayoutState FormResize(const MainLayoutInput &in, MainLayoutState s)
{
    const double W = in.clientWidth;
    const double H = in.outerHeight;

    s.tree.left = 0;
    s.title.top = in.holderTopHeight - 280;
    setSize(s.title.width, W - 20);
    s.tree.top = in.holderTopHeight + s.title.height - 260;
    setSize(s.tree.height, H - s.tree.top - in.statusHeight - 500);
    s.grid.left = s.tree.width + 40;
    setSize(s.grid.width, W - s.tree.width - 80);

    if (in.searchBarShown) {
        s.search.top = s.tree.top;
        setSize(s.search.width, s.grid.width);
        s.search.left = s.grid.left;
        setSize(s.grid.height, s.tree.height - s.search.height - 40 - s.details.height);
        s.grid.top = s.tree.top + s.search.height;

        setSize(s.txtSearchFor.width, s.search.width - 320);
        s.txtSearchFor.left = 80;
        s.lblSearchFor.left = 80;
        s.cboSearchIn.left = 80;
        setSize(s.cboSearchIn.width, s.txtSearchFor.width / 2 - 80);
        s.cmdSearch.left = s.cboSearchIn.left + s.cboSearchIn.width + 80;
        setSize(s.cmdSearch.width, s.cboSearchIn.width);
    } else {
        s.grid.top = s.tree.top;
        setSize(s.grid.height, s.tree.height - s.details.height);
    }

    s.details.left = s.grid.left;
    s.details.top = s.grid.top + s.grid.height;
    setSize(s.details.width, s.grid.width);
    return s;
}
