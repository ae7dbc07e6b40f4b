#pragma once
// The card runs one demodulator per thread, and the line search plans
// transforms too: FFTW's planner must be made safe for that once, before
// the first plan of any of them.
#include <fftw3.h>

#include <mutex>

namespace rtty {

inline void makeFftwPlannerThreadSafe()
{
    static std::once_flag once;
    std::call_once(once, [] { fftwf_make_planner_thread_safe(); });
}

}  // namespace rtty
