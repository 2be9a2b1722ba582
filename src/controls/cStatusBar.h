#pragma once

#include <QStatusBar>

// The main window's status bar.
class cStatusBar : public QStatusBar
{
    Q_OBJECT
public:
    explicit cStatusBar(QWidget *parent = nullptr) : QStatusBar(parent) {}
};
