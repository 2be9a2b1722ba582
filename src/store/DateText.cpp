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
    // The stored text is a wall-clock time: read without a time zone, so that a
    // time the local clock skips when it is put forward is still shown.
    QDate day = QDate::fromString(stored.left(10), Qt::ISODate);
    QTime time(0, 0);
    if (day.isValid() && stored.size() > 10) {
        const QChar sep = stored.at(10);
        time = sep == QLatin1Char(' ') || sep == QLatin1Char('T') ? QTime::fromString(stored.mid(11), Qt::ISODate)
                                                                  : QTime();
        if (!time.isValid()) {
            // ISO text with a zone of its own ("Z", "+01:00").
            const QDateTime zoned = QDateTime::fromString(stored, Qt::ISODate);
            day = zoned.date();
            time = zoned.time();
        }
    }
    if (!day.isValid() || !time.isValid())
        return stored;
    const QLocale locale;
    QString text = locale.toString(day, QLocale::ShortFormat);
    if (time != QTime(0, 0))
        text += QLatin1Char(' ') + locale.toString(time, timeFormatWithoutZone(locale));
    return text;
}
