#pragma once

#include "store/Connection.h"
#include "store/FoldedNeedle.h"
#include "store/Recordset.h"
#include "store/Statements.h"

#include <QColor>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

#include <optional>

class cGrid;

// Fills the contact list with the rows of one statement, on the event loop:
// it reads for a few milliseconds, shows what it has, and lets the window
// answer before it reads on, so that a book of any size never holds the
// window. Cancelling it (or deleting it) stops it before its next row; it
// holds its own reference to the connection, which therefore cannot close
// under it.
class ListFill : public QObject
{
    Q_OBJECT
public:
    // Marks in the list: the cells whose text contains the search text, in `colour`.
    struct Marks
    {
        FoldedNeedle needle;
        QColor colour;
    };

    ListFill(SharedConnection cn, cGrid *grid, QObject *parent = nullptr);
    ~ListFill() override;

    // Prepares the statement and clears the list; the rows come in from the
    // event loop. False when the engine refuses the statement (error() says
    // why): the list is left as it was.
    bool start(const Statements::Query &query, std::optional<Marks> marks);
    void cancel();
    bool running() const { return m_running; }
    QString error() const { return m_error; }

signals:
    // The fill ended: `completed` when every row is in; false when it was
    // cancelled or reading failed (error() then says why).
    void finished(bool completed);

private:
    void work();
    void appendCurrentRow();
    void finish(bool completed);

    SharedConnection m_cn; // declared before the record set, which reads through it
    QPointer<cGrid> m_grid;
    Recordset m_rs;
    std::optional<Marks> m_marks;
    QElapsedTimer m_clock;
    qint64 m_deadline = 0;
    bool m_running = false;
    bool m_started = false;
    QString m_error;
    int m_columns[7] = {-1, -1, -1, -1, -1, -1, -1};
};
