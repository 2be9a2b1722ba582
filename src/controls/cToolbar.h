#pragma once

#include <QToolBar>

class cImageList;
class cMenu;
class QMenuBar;
class QToolButton;

// A row of buttons (captions with their images) or a menu bar line.
class cToolbar : public QToolBar
{
    Q_OBJECT
public:
    explicit cToolbar(QWidget *parent = nullptr);

    void SetImageList(cImageList *images) { m_images = images; }
    // Buttons of at least `buttonWidth` pixels, captions shown with the images.
    void CreateToolbar(int buttonWidth, bool captionsWithImages = true);
    // Adds a button (or, with an empty caption and image -1, a separator); returns its index from 0.
    int AddButton(const QString &caption, const QString &tooltip = QString(), int image = -1, bool separator = false);
    void SetButtonEnabled(int index, bool enabled);
    void SetButtonVisible(int index, bool visible);
    QToolButton *Button(int index) const;
    int ButtonCount() const { return int(m_buttons.size()); }
    // Turns the toolbar into the menu bar of the model.
    QMenuBar *CreateFromMenu(cMenu *menu);

signals:
    void ButtonClick(int index);

private:
    cImageList *m_images = nullptr;
    QList<QAction *> m_buttons;
    int m_buttonWidth = 0;
};
