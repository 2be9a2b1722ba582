#include "controls/cGrid.h"

#include "controls/TextDirection.h"
#include "controls/Units.h"

#include <QApplication>

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace {

// Ends a text that is too wide with an ellipsis placed after a whole word.
QString elideAtWord(const QString &text, const QFontMetrics &fm, int width)
{
    const QString single = QString(text).replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    if (fm.horizontalAdvance(single) <= width)
        return single;
    const QString ellipsis = QStringLiteral("…");
    qsizetype cut = single.size();
    while (cut > 0) {
        cut = single.lastIndexOf(QLatin1Char(' '), cut - 1);
        if (cut <= 0)
            break;
        const QString candidate = single.left(cut).trimmed() + ellipsis;
        if (fm.horizontalAdvance(candidate) <= width)
            return candidate;
    }
    // A single long word: cut it where it fits.
    return fm.elidedText(single, Qt::ElideRight, width);
}

class GridDelegate : public QStyledItemDelegate
{
public:
    explicit GridDelegate(cGrid *grid) : QStyledItemDelegate(grid), m_grid(grid) {}

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyleOptionViewItem opt(option);
        if (m_grid->HotTrack() && index.row() == m_grid->HotRow() && !(opt.state & QStyle::State_Selected))
            painter->fillRect(opt.rect, opt.palette.color(QPalette::Highlight).lighter(185));
        initStyleOption(&opt, index);
        if (m_grid->Model()->cellHasFlag(index.row(), index.column(), GridModel::WordEllipsis)) {
            opt.text = elideAtWord(opt.text, opt.fontMetrics, opt.rect.width() - 8);
            opt.textElideMode = Qt::ElideNone;
        }
        if (opt.direction == Qt::RightToLeft)
            opt.text = DirectionIsolated(opt.text);
        const QWidget *w = opt.widget;
        QStyle *style = w ? w->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, w);
    }

private:
    cGrid *m_grid;
};

} // namespace

cGrid::cGrid(QWidget *parent) : QTableView(parent), m_model(new GridModel(this))
{
    setModel(m_model);
    setItemDelegate(new GridDelegate(this));
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(false);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(qMax(22, fontMetrics().height() + 6));
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setMinimumSectionSize(8);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    setMouseTracking(true);
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex &index) {
        if (index.isValid())
            emit DblClick(index.row() + 1, index.column() + 1);
    });
}

void cGrid::AddColumn(const QString &key, const QString &header, Qt::Alignment alignment, int iconIndex,
                      int widthPixels, bool visible)
{
    Q_UNUSED(iconIndex);
    GridModel::Column c;
    c.key = key;
    c.header = header;
    c.alignment = alignment | Qt::AlignVCenter;
    c.width = widthPixels;
    c.visible = visible;
    m_model->addColumn(c);
    const int at = m_model->columns() - 1;
    if (widthPixels > 0)
        setColumnWidth(at, widthPixels);
    setColumnHidden(at, !visible);
}

void cGrid::Clear()
{
    m_hotRow = -1;
    m_appendedFrom = -1;
    m_model->clearRows();
}

void cGrid::SetRedraw(bool on)
{
    m_redraw = on;
    if (on) {
        m_model->flush();
        m_model->releaseSpare();
        viewport()->setUpdatesEnabled(true);
        viewport()->update();
    } else {
        viewport()->setUpdatesEnabled(false);
    }
}

void cGrid::FlushRows()
{
    const int before = m_model->announcedRows();
    m_model->flush();
    if (m_model->announcedRows() > before && m_appendedFrom < 0)
        m_appendedFrom = before;
    if (!viewport()->updatesEnabled()) {
        viewport()->setUpdatesEnabled(true);
        viewport()->update();
    }
}

void cGrid::SetCellText(int row, int column, const QString &text, int drawFlags, int iconIndex,
                        const QColor &background)
{
    Q_UNUSED(iconIndex);
    if (row < 1 || column < 1)
        return;
    m_model->setCell(row - 1, column - 1, text,
                     (drawFlags & DrawSingleLineWordEllipsis) ? GridModel::WordEllipsis : GridModel::NoFlags,
                     background);
    if (m_redraw && row > m_model->announcedRows())
        m_model->flush();
}

