#include "store/DateText.h"

#include <QLocale>

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
    if (when.time() != QTime(0, 0)) {
        // The long time of the locale, without its time-zone part.
        QString format = locale.timeFormat(QLocale::LongFormat);
        QString plain;
        bool quoted = false;
        for (const QChar c : format) {
            if (c == QLatin1Char('\''))
                quoted = !quoted;
            if (!quoted && c == QLatin1Char('t'))
                continue;
            plain.append(c);
        }
        text += QLatin1Char(' ') + locale.toString(when.time(), plain.trimmed());
    }
    return text;
}
