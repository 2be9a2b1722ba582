#include "controls/MsgBox.h"

#include "context/AppContext.h"

#include <QApplication>

#include <cstdio>

namespace {
QList<QMessageBox::StandardButton> g_queue;
QStringList g_asked;
bool g_headless = false;

QMessageBox::StandardButton show(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                                 QMessageBox::StandardButtons buttons, QMessageBox::StandardButton fallback)
{
    g_asked.append(text);
    if (!g_queue.isEmpty())
        return g_queue.takeFirst();
    if (g_headless) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(App().AppTitle), qPrintable(text));
        return fallback;
    }
    QMessageBox box(icon, App().AppTitle, text, buttons, parent);
    box.setDefaultButton(fallback);
    const int r = box.exec();
    return r == 0 ? fallback : QMessageBox::StandardButton(r);
}
} // namespace

namespace MsgBox {

void Inform(QWidget *parent, const QString &text)
{
    show(parent, QMessageBox::Information, text, QMessageBox::Ok, QMessageBox::Ok);
}

bool AskYesNo(QWidget *parent, const QString &text)
{
    return show(parent, QMessageBox::Information, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

void Fail(QWidget *parent, const QString &text)
{
    show(parent, QMessageBox::Critical, text, QMessageBox::Ok, QMessageBox::Ok);
}

void SetHeadless(bool on)
{
    g_headless = on;
}

void QueueAnswers(const QList<QMessageBox::StandardButton> &answers)
{
    g_queue += answers;
}

QStringList AskedTexts()
{
    return g_asked;
}

void ResetForTests()
{
    g_queue.clear();
    g_asked.clear();
    g_headless = false;
}

} // namespace MsgBox
