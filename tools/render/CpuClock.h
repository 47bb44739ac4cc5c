#pragma once
// CPU time of the whole process: every thread, the effect's workers included,
// so a real-time factor built on it cannot hide work in other threads.

namespace valvora::render {

double processCpuSeconds() noexcept;

// The same time split the way the kernel accounts it (getrusage, all
// threads): user time is the effect's own computing, system time mostly the
// hand-offs to its worker threads (sleeping, waking, and the scheduler and
// idle exits behind them), which a real-time factor alone cannot tell apart.
// The kernel splits the total by sampling at its tick, so a run of well under
// a second of CPU time reads coarsely.
struct CpuTimes {
    double user = 0.0;
    double system = 0.0;
};
CpuTimes processCpuTimes() noexcept;

}  // namespace valvora::render
