#include "mainwindow/ListFill.h"

#include "controls/cGrid.h"
#include "mainwindow/ListColumns.h"
#include "store/DateText.h"
#include "store/StoreError.h"

#include <QTimer>

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

// How long a fill reads before it shows its rows and lets the window answer:
// the first rows show at once, then every 16 ms.
constexpr qint64 kFirstSliceMs = 1;
constexpr qint64 kSliceMs = 16;

// The item text of the first entry of a stored list: the text before the
// first ":*:".
QByteArrayView firstItem(QByteArrayView list)
{
    const char *begin = list.data();
    const char *end = begin + list.size();
    // A colon is rare in an item, so looking for it first is quick.
    for (const char *at = begin; end - at >= 3;) {
        at = static_cast<const char *>(std::memchr(at, ':', size_t(end - at - 2)));
        if (!at)
            break;
        if (at[1] == '*' && at[2] == ':')
            return list.first(at - begin);
        ++at;
    }
    return QByteArrayView();
}

enum Source { SrcId, SrcFirst, SrcLast, SrcCategory, SrcPhones, SrcMails, SrcRemoved, SrcCount };

// Columns 4 to 8 are marked, drawn on one line with a word ellipsis: each by
// its own value, the phone and mail cells by the whole list text.
constexpr quint32 kMarkedColumns = (1u << (ColFirstName - 1)) | (1u << (ColLastName - 1)) |
                                   (1u << (ColCategory - 1)) | (1u << (ColFirstPhone - 1)) |
                                   (1u << (ColFirstMail - 1));

} // namespace

ListFill::ListFill(SharedConnection cn, cGrid *grid, QObject *parent)
    : QObject(parent), m_cn(std::move(cn)), m_grid(grid), m_rs(*m_cn)
{
}

// Deleted, it stops without a word: whoever would hear of it may be going too.
ListFill::~ListFill()
{
    m_running = false;
    if (m_grid)
        m_grid->SetRedraw(true);
}

bool ListFill::start(const Statements::Query &query, std::optional<Marks> marks)
{
    // Between two slices of the table: go on while the time lasts.
    m_rs.readInSlices([this] { return m_clock.elapsed() < m_deadline; });
    try {
        m_rs.prepare(query);
    } catch (const StoreError &e) {
        m_error = e.message();
        return false;
    }
    const char *names[] = {"ContactID", "First_Name", "Last_Name", "Category", "Phones", "Mails", "RemovedAt"};
    for (int i = 0; i < SrcCount; ++i)
        m_columns[i] = m_rs.columnIndex(names[i]);
    m_marks = std::move(marks);

    m_grid->Clear();
    m_grid->SetRedraw(false);
    if (m_marks) {
        // The grid compares only the cells it paints.
        int source[GridModel::kMarkableColumns];
        std::fill(std::begin(source), std::end(source), -1);
        source[ColFirstPhone - 1] = ColPhones - 1;
        source[ColFirstMail - 1] = ColMails - 1;
        m_grid->Model()->setLazyMarks(m_marks->needle, kMarkedColumns, source, m_marks->colour);
    }
    m_running = true;
    m_clock.start();
    QTimer::singleShot(0, this, &ListFill::work);
    return true;
}

void ListFill::cancel()
{
    if (!m_running)
        return;
    m_rs.close();
    finish(false);
}

void ListFill::appendCurrentRow()
{
    auto cell = [this](int source) {
        return m_columns[source] < 0 ? QByteArrayView() : m_rs.utf8(m_columns[source]);
    };
    QByteArrayView cells[12];
    const QByteArrayView phones = cell(SrcPhones);
    const QByteArrayView mails = cell(SrcMails);
    cells[ColContactID - 1] = cell(SrcId);
    cells[ColFirstName - 1] = cell(SrcFirst);
    cells[ColLastName - 1] = cell(SrcLast);
    cells[ColCategory - 1] = cell(SrcCategory);
    cells[ColFirstPhone - 1] = firstItem(phones);
    cells[ColPhones - 1] = phones;
    cells[ColFirstMail - 1] = firstItem(mails);
    cells[ColMails - 1] = mails;
    // Only the Recycle bin has it: a few rows, shown as dates are shown.
    QByteArray removed;
    if (m_columns[SrcRemoved] >= 0) {
        const QByteArrayView stored = cell(SrcRemoved);
        removed = GeneralDate(QString::fromUtf8(stored.data(), stored.size())).toUtf8();
        cells[ColRemoved - 1] = removed;
    }
    if (m_marks)
        m_grid->Model()->appendRowMarkedLater(cells, 12, kMarkedColumns);
    else
        m_grid->Model()->appendRow(cells, 12);
}

void ListFill::work()
{
    if (!m_running)
        return;
    if (!m_grid) {
        finish(false);
        return;
    }
    m_deadline = m_clock.elapsed() + (m_started ? kSliceMs : kFirstSliceMs);
    try {
        if (!m_started) {
            m_started = true;
            m_rs.start();
        } else if (m_rs.paused()) {
            m_rs.resume();
        }
        unsigned rows = 0;
        while (!m_rs.atEnd() && !m_rs.paused()) {
            appendCurrentRow();
            m_rs.moveNext();
            // The clock is read every few rows: a row takes well under a
            // microsecond, and a step never walks more than a slice.
            if ((++rows & 15) == 0 && m_clock.elapsed() >= m_deadline)
                break;
        }
    } catch (const StoreError &e) {
        m_error = e.message();
        finish(false);
        return;
    }
    if (m_rs.atEnd()) {
        finish(true);
        return;
    }
    m_grid->FlushRows();
    if (!m_marks && m_grid->SelectedRow() == 0 && m_grid->Rows() > 0)
        m_grid->SetSelectedRow(1);
    QTimer::singleShot(0, this, &ListFill::work);
}

void ListFill::finish(bool completed)
{
    m_running = false;
    m_rs.close();
    if (m_grid) {
        m_grid->SetRedraw(true);
        if (completed && !m_marks && m_grid->Rows() > 0 && m_grid->SelectedRow() == 0)
            m_grid->SetSelectedRow(1);
    }
    emit finished(completed);
}
