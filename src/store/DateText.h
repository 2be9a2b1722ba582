#pragma once

#include <QDateTime>
#include <QString>

// Date_Registed is kept as ISO text ("YYYY-MM-DD HH:MM:SS") and shown in the
// general date form: the short date, a blank and the long time, the time left
// out at exactly midnight. A stored text that is not ISO is shown as it stands.
QString StoredDateTime(const QDateTime &when);
QString GeneralDate(const QString &stored);
