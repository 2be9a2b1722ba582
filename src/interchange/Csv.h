#pragma once

// Reading and writing comma-separated files: the syntax only (quotes, line
// breaks, delimiters, encodings). What the columns mean for a contact is
// CsvMapping's business.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringView>
#include <QStringList>

namespace Csv {

// A row the reader could not take as it was, and why (said to the user).
struct Problem
{
    int line = 0; // from 1
    QString reason;
};

struct Options
{
    // Empty: a byte order mark says it, else UTF-8 when the bytes are valid
    // UTF-8, else Windows-1252. A name (for QStringDecoder: "ISO-8859-2",
    // "windows-1251") is used for files without a byte order mark.
    QString encoding;
    // Null: the one of , ; and tab that the header line has most of (or a
    // first line "sep=;"). Else an ASCII character.
    QChar delimiter;
};

// A table as read. The rows keep their cells' text once, as UTF-8, with where
// each cell ends, so that a large file takes little more memory than its bytes.
class Table
{
public:
    QStringList header; // the first line's cells, blanks trimmed
    int headerLine = 0;
    QString encoding;   // "UTF-8", "UTF-16LE", "UTF-16BE", "windows-1252" or the name given
    QChar delimiter;
    QList<Problem> problems;
    // Set when the data is no table at all (binary, empty, a header only, too
    // large): then nothing else is.
    QString refused;

    // Rows of only blank cells are left out; each has as many cells as the header.
    qsizetype rowCount() const { return m_lines.size(); }
    int line(qsizetype row) const { return m_lines.at(row); } // where the row starts, from 1
    QString cell(qsizetype row, qsizetype column) const;
    QStringList cells(qsizetype row) const;

private:
    friend Table Read(QByteArrayView data, const Options &options);
    QByteArray m_text;
    QList<quint32> m_ends; // rowCount() * header.size(): where each cell's text ends in m_text
    QList<int> m_lines;
};

// Limits, so that a broken or hostile file cannot hang the reader or take all
// memory: a wider header, a larger file and one whose rows (padded to the
// header's width) hold more cells are refused; a row with a larger cell is
// skipped.
constexpr int kMaxColumns = 1000;
constexpr qsizetype kMaxCellBytes = 1024 * 1024; // of UTF-8
constexpr qsizetype kMaxFileBytes = 128 * 1024 * 1024;
constexpr qsizetype kMaxCells = 10'000'000;

Table Read(QByteArrayView data, const Options &options = {});
// Reads a file; one larger than kMaxFileBytes is refused before it is loaded.
Table ReadFile(const QString &path, const Options &options = {});

// Writes rows: UTF-8, CRLF after every row, a cell quoted when it holds the
// delimiter, a quote, CR or LF, or starts or ends with a blank.
class Writer
{
public:
    explicit Writer(QChar delimiter = u',', bool byteOrderMark = false);
    void row(const QStringList &cells);
    const QByteArray &data() const { return m_out; }
    QByteArray take();
    // Writes on into `buffer`, emptied: memory an earlier take() gave out.
    void adopt(QByteArray &&buffer)
    {
        m_out = std::move(buffer);
        m_out.resize(0);
    }
    // What is written so far, for rows made elsewhere to go on the end.
    QByteArray &buffer() { return m_out; }

private:
    void appendUtf8(QStringView text);

    QChar m_delimiter;
    QByteArray m_out;
};

} // namespace Csv
