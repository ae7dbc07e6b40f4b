#include "MainWindow.h"

#include "platform/PumpedWait.h"

#include <QApplication>
#include <cstdio>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fputs("pluvane: no display found (DISPLAY is not set).\n"
                   "Run it on a desktop session, or without a screen under a virtual one: xvfb-run -a pluvane\n",
                   stderr);
        return 2;
    }
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Pluvane"));
    QApplication::setApplicationVersion(QStringLiteral(PLUVANE_VERSION));
    app::MainWindow window;
    // Closing the main window ends the program even when it closes inside
    // a handler's wait (the Auto sequence), whose remaining waits then end
    // at once, and whatever other window is still open.
    QObject::connect(&window, &app::MainWindow::unloaded, [] {
        platform::setWaitsAbandoned(true);
        QApplication::quit();
    });
    window.Load();
    window.show();
    return QApplication::exec();
}
