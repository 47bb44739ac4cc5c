#include "tools/render/ProgressBar.h"

#include <unistd.h>

#include <cstdio>

namespace valvora::render {

namespace {
constexpr int kWidth = 40;
}

ProgressBar::ProgressBar(std::string label, long long total)
    : label_(std::move(label)), total_(total), enabled_(isatty(STDERR_FILENO) != 0 && total > 0)
{
}

ProgressBar::~ProgressBar() { finish(); }

void ProgressBar::finish()
{
    if (enabled_ && lastPercent_ >= 0) std::fprintf(stderr, "\r\033[K");
    lastPercent_ = -1;
    enabled_ = false;
}

void ProgressBar::update(long long done)
{
    if (!enabled_) return;
    const int percent = static_cast<int>(100 * (done < total_ ? done : total_) / total_);
    if (percent == lastPercent_) return;
    lastPercent_ = percent;
    const int filled = percent * kWidth / 100;
    std::fprintf(stderr, "\r%s [%.*s%*s] %3d%%", label_.c_str(), filled, "########################################",
                 kWidth - filled, "", percent);
    std::fflush(stderr);
}

}  // namespace valvora::render
