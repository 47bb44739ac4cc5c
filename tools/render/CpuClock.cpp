#include "tools/render/CpuClock.h"

#include <sys/resource.h>

#include <ctime>

namespace valvora::render {

double processCpuSeconds() noexcept
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

namespace {
double seconds(const timeval& t)
{
    return static_cast<double>(t.tv_sec) + 1e-6 * static_cast<double>(t.tv_usec);
}
}  // namespace

CpuTimes processCpuTimes() noexcept
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return {seconds(usage.ru_utime), seconds(usage.ru_stime)};
}

}  // namespace valvora::render
