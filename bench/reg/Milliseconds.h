#pragma once
// Wall time of one call, for the benchmarks that time a run against a peer
// in the same process.
#include <QElapsedTimer>

template <typename Fn>
double milliseconds(Fn fn)
{
    QElapsedTimer timer;
    timer.start();
    fn();
    return static_cast<double>(timer.nsecsElapsed()) / 1e6;
}
