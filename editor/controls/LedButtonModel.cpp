#include "editor/controls/LedButtonModel.h"

namespace valvora {

void LedButtonModel::configure(int controlId, int frames) noexcept
{
    id_ = controlId;
    frames_ = frames <= 0 ? 1 : (frames >= 5 ? 4 : frames);
    switch (frames_) {
    case 2:
        pressNext_ = {1, 0, 0, 0};
        releaseNext_ = {0, 1, 0, 0};
        break;
    case 4:
        pressNext_ = {3, 2, 2, 3};
        releaseNext_ = {0, 1, 0, 1};
        break;
    default:  // 1 frame never changes, 3 frames fall back to frame 0
        pressNext_ = {0, 0, 0, 0};
        releaseNext_ = {0, 0, 0, 0};
        break;
    }
    if (state_ >= frames_) state_ = 0;
}

bool LedButtonModel::press() noexcept { return advance(pressNext_); }

bool LedButtonModel::release() noexcept { return advance(releaseNext_); }

bool LedButtonModel::advance(const std::array<int, 4>& next) noexcept
{
    if (id_ == 0) return false;
    const int to = next[static_cast<unsigned>(state_) & 3u];
    if (to == state_) return false;
    state_ = to;
    return true;
}

void LedButtonModel::setState(int s) noexcept
{
    state_ = frames_ == 4 ? ((s & 1) | (state_ & 2)) : (s & 1);
}

}  // namespace valvora
