#include "controls/GridModel.h"

#include <QBrush>

#include <cstring>

namespace {
constexpr quint32 kChunkSize = 1u << 20;
// Record header: marked (u32), ellipsis (u32), colour (u8), wide (u8), cell count (u8).
constexpr int kHeader = 11;
constexpr int kColour = 8, kWide = 9, kCount = 10;
// The colour of a row whose marks are decided when asked for.
constexpr quint8 kLazyColour = 0xFF;

template <typename T>
T readAt(const char *p)
{
    T v;
    std::memcpy(&v, p, sizeof(T));
    return v;
}
template <typename T>
void writeAt(char *p, T v)
{
    std::memcpy(p, &v, sizeof(T));
}
} // namespace

GridModel::GridModel(QObject *parent) : QAbstractTableModel(parent)
{
    m_palette.push_back(QColor());
}

GridModel::~GridModel() = default;

void GridModel::addColumn(const Column &column)
{
    // Marks and draw flags are kept as one bit per column.
    Q_ASSERT(m_columns.size() < size_t(kMarkableColumns));
    const int at = int(m_columns.size());
    beginInsertColumns(QModelIndex(), at, at);
    m_columns.push_back(column);
    endInsertColumns();
}

int GridModel::storedRows() const
{
    return int(m_rows.size()) + (m_pending.row >= 0 ? 1 : 0);
}

void GridModel::clearRows()
{
    beginResetModel();
    // The memory stays for the rows that come next, usually at once; what is
    // left unused goes back with releaseSpare().
    m_rows.clear();
    for (size_t i = 0; i < m_chunks.size(); ++i) {
        if (m_chunkSizes[i] == kChunkSize)
            m_spare.push_back(std::move(m_chunks[i]));
    }
    m_chunks.clear();
    m_chunkSizes.clear();
    m_used = 0;
    m_pending = Pending();
    m_palette.resize(1);
    m_lazy.reset();
    m_announced = 0;
    endResetModel();
}

void GridModel::store(const QByteArrayView *cells, int count, quint32 marked, quint32 ellipsis, quint8 colour,
                      int replaceRow) const
{
    qsizetype textBytes = 0;
    for (int i = 0; i < count; ++i)
        textBytes += cells[i].size();
    const bool wide = textBytes > 0xFFFF;
    const quint32 need = quint32(kHeader + count * (wide ? 4 : 2) + textBytes);

    if (m_chunks.empty() || m_used + need > m_chunkSizes.back()) {
        const quint32 size = qMax(kChunkSize, need);
        if (size == kChunkSize && !m_spare.empty()) {
            m_chunks.push_back(std::move(m_spare.back()));
            m_spare.pop_back();
        } else {
            m_chunks.emplace_back(new char[size]);
        }
        m_chunkSizes.push_back(size);
        m_used = 0;
    }
    char *p = m_chunks.back().get() + m_used;
    const RowRef ref{quint32(m_chunks.size() - 1), m_used};
    m_used += need;

    writeAt<quint32>(p, marked);
    writeAt<quint32>(p + 4, ellipsis);
    p[kColour] = char(colour);
    p[kWide] = char(wide ? 1 : 0);
    p[kCount] = char(count);
    char *ends = p + kHeader;
    char *text = ends + count * (wide ? 4 : 2);
    quint32 end = 0;
    for (int i = 0; i < count; ++i) {
        if (!cells[i].isEmpty())
            std::memcpy(text + end, cells[i].data(), size_t(cells[i].size()));
        end += quint32(cells[i].size());
        if (wide)
            writeAt<quint32>(ends + 4 * i, end);
        else
            writeAt<quint16>(ends + 2 * i, quint16(end));
    }
    if (replaceRow >= 0)
        m_rows[size_t(replaceRow)] = ref;
    else
        m_rows.push_back(ref);
}

const char *GridModel::record(int row) const
{
    const RowRef &r = m_rows[size_t(row)];
    return m_chunks[r.chunk].get() + r.offset;
}

void GridModel::commitPending() const
{
    if (m_pending.row < 0)
        return;
    std::vector<QByteArrayView> views(m_pending.cells.begin(), m_pending.cells.end());
    const int replace = m_pending.row < int(m_rows.size()) ? m_pending.row : -1;
    store(views.data(), int(views.size()), m_pending.marked, m_pending.ellipsis, m_pending.colour, replace);
    m_pending = Pending();
}

