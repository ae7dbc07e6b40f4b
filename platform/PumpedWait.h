#pragma once
// Waits counted in passes: each pass processes every pending window and
// control event and sleeps 50 ms. The sleep is injectable so that tests run
// the long waits in milliseconds and can count them.
#include <functional>

namespace platform {

using SleepFunction = std::function<void(int milliseconds)>;

// The sleep every wait uses; the real one blocks the thread (no events).
void setSleepFunction(SleepFunction sleep);  // an empty function restores the real one
void sleepMs(int milliseconds);

void processPendingEvents();

// Once the program is shutting down, every wait in progress or to come
// ends at its next pass, so that nothing keeps a closed window busy.
void setWaitsAbandoned(bool abandoned);
bool waitsAbandoned();

// Passes 0..passes-1: process events, then sleep 50 ms.
void pumpedWait(int passes);
// Passes 0..passes-1: sleep 50 ms first, then process events.
void pumpedWaitSleepFirst(int passes);

}  // namespace platform
