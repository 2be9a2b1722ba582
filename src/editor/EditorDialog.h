#pragma once

#include <QDialog>
#include <QFont>

class QPushButton;

// A modal editor that no stray key can end: Enter presses no button and Escape
// does not cancel, so half-typed input is neither saved nor thrown away by
// accident. Only the dialog's buttons and its close box (Cancel) end it.
// Positions and sizes are given in twips, as the dialogs are designed.
class EditorDialog : public QDialog
{
    Q_OBJECT
public:
    explicit EditorDialog(QWidget *parent = nullptr);

    // A button that Enter never presses, wherever the focus is.
    static void MakePlainButton(QPushButton *button);

    void SetClientSizeTwips(double width, double height);
    // The dialog font: Tahoma where it exists, a plain sans serif otherwise.
    static QFont DialogFont(const QString &family = QStringLiteral("Tahoma"));

protected:
    void keyPressEvent(QKeyEvent *event) override;
};