void GridModel::loadRow(int row, Pending &into) const
{
    // Read the stored record first: `into` may be the pending row itself.
    Pending loaded;
    loaded.cells.resize(m_columns.size());
    const char *p = record(row);
    loaded.marked = readAt<quint32>(p);
    loaded.ellipsis = readAt<quint32>(p + 4);
    loaded.colour = quint8(p[kColour]);
    const int count = quint8(p[kCount]);
    if (m_pending.row == row)
        m_pending = Pending();
    for (int c = 0; c < count && c < int(loaded.cells.size()); ++c) {
        const QByteArrayView v = cellUtf8(row, c);
        loaded.cells[size_t(c)] = QByteArray(v.data(), v.size());
    }
    loaded.row = row;
    into = std::move(loaded);
}

quint8 GridModel::paletteIndex(const QColor &c)
{
    if (!c.isValid())
        return 0;
    for (size_t i = 1; i < m_palette.size(); ++i) {
        if (m_palette[i] == c)
            return quint8(i);
    }
    if (m_palette.size() >= kLazyColour)
        return quint8(m_palette.size() - 1);
    m_palette.push_back(c);
    return quint8(m_palette.size() - 1);
}

void GridModel::setCell(int row, int column, const QString &text, quint8 flags, const QColor &background)
{
    if (row < 0 || column < 0 || column >= columns())
        return;
    if (m_pending.row != row) {
        commitPending();
        // Rows between the last one and `row` come into being empty.
        while (int(m_rows.size()) < row) {
            std::vector<QByteArrayView> none(m_columns.size());
            store(none.data(), int(none.size()), 0, 0, 0, -1);
        }
        if (row < int(m_rows.size())) {
            loadRow(row, m_pending);
            if (m_pending.colour == kLazyColour) {
                // The row is changed cell by cell from now on: its marks become plain ones.
                m_pending.marked = m_lazy ? lazyMarked(row, m_pending.marked) : 0;
                m_pending.colour = m_pending.marked && m_lazy ? paletteIndex(m_lazy->background) : 0;
            }
        } else {
            m_pending = Pending();
            m_pending.row = row;
            m_pending.cells.resize(m_columns.size());
        }
    }
    m_pending.cells[size_t(column)] = text.toUtf8();
    if (column < kMarkableColumns) {
        const quint32 bit = 1u << column;
        const quint8 colour = paletteIndex(background);
        if (colour) {
            m_pending.marked |= bit;
            m_pending.colour = colour;
        } else {
            m_pending.marked &= ~bit;
        }
        if (flags & WordEllipsis)
            m_pending.ellipsis |= bit;
        else
            m_pending.ellipsis &= ~bit;
    }
    if (row < m_announced) {
        commitPending();
        const QModelIndex i = index(row, column);
        emit dataChanged(i, i);
    }
}

void GridModel::appendRow(const QByteArrayView *cells, int count, quint32 marked, quint32 ellipsis,
                          const QColor &background)
{
    commitPending();
    store(cells, qMin(count, columns()), marked, ellipsis, marked ? paletteIndex(background) : 0, -1);
}

void GridModel::setLazyMarks(const FoldedNeedle &needle, quint32 columns, const int *source, const QColor &background)
{
    LazyMarks lazy{needle, columns, {}, background};
    for (int c = 0; c < kMarkableColumns; ++c)
        lazy.source[c] = source && source[c] >= 0 ? source[c] : c;
    m_lazy = std::move(lazy);
}

void GridModel::appendRowMarkedLater(const QByteArrayView *cells, int count, quint32 ellipsis)
{
    commitPending();
    const bool lazy = m_lazy.has_value() && m_lazy->columns;
    store(cells, qMin(count, columns()), lazy ? m_lazy->columns : 0, ellipsis, lazy ? kLazyColour : 0, -1);
}

quint32 GridModel::lazyMarked(int row, quint32 candidates) const
{
    quint32 marked = 0;
    for (int c = 0; c < kMarkableColumns; ++c) {
        if ((candidates & (1u << c)) && m_lazy->needle.foundIn(cellUtf8(row, m_lazy->source[c])))
            marked |= 1u << c;
    }
    return marked;
}

