#pragma once
// The application-wide mouse pointer: one setting, not a stack of
// overrides, so "restore the default" always restores it.

namespace platform {

enum class MousePointer { Default, Hourglass, ArrowHourglass };

void setMousePointer(MousePointer pointer);
MousePointer mousePointer();

}  // namespace platform
