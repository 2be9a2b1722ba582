#pragma once

class QLineEdit;

// A gentle word on a phone number that cannot be valid where it would be
// dialled (too short, too long, no such country code): a warning sign inside
// the box, its reason in the tip. The number is kept as typed all the same.
void WatchPhoneNumber(QLineEdit *box);
