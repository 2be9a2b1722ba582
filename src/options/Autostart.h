#pragma once

#include <QString>

// Starting with the desktop session: an XDG autostart entry for this program
// in the user's configuration folder.
namespace Autostart {
QString EntryPath();
// Writes (on) or removes (off) the entry; false when the file system refused.
bool Apply(bool on);
bool IsOn();
} // namespace Autostart
