#pragma once

#include "support/CoreTestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

class frmMain;
class QTreeWidgetItem;

// A fresh application folder whose message boxes start with nothing queued.
class GuiTempAppFolder : public TempAppFolder
{
public:
    GuiTempAppFolder();
};

// Loads and shows the main window on the application folder's database and
// waits until its first fill has put `expectedRows` rows in the list; null
// when it does not get there.
std::unique_ptr<frmMain> OpenMainWindow(int expectedRows);
// Waits until no fill runs; false after 20 s.
bool WaitForList(frmMain *main);
// The texts of one list column, top to bottom.
QStringList ListColumn(const frmMain *main, int column);
// Clicks a node of the window's tree with the mouse and waits for the list.
void ClickNode(frmMain *main, const QString &key);
// Clicks the toolbar button with this caption (blanks trimmed).
void ClickToolbar(frmMain *main, const QString &caption);
// Opens the menu bar's menu (by its object name, e.g. "mnuFileTop") with a
// click and clicks the entry with that text.
void ChooseMenu(frmMain *main, const char *menuKey, const QString &entry);
// Shows the search bar, types the text, chooses the field and presses Search.
void Search(frmMain *main, const QString &text, int field);

// Acts on the next modal dialog of type T while its exec() runs. It polls, so
// it never blocks: when no such dialog opens within the time limit it stops.
// Any other modal dialog it meets (a message box nobody answered) is rejected
// and counted, so a test can fail instead of hanging.
template <typename T>
class OnModal
{
public:
    explicit OnModal(std::function<void(T *)> act, int limitMs = 5000) : m_act(std::move(act)), m_limit(limitMs)
    {
        m_clock.start();
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { poll(); });
        m_timer.start();
    }
    bool ran() const { return m_ran; }
    int strays() const { return m_strays; }

private:
    void poll()
    {
        QWidget *modal = QApplication::activeModalWidget();
        if (T *dlg = qobject_cast<T *>(modal)) {
            if (!m_ran) {
                m_ran = true;
                m_timer.stop();
                m_act(dlg);
            }
            return;
        }
        if (auto *other = qobject_cast<QDialog *>(modal)) {
            ++m_strays;
            other->reject();
            return;
        }
        if (m_clock.elapsed() > m_limit)
            m_timer.stop();
    }

    std::function<void(T *)> m_act;
    int m_limit;
    QElapsedTimer m_clock;
    QTimer m_timer;
    bool m_ran = false;
    int m_strays = 0;
};
