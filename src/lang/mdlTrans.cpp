#include "lang/mdlTrans.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

namespace {
QStringList g_table;
bool g_rtl = false;

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
    QFile file(path);
    if (!file.exists())
        return kErrFileNotFound;
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        return kErrPathAccess;
    const QByteArray bytes = file.readAll();
    file.close();

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
