#include "app/mdlMain.h"

#include "context/AppContext.h"
#include "controls/MsgBox.h"
#include "app/CommandLine.h"
#include "app/SingleInstance.h"
#include "app/Termination.h"
#include "mainwindow/frmMain.h"

#include <QApplication>
#include <QPointer>

#include <memory>

namespace {
QPointer<frmMain> g_main;
std::unique_ptr<SingleInstanceGuard> g_guard;
} // namespace

frmMain *MainWindow()
{
    return g_main.data();
}

void DestroyMainWindow()
{
    if (g_main) {
        g_main->close();
        delete g_main.data();
    }
}

StartResult Main()
{
    InitProductConstants();

    g_guard = std::make_unique<SingleInstanceGuard>(QCoreApplication::applicationFilePath());
    if (!g_guard->tryAcquire())
        return StartResult::AlreadyRunning;
    PrepareApplicationFolder();

    // The window lives until the process ends: closing it unloads it, and a
    // fill or dialog still on the stack must not find it deleted.
    auto *window = new frmMain();
    g_main = window;
    if (!window->Load()) {
        delete window;
        return StartResult::Failed;
    }
    window->show();
    return StartResult::Running;
}

int RunArdentia(int argc, char *argv[])
{
    if (const int status = RunCommandLine(argc, argv); status >= 0)
        return status;
    QApplication app(argc, argv);
    QGuiApplication::setDesktopFileName(ApplicationId());
    const QString platform = QGuiApplication::platformName();
    MsgBox::SetHeadless(platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"));
    InstallTerminationHandler();
    switch (Main()) {
    case StartResult::AlreadyRunning:
        return 0;
    case StartResult::Failed:
        return 1;
    case StartResult::Running:
        break;
    }
    const int status = app.exec();
    DestroyMainWindow();
    return status;
}
