#pragma once

#include <QString>
#include <QStringView>
#include <QStringList>

// Phone numbers as the phone network sees them, so that "020 7946 0000" and
// "+44 20 7946 0000" are one number. `region` is the two-letter country a
// number without "+" is dialled in. Safe to call from several threads.
namespace Phone {

// "+442079460000"; empty when the text cannot be read as a number, or is
// too short or too long for one.
QString ToE164(const QString &number, const QString &region);
// The same for many numbers at once, parsed on every core: parsing is slow
// (tens of microseconds a number).
QStringList ToE164(const QStringList &numbers, const QString &region);
// False only when the number cannot be valid anywhere (too short, too long,
// no such country code, not a number at all).
bool PossiblyValid(const QString &number, const QString &region);
// The digits one dials for the number, letters as on a keypad ("1-800-FLOWERS"
// gives 18003569377), an extension ("x12", "ext. 12", "#12", ";ext=12") left
// off. Two numbers that are one number end in the same such digits.
QString DialledDigits(QStringView number);
// The country of the system's locale; "US" when it has none.
QString DefaultRegion();
// The chosen region, or the locale's when none was chosen.
QString RegionOr(const QString &chosen);

} // namespace Phone
