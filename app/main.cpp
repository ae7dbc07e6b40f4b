#include "MainWindow.h"

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
    window.Load();
    window.show();
    return QApplication::exec();
}
