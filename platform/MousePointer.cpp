#include "MousePointer.h"

#include <QCursor>
#include <QGuiApplication>

namespace platform {

namespace {
MousePointer g_pointer = MousePointer::Default;
}

void setMousePointer(MousePointer pointer)
{
    if (pointer == g_pointer) return;
    g_pointer = pointer;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return;
    while (QGuiApplication::overrideCursor()) QGuiApplication::restoreOverrideCursor();
    if (pointer == MousePointer::Hourglass)
        QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    else if (pointer == MousePointer::ArrowHourglass)
        QGuiApplication::setOverrideCursor(QCursor(Qt::BusyCursor));
}

MousePointer mousePointer() { return g_pointer; }

}  // namespace platform
