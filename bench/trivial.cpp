// The yardstick for start-up: a trivial widget program. Given the launch time
// (monotonic nanoseconds) it prints how long after it its window was first painted.
#include "Probes.h"

#include <QApplication>
#include <QLabel>
#include <QWindow>

#include <cstdio>

int main(int argc, char *argv[])
{
    const qint64 launched = argc > 1 ? QByteArray(argv[1]).toLongLong() : MonoNs();
    QApplication app(argc, argv);
    QLabel window(QStringLiteral("Hello"));
    window.resize(900, 620);
    AfterEventProbe probe(&app, QEvent::Expose);
    probe.arm([&](QObject *o) { return o == window.windowHandle() && window.windowHandle()->isExposed(); },
              [&] {
                  std::printf("RESULT paint=%.3f\n", MsSince(launched));
                  std::fflush(stdout);
                  QCoreApplication::quit();
              });
    window.show();
    return app.exec();
}
