#pragma once

#include "controls/GridModel.h"

#include <QTableView>

class cImageList;

// A grid of text cells addressed by (row, column position) from 1.
class cGrid : public QTableView
{
    Q_OBJECT
public:
    enum DrawFlag { DrawDefault = 0, DrawSingleLineWordEllipsis = 1 };

    explicit cGrid(QWidget *parent = nullptr);

    void AddColumn(const QString &key, const QString &header, Qt::Alignment alignment = Qt::AlignLeft,
                   int iconIndex = -1, int widthPixels = -1, bool visible = true);
    int Columns() const { return m_model->columns(); }

    void Clear();
    // Drawing off: rows added meanwhile reach the screen when drawing resumes.
    void SetRedraw(bool on);
    bool Redraw() const { return m_redraw; }
    // Shows the rows added so far (during a long fill, with drawing on).
    void FlushRows();

    // Sets a cell's text, creating the row when it does not exist yet.
    void SetCellText(int row, int column, const QString &text, int drawFlags = DrawDefault, int iconIndex = -1,
                     const QColor &background = QColor());
    QString CellText(int row, int column) const;
    int Rows() const { return m_model->storedRows(); }
    void RemoveRow(int row);

    int SelectedRow() const;
    void SetSelectedRow(int row);
    int SelectedCol() const;
    void SetSelectedCol(int column);

    // The cell's left, top, width and height in twips, relative to the grid.
    void CellBoundary(int row, int column, double &left, double &top, double &width, double &height) const;

    void SetGridLines(bool on);
    bool GridLines() const { return showGrid(); }
    void SetHotTrack(bool on);
    bool HotTrack() const { return m_hotTrack; }
    int HotRow() const { return m_hotRow; }
    void SetImageList(cImageList *images) { m_images = images; }

    GridModel *Model() const { return m_model; }

signals:
    // A click on a cell, after the selection names it (the four values of the
    // original notification carry nothing the program uses).
    void Click();
    void DblClick(int row, int column);
    // The selected cell moved without a click (keyboard).
    void SelectionMoved(int row, int column);

protected:
    void doItemsLayout() override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void currentChanged(const QModelIndex &current, const QModelIndex &previous) override;
    void mousePressEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    GridModel *m_model;
    cImageList *m_images = nullptr;
    bool m_redraw = true;
    bool m_hotTrack = false;
    int m_hotRow = -1;
    bool m_mouseDown = false;
    bool m_keyboardMove = false;
    int m_currentColumn = 0;
    int m_appendedFrom = -1; // rows from here on were shown by FlushRows since the last layout
};
