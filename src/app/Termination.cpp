#include "app/Termination.h"

#include "context/AppContext.h"

#include <QApplication>
#include <QPointer>
#include <QSessionManager>
#include <QSocketNotifier>
#include <QWidget>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A signal handler may do almost nothing: it writes the signal number into a
// socket, and the event loop does the real work when it reads it.
int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_pending = 0;
bool g_requested = false;
bool g_closingAll = false;
QPointer<QSocketNotifier> g_notifier;

void onSignal(int sig)
{
    if (g_pending) {
        // The first request was never served: the event loop is stuck, so the
        // second one ends the process the usual way.
        std::signal(sig, SIG_DFL);
        std::raise(sig);
        return;
    }
    g_pending = 1;
    const int savedErrno = errno;
    const char byte = char(sig);
    [[maybe_unused]] const ssize_t n = ::write(g_pipe[0], &byte, 1);
    errno = savedErrno;
}

void closeAllWindows()
{
    const bool wasClosing = g_closingAll;
    g_closingAll = true;
    App().Terminating = true;
    // Closing one window may delete others; and one that refuses must not keep
    // the rest from saving.
    QList<QPointer<QWidget>> windows;
    for (QWidget *w : QApplication::topLevelWidgets())
        windows.append(w);
    for (const QPointer<QWidget> &w : windows) {
        if (w && w->isVisible())
            w->close();
    }
    g_closingAll = wasClosing;
    App().Terminating = g_requested || g_closingAll;
}

void onSignalRead()
{
    char buffer[64];
    while (::read(g_pipe[1], buffer, sizeof buffer) > 0) {
    }
    g_requested = true;
    App().Terminating = true;
    closeAllWindows();
    // exit() rather than quit(): a window that still refuses to close must
    // not keep the process alive against the request.
    QCoreApplication::exit(0);
    g_pending = 0;
}

} // namespace

void InstallTerminationHandler()
{
    if (g_notifier || !qApp)
        return;
    if (g_pipe[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pipe) != 0)
            return;
        // Neither side may ever block: not the handler, nor the drain loop.
        ::fcntl(g_pipe[0], F_SETFL, ::fcntl(g_pipe[0], F_GETFL) | O_NONBLOCK);
        ::fcntl(g_pipe[1], F_SETFL, ::fcntl(g_pipe[1], F_GETFL) | O_NONBLOCK);
    }
    g_notifier = new QSocketNotifier(g_pipe[1], QSocketNotifier::Read, qApp);
    QObject::connect(g_notifier, &QSocketNotifier::activated, qApp, [] { onSignalRead(); });

    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &action, nullptr);

#if QT_CONFIG(sessionmanager)
    // The session may yet be cancelled, so this alone does not mark the
    // application as ending.
    QObject::connect(qApp, &QGuiApplication::commitDataRequest, qApp, [](QSessionManager &) { closeAllWindows(); });
#endif
    // Windows still open when the event loop ends (a quit from code) save too.
    QObject::connect(qApp, &QCoreApplication::aboutToQuit, qApp, [] {
        g_requested = true;
        App().Terminating = true;
        closeAllWindows();
    });
}

