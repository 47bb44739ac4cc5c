#include "core/BuildDate.h"
#include "core/ProductIdentity.h"

#ifndef VALVORA_BUILD_EPOCH
#error "core/CMakeLists.txt passes the commit's date as VALVORA_BUILD_EPOCH"
#endif

namespace valvora::identity {

namespace {
// Constant-initialised: no guard and no work at load or on first call.
constexpr BuildDateText stamp = formatBuildDate(VALVORA_BUILD_EPOCH);
}  // namespace

const char* buildDate() noexcept
{
    return stamp.text;
}

}  // namespace valvora::identity
