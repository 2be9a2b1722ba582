#include "editor/EditorDialog.h"

#include "controls/Units.h"

#include <QKeyEvent>
#include <QPushButton>

EditorDialog::EditorDialog(QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                          Qt::MSWindowsFixedSizeDialogHint)
{
    setFont(DialogFont());
}

void EditorDialog::MakePlainButton(QPushButton *button)
{
    button->setAutoDefault(false);
    button->setDefault(false);
}

void EditorDialog::SetClientSizeTwips(double width, double height)
{
    setFixedSize(Units::TwipsToPixelsX(width, this), Units::TwipsToPixelsY(height, this));
}

QFont EditorDialog::DialogFont(const QString &family)
{
    QFont f;
    f.setFamilies({family, QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
    f.setPointSize(8);
    return f;
}

void EditorDialog::keyPressEvent(QKeyEvent *event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Enter:
    case Qt::Key_Return:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}
