#pragma once

#include "sqlite/Statement.h"

#include <QByteArrayView>
#include <QString>
#include <QVariant>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class Connection;
namespace Statements {
struct Query;
}

// A forward-only record set on one catalogue statement with the operations the
// program relies on. Update and delete act on the current row, found by its
// ContactID. Columns are looked up by name once; row reads go by index.
// Failures throw StoreError.
class Recordset
{
public:
    explicit Recordset(Connection &cn);
    Recordset(const Recordset &) = delete;
    Recordset &operator=(const Recordset &) = delete;

    void open(const QString &statement);
    // open() in two steps: prepare() reports what is wrong with the statement
    // itself, start() reads the first row.
    void prepare(const QString &statement);
    // A list statement that the catalogue marks as sliceable is read in
    // slices of the key range when readInSlices() was set.
    void prepare(const Statements::Query &query);
    void start();
    bool atEnd() const { return m_atEnd; }

    // Set before prepare(): a sliceable statement is then read in slices of
    // the key range, in the same order, so that no single step walks more than
    // a slice of the table, however few rows match. `between` runs between two
    // slices, when no step is in progress; when it returns false the reading
    // pauses there (paused() is true and no row is current) until resume().
    void readInSlices(std::function<bool()> between);
    bool paused() const { return m_paused; }
    void resume();
    void moveNext();
    void close();

    int columnCount() const;
    // Index of the named column in the result, or -1.
    int columnIndex(const char *name) const;

    // The current row's value of a column: null, text or number.
    QVariant field(const char *name) const;
    QVariant field(int column) const;
    // The value as text; null gives the empty text.
    QString text(const char *name) const;
    QString text(int column) const;
    bool isNull(int column) const;
    // The raw UTF-8 bytes of a column, valid until the next move.
    QByteArrayView utf8(int column) const;

    void addNew();
    void setField(const char *name, const QVariant &value);
    void update();
    void deleteCurrent();

    // The key of the current row (or of the row just added).
    qint64 currentKey() const { return m_key; }

private:
    void prepareStatement(const QString &statement, bool sliceable);
    void step();
    bool nextSlice();
    bool advanceSlice();
    void requireCurrent(const char *operation) const;
    int requireColumn(const char *name) const;

    Connection &m_cn;
    std::optional<Statement> m_stmt;
    bool m_atEnd = true;
    bool m_adding = false;
    qint64 m_key = -1;
    int m_keyColumn = -1;
    std::vector<std::pair<QString, QVariant>> m_pending;
    std::function<bool()> m_between;
    bool m_sliced = false;
    bool m_paused = false;
    qint64 m_sliceFrom = 0; // the current slice's first key
    qint64 m_lastKey = 0;   // the table's highest key when the statement started
};
