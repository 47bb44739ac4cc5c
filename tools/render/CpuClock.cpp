#include "tools/render/CpuClock.h"

#include <ctime>

namespace valvora::render {

double processCpuSeconds() noexcept
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

}  // namespace valvora::render
