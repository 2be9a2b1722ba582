#pragma once

#include <QMessageBox>
#include <QString>
#include <QStringList>

class QWidget;

// Message boxes titled with the application title. A test can queue the next
// answers; a queued answer is taken instead of showing the box, and every text
// asked is recorded either way.
namespace MsgBox {

// Information icon, OK button.
void Inform(QWidget *parent, const QString &text);
// Information icon, Yes and No buttons; true for Yes.
bool AskYesNo(QWidget *parent, const QString &text);
// Critical icon, OK button: a failure the user must know of.
void Fail(QWidget *parent, const QString &text);

// A run without a screen (the offscreen or minimal platform) has nobody to
// click a box, and a modal box would hold the program forever. When headless is
// set, a box is not shown: its text goes to stderr and its default answer (OK,
// or No) is taken. The program sets it at start; tests leave it off and queue
// their answers.
void SetHeadless(bool on);

void QueueAnswers(const QList<QMessageBox::StandardButton> &answers);
QStringList AskedTexts();
void ResetForTests();

} // namespace MsgBox
