#pragma once
// CPU time of the whole process: every thread, the effect's workers included,
// so a real-time factor built on it cannot hide work in other threads.

namespace valvora::render {

double processCpuSeconds() noexcept;

}  // namespace valvora::render
