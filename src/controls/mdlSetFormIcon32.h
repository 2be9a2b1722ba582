#pragma once

#include <QIcon>
#include <QString>

class QWidget;

// The program's icon resource of the given name ("AAA"); a null icon when missing.
QIcon ResourceIcon(const QString &resourceName);

// Gives the window the named icon; with setOwnerToo, the application (the
// top-most owner on the taskbar) gets it as well. Failures are ignored.
void SetFormIcon(QWidget *window, const QString &resourceName, bool setOwnerToo);
