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

void QueueAnswers(const QList<QMessageBox::StandardButton> &answers);
QStringList AskedTexts();
void ResetForTests();

} // namespace MsgBox
