#pragma once

// The main window's layout rule, in twips, as a pure function: given the
// window's size, the fixed heights and the widgets' current geometry, it
// returns the new geometry. A width or height that would be negative is not
// applied: the widget keeps its previous value and later steps read that.
struct Geometry
{
    double left = 0, top = 0, width = 0, height = 0;
};

struct MainLayoutInput
{
    double clientWidth = 0;  // W
    double outerHeight = 0;  // H: client height plus 500 for caption and borders
    double holderTopHeight = 0;
    double statusHeight = 0;
    bool searchBarShown = false;
};

struct MainLayoutState
{
    Geometry title;   // picTitle; its height is fixed
    Geometry tree;    // cTreeView1; its width is fixed
    Geometry grid;    // cGrid1
    Geometry search;  // PicSearch; its height is fixed
    Geometry details; // PicContactDetails; its height is fixed
    // Inside the search bar, relative to it.
    Geometry txtSearchFor, lblSearchFor, cboSearchIn, cmdSearch;
};

MainLayoutState FormResize(const MainLayoutInput &in, MainLayoutState state);
