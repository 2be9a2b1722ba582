#pragma once

#include "store/mdlMDB.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTimer>

#include <functional>

// The shared connection on the test's application folder, for tests that use
// the editor without a main window.
struct OpenDb
{
    OpenDb() { mdlMDB::OpenDatabase(QStringLiteral("/db/db.sqlite"), SharedDb()); }
    ~OpenDb() { mdlMDB::CloseDatabase(SharedDb()); }
    OpenDb(const OpenDb &) = delete;
    OpenDb &operator=(const OpenDb &) = delete;
};

// Acts on the next modal dialog of type T while its exec() runs. It polls, so
// it never blocks: when no such dialog opens within the time limit it stops.
// Any other modal window it meets (a message box nobody answered) is rejected
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
