#include "app/mdlMain.h"

#include "app/AppContext.h"
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

    auto *window = new frmMain();
    window->setAttribute(Qt::WA_DeleteOnClose);
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
    QApplication app(argc, argv);
    InstallTerminationHandler();
    switch (Main()) {
    case StartResult::AlreadyRunning:
        return 0;
    case StartResult::Failed:
        return 1;
    case StartResult::Running:
        break;
    }
    return app.exec();
}
