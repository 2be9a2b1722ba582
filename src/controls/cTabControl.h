#pragma once

#include <QWidget>

class QTabBar;
class cImageList;

// Tabs above a framed client area; the pages are placed over the client area
// by the window that owns them.
class cTabControl : public QWidget
{
    Q_OBJECT
public:
    explicit cTabControl(QWidget *parent = nullptr);
    void SetImageList(cImageList *images) { m_images = images; }
    void AddTab(const QString &key, const QString &caption, int image = -1);
    // The client area in pixels, relative to the control's parent.
    QRect ClientRect() const;
    QString SelectedKey() const;
    void SelectTab(const QString &key);
    QTabBar *Bar() const { return m_bar; }

signals:
    void TabSelected(const QString &key);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    QTabBar *m_bar;
    cImageList *m_images = nullptr;
    QStringList m_keys;
};
