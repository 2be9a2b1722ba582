#include "lang/mdlTrans.h"

#include <QFile>
#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
QStringList g_table;
bool g_rtl = false;

// Reading stops here even when the lines have not all ended: a file of
// language texts is a few kilobytes.
constexpr qint64 kMostBytes = 16 << 20;

// The bytes of the file's first kLinesRead lines. Only a regular file is
// read: a pipe would block the start-up and a device might never end. It is
// opened without blocking and checked on the open descriptor, so nothing can
// be swapped in between.
int readHead(const QString &path, QByteArray &bytes)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT || errno == ENOTDIR ? mdlTrans::kErrFileNotFound : mdlTrans::kErrPathAccess;
    struct stat st = {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return mdlTrans::kErrPathAccess;
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return mdlTrans::kErrPathAccess;
    }
    int lineEnds = 0;
    char chunk[65536];
    // A line ends in one or two of these bytes: twice the lines, and a few
    // over, are always enough.
    while (bytes.size() < kMostBytes && lineEnds <= 2 * mdlTrans::kLinesRead + 2) {
        const qint64 n = file.read(chunk, sizeof chunk);
        if (n <= 0)
            break;
        for (qint64 i = 0; i < n; ++i)
            lineEnds += chunk[i] == '\n' || chunk[i] == '\r';
        bytes.append(chunk, n);
    }
    return 0;
}

void ensureSize()
{
    while (g_table.size() < mdlTrans::kEntries)
        g_table.append(QString());
}
} // namespace

namespace mdlTrans {

int LoadLanguageFile(const QString &path)
{
    ensureSize();
    QByteArray bytes;
    const int opened = readHead(path, bytes);
    if (opened != 0)
        return opened;

    // UTF-8; bytes that are not UTF-8 read as replacement characters, never fail.
    QStringDecoder decode(QStringDecoder::Utf8);
    QString text = decode(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);

    // A line ends with CR LF, CR alone or LF alone.
    qsizetype pos = 0;
    const qsizetype n = text.size();
    for (int line = 1; line <= kLinesRead; ++line) {
        if (pos >= n)
            return kErrEndOfFile;
        qsizetype end = pos;
        while (end < n && text.at(end) != QLatin1Char('\r') && text.at(end) != QLatin1Char('\n'))
            ++end;
        g_table[line] = text.mid(pos, end - pos);
        if (end < n && text.at(end) == QLatin1Char('\r') && end + 1 < n && text.at(end + 1) == QLatin1Char('\n'))
            pos = end + 2;
        else
            pos = end + 1;
    }
    if (g_table.at(10) == QLatin1String("RTL"))
        g_rtl = true;
    return 0;
}

QString Trans(int index)
{
    if (index < 0 || index >= g_table.size())
        return QString();
    return g_table.at(index);
}

bool RightToLeft()
{
    return g_rtl;
}

void ResetLanguage()
{
    g_table.clear();
    ensureSize();
    g_rtl = false;
}

} // namespace mdlTrans
