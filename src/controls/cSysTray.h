#pragma once

#include <QObject>

class QSystemTrayIcon;

// The notification-area icon; silently absent where the desktop has no tray.
class cSysTray : public QObject
{
    Q_OBJECT
public:
    explicit cSysTray(QObject *parent = nullptr);
    ~cSysTray() override;
    void Show(const QString &tooltip, const QString &iconFile);
    void Remove();
    bool IsShown() const;
    QString ToolTip() const { return m_tooltip; }

private:
    QSystemTrayIcon *m_icon = nullptr;
    QString m_tooltip;
};
