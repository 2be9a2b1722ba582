#include "store/DateText.h"

#include <QLocale>

namespace {

// The locale's long time format without its time-zone part. Locales write the
// zone as " t", " (t)", " [t]" or ", t": the brackets and the separator in front
// of it go with it, or the time would end in "()" or ",".
QString timeFormatWithoutZone(const QLocale &locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    const QStringView before(u" ,([");
    QString plain;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (quoted || c != QLatin1Char('t')) {
            plain.append(c);
            continue;
        }
        while (!plain.isEmpty() && before.contains(plain.back()))
            plain.chop(1);
        while (i + 1 < format.size() && QStringView(u"t)]").contains(format.at(i + 1)))
            ++i;
    }
    return plain.trimmed();
}

} // namespace

QString StoredDateTime(const QDateTime &when)
{
    return when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString GeneralDate(const QString &stored)
{
    QDateTime when = QDateTime::fromString(stored, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!when.isValid())
        when = QDateTime::fromString(stored, Qt::ISODate);
    if (!when.isValid()) {
        const QDate day = QDate::fromString(stored, Qt::ISODate);
        if (!day.isValid())
            return stored;
        when = QDateTime(day, QTime(0, 0));
    }
    const QLocale locale;
    QString text = locale.toString(when.date(), QLocale::ShortFormat);
    if (when.time() != QTime(0, 0))
        text += QLatin1Char(' ') + locale.toString(when.time(), timeFormatWithoutZone(locale));
    return text;
}
