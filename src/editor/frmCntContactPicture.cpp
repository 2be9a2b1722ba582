// The contact picture: a path to an image file anywhere on the user's disks,
// shown in the editor's upper right corner. The file is never copied or changed.
#include "editor/frmCntContact.h"

#include "controls/MsgBox.h"
#include "controls/Units.h"
#include "controls/mdlCommDialog.h"

#include "controls/Picture.h"

#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

QString frmCntContact::PictureFilter()
{
    // The filter keeps its text; PNG is matched as well, since the loader reads
    // it and most pictures are saved as PNG today.
    const QChar nul(0);
    return QStringLiteral("media files (*.bmp; *.gif; *.jpg; *.jpeg)") + nul +
           QStringLiteral("*.bmp; *.gif; *.jpg; *.jpeg; *.png") + nul + nul;
}

void frmCntContact::buildPicture()
{
    const QColor blue = Units::ColorFromBgr(0x00FF0000);
    const QColor grey = Units::ColorFromBgr(0x00C0C0C0);

    // Links in look, buttons in behaviour: they take the focus, answer Space,
    // and a screen reader names them.
    lblAdd = new QPushButton(QStringLiteral("Add"), this);
    lblAdd->setObjectName(QStringLiteral("lblAdd"));
    lblRemove = new QPushButton(QStringLiteral("Remove"), this);
    lblRemove->setObjectName(QStringLiteral("lblRemove"));
    for (QPushButton *link : {lblAdd, lblRemove}) {
        link->setFlat(true);
        link->setAutoDefault(false);
        link->setFocusPolicy(Qt::StrongFocus);
        link->setCursor(Qt::PointingHandCursor);
        link->setStyleSheet(QStringLiteral("QPushButton { color: %1; border: none; padding: 0px; text-align: left; }"
                                           "QPushButton:focus, QPushButton:hover { text-decoration: underline; }")
                                .arg(blue.name()));
    }
    lblAdd->setAccessibleName(QStringLiteral("Add picture"));
    lblRemove->setAccessibleName(QStringLiteral("Remove picture"));
    connect(lblAdd, &QPushButton::clicked, this, &frmCntContact::ChoosePicture);
    connect(lblRemove, &QPushButton::clicked, this, &frmCntContact::RemovePicture);

    Shape1 = new QFrame(this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setFrameShape(QFrame::Box);
    Shape1->setFrameShadow(QFrame::Plain);

    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setAlignment(Qt::AlignCenter);
    Image1->setAccessibleName(QStringLiteral("Contact picture"));

    lblClickToAddPic = new QLabel(QStringLiteral("Click here to add a picture"), this);
    lblClickToAddPic->setObjectName(QStringLiteral("lblClickToAddPic"));
    lblClickToAddPic->setAlignment(Qt::AlignCenter);
    lblClickToAddPic->setWordWrap(true);
    QPalette p = lblClickToAddPic->palette();
    p.setColor(QPalette::WindowText, grey);
    lblClickToAddPic->setPalette(p);

    // The links take the room their text needs where the design's boxes are
    // too narrow for this font.
    auto linkSize = [](const QPushButton *link) {
        return QSize(link->fontMetrics().horizontalAdvance(link->text()) + 4, link->fontMetrics().height() + 2);
    };
    const int top = Units::TwipsToPixelsY(220, this);
    lblAdd->setGeometry(QRect(QPoint(Units::TwipsToPixelsX(4320, this), top), linkSize(lblAdd)));
    const int removeLeft =
        qMax(Units::TwipsToPixelsX(4680, this), lblAdd->geometry().right() + Units::TwipsToPixelsX(60, this));
    lblRemove->setGeometry(QRect(QPoint(removeLeft, top), linkSize(lblRemove)));
    Units::PlaceTwips(Shape1, 4320, 480, 2295, 1575);
    Units::PlaceTwips(Image1, 4440, 600, 2055, 1335);
    // The placeholder is centred in the picture's box, where the design puts
    // its middle, with room for its two lines.
    lblClickToAddPic->setGeometry(Image1->geometry());

    for (QWidget *w : {static_cast<QWidget *>(Image1), static_cast<QWidget *>(lblClickToAddPic)})
        w->installEventFilter(this);
}

// Shows the picture fitted into its box with its proportions kept. False when
// the file is not a readable image; what was shown before stays.
bool frmCntContact::loadPicture(const QString &path)
{
    const QImage image = LoadFittedImage(path, Image1->size());
    if (image.isNull())
        return false;
    Image1->setPixmap(QPixmap::fromImage(image));
    return true;
}

bool frmCntContact::PictureShown() const
{
    return !Image1->pixmap().isNull();
}

void frmCntContact::ChoosePicture()
{
    OpenFileRequest request;
    request.Filter = PictureFilter();
    request.Title = QStringLiteral("Choose a picture");
    const SelectedFiles chosen = ShowOpenDialog(request, this, true);
    if (chosen.Cancelled || chosen.FileCount < 1)
        return;
    // A file that is no picture is refused: the picture shown and the one
    // saved must stay the same.
    const QString path = chosen.FilePath(1);
    if (!loadPicture(path)) {
        MsgBox::Inform(this, QStringLiteral("The file %1 is not a picture that can be shown.")
                                 .arg(QDir::toNativeSeparators(path)));
        return;
    }
    m_picturePath = path;
    lblClickToAddPic->hide();
}

void frmCntContact::RemovePicture()
{
    if (m_picturePath.isEmpty())
        return;
    if (!MsgBox::AskYesNo(this, QStringLiteral("Remove this contact picture ?")))
        return;
    Image1->clear();
    m_picturePath.clear();
    lblClickToAddPic->show();
}

// A stored path is kept even when its file is gone or unreadable, so a save
// writes it back unchanged; the placeholder then stays.
void frmCntContact::showStoredPicture(const QString &path)
{
    if (path.isEmpty())
        return;
    m_picturePath = path;
    if (QFileInfo::exists(path) && loadPicture(path))
        lblClickToAddPic->hide();
}

// A picture path from an earlier version: shown when its file is there, kept either way.
void frmCntContact::setPicture(const QString &path)
{
    Image1->clear();
    m_picturePath.clear();
    lblClickToAddPic->show();
    showStoredPicture(path);
}
