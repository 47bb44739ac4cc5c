#include "engine/stages/InputStage.h"

namespace valvora {

namespace {
// Buffer network. b is the first column of a and d equals c(0), bit for bit:
// that is what makes the stage block DC exactly.
constexpr double a00 = -103.5344716, a01 = 310.6076391;
constexpr double a10 = -414.1421107, a11 = -426.3227281;
constexpr double c0 = 3.94890956, c1 = 4.094465331;
}  // namespace

InputStage::InputStage() noexcept
{
    model_.a << a00, a01, a10, a11;
    model_.b << a00, a10;
    model_.c << c0, c1;
    model_.d = c0;
}

void InputStage::setPeriod(double period) noexcept
{
    if (period < period_ || period > period_) {
        period_ = period;
        zeroOrderHold(model_, period, discrete_);
    }
}

}  // namespace valvora
