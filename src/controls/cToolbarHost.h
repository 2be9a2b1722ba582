#pragma once

#include <QWidget>

class QHBoxLayout;

// Holds a toolbar inside a band.
class cToolbarHost : public QWidget
{
    Q_OBJECT
public:
    explicit cToolbarHost(QWidget *parent = nullptr);
    void SetToolbar(QWidget *toolbar);

private:
    QHBoxLayout *m_layout;
};
