#include "PumpedWait.h"

#include <QCoreApplication>
#include <QThread>

namespace platform {

namespace {
SleepFunction& sleepFunction()
{
    static SleepFunction function;
    return function;
}
constexpr int kPassMs = 50;
bool g_abandoned = false;
}  // namespace

void setWaitsAbandoned(bool abandoned) { g_abandoned = abandoned; }
bool waitsAbandoned() { return g_abandoned; }

void setSleepFunction(SleepFunction sleep) { sleepFunction() = std::move(sleep); }

void sleepMs(int milliseconds)
{
    if (sleepFunction())
        sleepFunction()(milliseconds);
    else
        QThread::msleep(static_cast<unsigned long>(milliseconds));
}

void processPendingEvents() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void pumpedWait(int passes)
{
    for (int pass = 0; pass < passes && !g_abandoned; ++pass) {
        processPendingEvents();
        sleepMs(kPassMs);
    }
}

void pumpedWaitSleepFirst(int passes)
{
    for (int pass = 0; pass < passes && !g_abandoned; ++pass) {
        sleepMs(kPassMs);
        processPendingEvents();
    }
}

}  // namespace platform
