#pragma once

#include <QString>

class QWidget;

// Opens a document or web address with the desktop's default application.
// The outcome is not examined. A test can capture the targets instead.
void ShellOpen(QWidget *owner, const QString &target);

namespace ShellOpenForTests {
void Capture(bool on);
QStringList Opened();
} // namespace ShellOpenForTests
