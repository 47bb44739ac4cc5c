#include "editor/EditorLayout.h"

#include "core/Parameters.h"

namespace valvora {

namespace {

constexpr ControlKind K = ControlKind::knob;
constexpr ControlKind B = ControlKind::button;

constexpr std::array<ControlPlacement, EditorLayout::kControlCount> kTable{{
    {K, 171, 58, 123, 57, 57, -1, paramGain},
    {K, 89, 58, 123, 57, 57, -1, paramNormalVolume},
    {K, 248, 58, 123, 57, 57, -1, paramDriveVolume},
    {K, 461, 58, 123, 57, 57, -1, paramBass},
    {K, 396, 58, 123, 57, 57, -1, paramMiddle},
    {K, 330, 58, 123, 57, 57, -1, paramTreble},
    {K, 541, 58, 123, 57, 57, -1, paramReverb},
    {B, 639, 64, 135, 32, 45, 7, paramEnable},    // power rocker
    {B, 379, 0, 131, 40, 32, 8, paramOversample},    // oversampling
    {B, 419, 0, 133, 40, 32, 9, paramChannels},     // mono / stereo
    {B, 339, 0, 134, 40, 32, 10, -1},   // version check
    {B, 299, 0, 130, 40, 32, 11, -1},   // about view
    {B, 461, 0, 132, 30, 32, 12, paramSpeakerSim},   // speaker simulation
    {B, 228, 86, 129, 20, 20, 13, paramChannel},   // drive select
    {B, 300, 98, 126, 29, 29, 0, -1},   // drive lamp: Channel AND Enable
    {B, 35, 72, 136, 30, 29, 15, paramTubeMode},   // tube-mode toggle
    {B, 491, 0, 137, 68, 32, 16, paramSpeakerMode},   // cabinet indicator
}};

constexpr std::array<int, EditorLayout::kKnobCount> kKnobOrder{1, 0, 2, 5, 4, 3, 6};
constexpr std::array<int, EditorLayout::kControlCount - EditorLayout::kKnobCount> kButtonOrder{
    13, 7, 14, 15, 11, 10, 8, 9, 12, 16};

}  // namespace

const std::array<ControlPlacement, EditorLayout::kControlCount>& EditorLayout::table() noexcept { return kTable; }

const std::array<int, EditorLayout::kKnobCount>& EditorLayout::knobCreationOrder() noexcept { return kKnobOrder; }

const std::array<int, EditorLayout::kControlCount - EditorLayout::kKnobCount>&
EditorLayout::buttonCreationOrder() noexcept
{
    return kButtonOrder;
}

int EditorLayout::parameterForControlId(int controlId) noexcept
{
    if (controlId <= 0) return -1;
    for (const ControlPlacement& p : kTable)
        if (p.kind == ControlKind::button && p.controlId == controlId) return p.parameter;
    return -1;
}

}  // namespace valvora
