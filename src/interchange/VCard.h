#pragma once

// Reading and writing vCard 2.1, 3.0 and 4.0 text: the syntax only (lines,
// folding, parameters, encodings, escapes). What a card means for a contact
// is ContactCard's business.

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

namespace VCard {

enum class Version { V21, V30, V40 };

struct Param
{
    QString name;       // upper case; a 2.1 bare type ("TEL;HOME") is a TYPE
    QStringList values; // as given, quotes and RFC 6868 escapes resolved; TYPE=a,b gives two
    // A parameter named twice (TYPE=a;TYPE=b, 2.1's ;a;b) is read as one
    // with all the values, in order.

    friend bool operator==(const Param &, const Param &) = default;
};

struct Property
{
    QString group; // "item1" of "item1.TEL", as written
    QString name;  // upper case: "TEL", "X-ABLABEL"
    // ENCODING and CHARSET are not kept: they are undone while reading.
    QList<Param> params;
    // The value as text: unfolded, quoted-printable and charset decoded,
    // backslash escapes still in place (components and lists need them).
    // A newline that quoted-printable carried is the escape \n here too.
    // A 4.0 data: URI stays here as it is (it is not decoded into binary).
    QString value;
    // An ENCODING=b / BASE64 value, decoded; empty otherwise.
    QByteArray binary;
    int line = 0; // where the property starts in the input, from 1

    // Every value of the named parameter (case-insensitive name).
    QStringList param(const QString &name) const;
    // Whether TYPE holds `type` (case-insensitive), also inside "a,b".
    bool hasType(const QString &type) const;
    // The value with escapes resolved (\\ \, \; \n \N \: ).
    QString text() const;
    // The value split at unescaped ';', each part unescaped: N, ADR, ORG.
    QStringList components() const;
    // The value split at unescaped ',', each part unescaped: CATEGORIES.
    QStringList list() const;

    // The property as one logical line in UTF-8 3.0/4.0 form, as kept beside
    // a contact: "item1.X-ABLABEL:iPhone", "BDAY;VALUE=date:1990-01-01". An
    // encoding that was undone while reading (quoted-printable, a charset)
    // is not repeated; a binary value is written as ENCODING=b.
    QString toLine() const;
    // Reads such a line back; false when it is not one.
    static bool fromLine(const QString &line, Property &out);
};

struct Card
{
    QString version; // "2.1", "3.0", "4.0", as the card says (empty if it did not)
    QList<Property> properties; // without BEGIN, VERSION and END
    int line = 0; // the BEGIN:VCARD line

    const Property *first(const QString &name) const;
    QList<const Property *> all(const QString &name) const;
};

// A card the reader could not take, and why (said to the user).
struct Problem
{
    // The BEGIN line of a card without END; else the line of the property
    // that broke the card.
    int line = 0;
    QString reason;
};

// Whether the data starts (after a byte order mark, blank or junk lines of a
// few kilobytes at most) like a vCard file.
bool LooksLikeVCard(QByteArrayView data);

// Reads the cards of a file one after another. A broken card (no END, a line
// without a colon, an unknown encoding, a nested BEGIN, a value beyond the
// size limit) is skipped with its line and reason; reading goes on after it.
class Reader
{
public:
    // `data` must live as long as the reader.
    explicit Reader(QByteArrayView data);
    enum class Result { Card, Skipped, End };
    Result next(Card &card, Problem &problem);
    // How far reading has come, in bytes, for a progress bar.
    qsizetype position() const;

    // A property value larger than this (a 100 MB photo) makes its card skipped.
    static constexpr qsizetype kMaxValueBytes = 16 * 1024 * 1024;

private:
    QByteArrayView m_data;
    qsizetype m_pos = 0;
    int m_line = 0;
};

// Writes cards: UTF-8 (2.1: quoted-printable with CHARSET=UTF-8 where a value
// is not plain ASCII), CRLF, folded at 75 octets without splitting a character.
class Writer
{
public:
    explicit Writer(Version version);
    Version version() const { return m_version; }

    void begin(); // BEGIN:VCARD and VERSION
    void end();   // END:VCARD

    // A text value, escaped for the version.
    void text(const QString &name, const QString &value, const QList<Param> &params = {});
    // Components joined with ';' (N, ADR, ORG), each escaped.
    void components(const QString &name, const QStringList &parts, const QList<Param> &params = {});
    // Values joined with ',' (CATEGORIES), each escaped.
    void list(const QString &name, const QStringList &values, const QList<Param> &params = {});
    // Binary data (PHOTO): 2.1 ENCODING=BASE64;TYPE=JPEG, 3.0 ENCODING=b;TYPE=JPEG,
    // 4.0 a data: URI. `mediaType` is "image/jpeg" and the like.
    // (property() writes a binary value as ENCODING=b in 4.0 as well, so that
    // it reads back as the same property.)
    void binary(const QString &name, const QByteArray &data, const QString &mediaType);
    // A property as read (or kept), written back for this version unchanged
    // in meaning.
    void property(const Property &property);

    // A logical line as it is (head, ':' and value, escaped), folded.
    void foldedLine(QByteArrayView logical);

    const QByteArray &data() const { return m_out; }
    QByteArray take();
    // Writes on into `buffer`, emptied: memory an earlier take() gave out.
    void adopt(QByteArray &&buffer)
    {
        m_out = std::move(buffer);
        m_out.resize(0);
    }
    // Empties the output, keeping its memory for what comes next.
    void clear() { m_out.resize(0); }

private:
    void line(const QByteArray &logical);
    // 3.0/4.0: head:value as one folded line. 2.1: the same when it fits
    // plainly, else quoted-printable (UTF-8 when not ASCII).
    void valueLine(const QByteArray &head, const QString &value);
    Version m_version;
    QByteArray m_out;
};

} // namespace VCard