QByteArrayView GridModel::cellUtf8(int row, int column) const
{
    if (row == m_pending.row) {
        if (column < 0 || column >= int(m_pending.cells.size()))
            return QByteArrayView();
        const QByteArray &b = m_pending.cells[size_t(column)];
        return QByteArrayView(b.constData(), b.size());
    }
    if (row < 0 || row >= int(m_rows.size()) || column < 0)
        return QByteArrayView();
    const char *p = record(row);
    const bool wide = p[kWide] != 0;
    const int count = quint8(p[kCount]);
    if (column >= count)
        return QByteArrayView();
    const char *ends = p + kHeader;
    const char *text = ends + count * (wide ? 4 : 2);
    const quint32 end = wide ? readAt<quint32>(ends + 4 * column) : readAt<quint16>(ends + 2 * column);
    const quint32 start =
        column == 0 ? 0 : (wide ? readAt<quint32>(ends + 4 * (column - 1)) : readAt<quint16>(ends + 2 * (column - 1)));
    return QByteArrayView(text + start, qsizetype(end - start));
}

QString GridModel::cellText(int row, int column) const
{
    const QByteArrayView v = cellUtf8(row, column);
    return QString::fromUtf8(v.data(), v.size());
}

QColor GridModel::cellBackground(int row, int column) const
{
    if (column >= kMarkableColumns)
        return QColor();
    quint32 marked;
    quint8 colour;
    if (row == m_pending.row) {
        marked = m_pending.marked;
        colour = m_pending.colour;
    } else {
        if (row < 0 || row >= int(m_rows.size()))
            return QColor();
        const char *p = record(row);
        marked = readAt<quint32>(p);
        colour = quint8(p[kColour]);
    }
    if (!(marked & (1u << column)))
        return QColor();
    if (colour == kLazyColour)
        return m_lazy && lazyMarked(row, 1u << column) ? m_lazy->background : QColor();
    if (colour >= m_palette.size())
        return QColor();
    return m_palette[colour];
}

bool GridModel::cellHasFlag(int row, int column, CellFlag flag) const
{
    if (flag != WordEllipsis || column >= kMarkableColumns)
        return false;
    if (row == m_pending.row)
        return m_pending.ellipsis & (1u << column);
    if (row < 0 || row >= int(m_rows.size()))
        return false;
    return readAt<quint32>(record(row) + 4) & (1u << column);
}

void GridModel::removeRowAt(int row)
{
    commitPending();
    if (row < 0 || row >= int(m_rows.size()))
        return;
    const bool announced = row < m_announced;
    if (announced)
        beginRemoveRows(QModelIndex(), row, row);
    m_rows.erase(m_rows.begin() + row);
    if (announced) {
        --m_announced;
        endRemoveRows();
    }
}

void GridModel::flush()
{
    commitPending();
    const int total = int(m_rows.size());
    if (total <= m_announced)
        return;
    beginInsertRows(QModelIndex(), m_announced, total - 1);
    m_announced = total;
    endInsertRows();
}

void GridModel::releaseSpare()
{
    m_spare.clear();
    m_spare.shrink_to_fit();
    if (m_rows.capacity() > 2 * m_rows.size() + 1024)
        m_rows.shrink_to_fit();
}

qint64 GridModel::memoryUsed() const
{
    qint64 bytes = qint64(m_rows.capacity() * sizeof(RowRef));
    for (quint32 s : m_chunkSizes)
        bytes += s;
    return bytes + qint64(m_spare.size()) * kChunkSize;
}

int GridModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : m_announced;
}

int GridModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : columns();
}

QVariant GridModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return QVariant();
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
    case Qt::ToolTipRole:
        return cellText(index.row(), index.column());
    case Qt::BackgroundRole: {
        const QColor c = cellBackground(index.row(), index.column());
        return c.isValid() ? QVariant(QBrush(c)) : QVariant();
    }
    case Qt::ForegroundRole: {
        // Text stays readable on any highlight colour, black included.
        const QColor c = cellBackground(index.row(), index.column());
        if (!c.isValid())
            return QVariant();
        return QBrush(c.lightness() < 128 ? Qt::white : Qt::black);
    }
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(m_columns[size_t(index.column())].alignment);
    default:
        return QVariant();
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= columns())
        return QVariant();
    if (role == Qt::DisplayRole)
        return m_columns[size_t(section)].header;
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(m_columns[size_t(section)].alignment);
    return QVariant();
}