QString cGrid::CellText(int row, int column) const
{
    return m_model->cellText(row - 1, column - 1);
}

void cGrid::RemoveRow(int row)
{
    m_model->removeRowAt(row - 1);
}

int cGrid::SelectedRow() const
{
    const QModelIndex i = currentIndex();
    return i.isValid() ? i.row() + 1 : 0;
}

void cGrid::SetSelectedRow(int row)
{
    if (row < 1 || row > Rows())
        return;
    if (row > m_model->announcedRows())
        m_model->flush();
    const QModelIndex i = m_model->index(row - 1, qBound(0, m_currentColumn, qMax(0, Columns() - 1)));
    setCurrentIndex(i);
    selectionModel()->select(i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

int cGrid::SelectedCol() const
{
    const QModelIndex i = currentIndex();
    return i.isValid() ? i.column() + 1 : m_currentColumn + 1;
}

void cGrid::SetSelectedCol(int column)
{
    if (column < 1 || column > Columns())
        return;
    m_currentColumn = column - 1;
    const QModelIndex cur = currentIndex();
    if (cur.isValid())
        setCurrentIndex(m_model->index(cur.row(), column - 1));
}

void cGrid::CellBoundary(int row, int column, double &left, double &top, double &width, double &height) const
{
    const QRect r = visualRect(m_model->index(row - 1, column - 1));
    const QPoint origin = viewport()->mapTo(this, r.topLeft());
    left = Units::PixelsToTwipsX(origin.x(), this);
    top = Units::PixelsToTwipsY(origin.y(), this);
    width = Units::PixelsToTwipsX(r.width(), this);
    height = Units::PixelsToTwipsY(r.height(), this);
}

void cGrid::doItemsLayout()
{
    const int from = m_appendedFrom;
    m_appendedFrom = -1;
    // Rows added below the visible ones during a fill change only the scroll
    // range; the rows on screen need no new paint (a long fill adds rows
    // dozens of times a second).
    if (from > 0 && rowViewportPosition(from) >= viewport()->height()) {
        updateGeometries();
        return;
    }
    QTableView::doItemsLayout();
}

void cGrid::SetGridLines(bool on)
{
    setShowGrid(on);
}

void cGrid::SetHotTrack(bool on)
{
    m_hotTrack = on;
    m_hotRow = -1;
    viewport()->update();
}

void cGrid::mouseMoveEvent(QMouseEvent *event)
{
    if (m_hotTrack) {
        const int row = indexAt(event->position().toPoint()).row();
        if (row != m_hotRow) {
            m_hotRow = row;
            viewport()->update();
        }
    }
    QTableView::mouseMoveEvent(event);
}

void cGrid::leaveEvent(QEvent *event)
{
    if (m_hotRow != -1) {
        m_hotRow = -1;
        viewport()->update();
    }
    QTableView::leaveEvent(event);
}

void cGrid::currentChanged(const QModelIndex &current, const QModelIndex &previous)
{
    QTableView::currentChanged(current, previous);
    if (current.isValid())
        m_currentColumn = current.column();
    if (current.isValid() && m_keyboardMove && current != previous)
        emit SelectionMoved(current.row() + 1, current.column() + 1);
}

void cGrid::keyPressEvent(QKeyEvent *event)
{
    m_keyboardMove = true;
    QTableView::keyPressEvent(event);
    m_keyboardMove = false;
}

void cGrid::mousePressEvent(QMouseEvent *event)
{
    m_mouseDown = true;
    QTableView::mousePressEvent(event);
}

void cGrid::mouseReleaseEvent(QMouseEvent *event)
{
    QTableView::mouseReleaseEvent(event);
    const bool wasDown = m_mouseDown;
    m_mouseDown = false;
    if (wasDown && event->button() == Qt::LeftButton && indexAt(event->position().toPoint()).isValid())
        emit Click();
}
