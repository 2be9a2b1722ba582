#pragma once

#include <QMainWindow>

// The main window. Load opens the contact database; closing the window
// unloads it and closes the database.
class frmMain : public QMainWindow
{
    Q_OBJECT
public:
    explicit frmMain(QWidget *parent = nullptr);
    ~frmMain() override;

    // Runs the load steps; false when the window cannot finish loading (the
    // database cannot be opened); the user has been told why.
    bool Load();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void Unload();
    bool m_loaded = false;
};
