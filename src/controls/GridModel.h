#pragma once

#include "store/FoldedNeedle.h"

#include <QAbstractTableModel>
#include <QByteArray>
#include <QByteArrayView>
#include <QColor>
#include <QList>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

// The rows of a cGrid. Each row's cells live in one compact UTF-8 record in
// large shared chunks; a QString is made only when a cell is asked for, so a
// million rows cost little more than their text. Rows added while the grid is
// being filled reach the views only when flushed, in one insertion.
class GridModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    struct Column
    {
        QString key;
        QString header;
        Qt::Alignment alignment = Qt::AlignLeft | Qt::AlignVCenter;
        int width = -1;
        bool visible = true;
    };

    // Per-cell drawing: a cell may carry a background colour and ask for a
    // single line ending in an ellipsis at a word boundary.
    enum CellFlag : quint8 { NoFlags = 0, WordEllipsis = 1 };
    // A grid has at most this many columns: each has one bit for its marks
    // and draw flags.
    static constexpr int kMarkableColumns = 32;

    explicit GridModel(QObject *parent = nullptr);
    ~GridModel() override;

    void addColumn(const Column &column);
    const Column &column(int index) const { return m_columns.at(index); }
    int columns() const { return int(m_columns.size()); }

    // Rows stored, announced or not.
    int storedRows() const;
    void clearRows();
    void removeRowAt(int row);

    // Sets one cell (0-based row and column); rows up to `row` are created.
    void setCell(int row, int column, const QString &text, quint8 flags = NoFlags,
                 const QColor &background = QColor());
    QString cellText(int row, int column) const;
    QByteArrayView cellUtf8(int row, int column) const;
    QColor cellBackground(int row, int column) const;
    bool cellHasFlag(int row, int column, CellFlag flag) const;

    // Appends a whole row at once: `cells` holds one view per column (missing
    // ones empty); `marked` and `ellipsis` are column bit masks; `background`
    // is the colour of the marked cells.
    void appendRow(const QByteArrayView *cells, int count, quint32 marked = 0, quint32 ellipsis = 0,
                   const QColor &background = QColor());

    // Marks decided when a cell is asked for rather than when its row is
    // stored: a cell of a row added with appendRowMarkedLater() whose column is
    // in `columns` has `background` when the text of its column's source
    // (`source[column]`, the column itself when -1) contains the needle. Only
    // the cells that are painted are ever compared. Cleared with the rows.
    void setLazyMarks(const FoldedNeedle &needle, quint32 columns, const int *source, const QColor &background);
    void appendRowMarkedLater(const QByteArrayView *cells, int count, quint32 ellipsis);

    // Tells the views about every row stored since the last flush.
    void flush();
    // Gives back what clearRows() kept for the next rows and was not used
    // again (a refill reuses the memory of the rows it replaces).
    void releaseSpare();
    int announcedRows() const { return m_announced; }

    // Approximate bytes held for the rows.
    qint64 memoryUsed() const;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

private:
    struct RowRef
    {
        quint32 chunk;
        quint32 offset;
    };
    struct Pending
    {
        int row = -1;
        std::vector<QByteArray> cells;
        quint32 marked = 0;
        quint32 ellipsis = 0;
        quint8 colour = 0;
    };

    struct LazyMarks
    {
        FoldedNeedle needle;
        quint32 columns;
        int source[kMarkableColumns];
        QColor background;
    };

    void commitPending() const;
    quint32 lazyMarked(int row, quint32 candidates) const;
    void store(const QByteArrayView *cells, int count, quint32 marked, quint32 ellipsis, quint8 colour,
               int replaceRow) const;
    const char *record(int row) const;
    void loadRow(int row, Pending &into) const;
    quint8 paletteIndex(const QColor &c);

    std::vector<Column> m_columns;
    mutable std::vector<std::unique_ptr<char[]>> m_chunks;
    mutable std::vector<std::unique_ptr<char[]>> m_spare; // whole chunks kept by clearRows()
    mutable std::vector<quint32> m_chunkSizes;
    mutable quint32 m_used = 0; // bytes used in the last chunk
    mutable std::vector<RowRef> m_rows;
    mutable Pending m_pending;
    std::vector<QColor> m_palette; // index 0: no colour
    std::optional<LazyMarks> m_lazy;
    int m_announced = 0;
};
