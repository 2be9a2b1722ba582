#pragma once

#include "editor/ItemPageDesign.h"

#include <QString>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class cGrid;
class cImageList;
class cToolbar;
class cToolbarHost;

// One item list page of the contact editor: the list as a grid of rows (item,
// description), a toolbar with Add, Edit, Delete, Move up and Move down, and an
// inline entry row below the grid. All editing happens on the grid; the store
// sees the list only when the contact is saved.
class cItemListPage : public QWidget
{
    Q_OBJECT
public:
    enum Button { BtnAdd = 0, BtnEdit = 1, BtnDelete = 2, BtnSeparator = 3, BtnMoveUp = 4, BtnMoveDown = 5 };

    cItemListPage(const ItemPageDesign &design, cImageList *imgPlayer, cImageList *ilsIcons, QWidget *parent);

    // Places the page's controls; positions are in twips relative to the page.
    void Layout();

    const ItemPageDesign &Design() const { return m_design; }
    cGrid *Grid() const { return m_grid; }
    cToolbar *Toolbar() const { return m_toolbar; }
    QLineEdit *ItemBox() const { return m_itemBox; }
    QLineEdit *DescriptionBox() const { return m_descriptionBox; }
    QPushButton *AddButton() const { return m_addButton; }

    // Fills the empty grid from a stored list; row 1 becomes selected.
    void Fill(const QString &encoded);
    QString List() const;

    void ButtonClick(int index);
    void Add();
    void Edit();
    void Delete();
    void MoveUp();
    void MoveDown();
    void InlineAdd();

private:
    void exchangeWith(int offset);

    ItemPageDesign m_design;
    cToolbarHost *m_host;
    cToolbar *m_toolbar;
    cGrid *m_grid;
    QLabel *m_itemLabel;
    QLabel *m_descriptionLabel;
    QLineEdit *m_itemBox;
    QLineEdit *m_descriptionBox;
    QPushButton *m_addButton;
};
