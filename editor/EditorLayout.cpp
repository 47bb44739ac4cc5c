#include "editor/EditorLayout.h"

namespace valvora {

namespace {

constexpr ControlKind K = ControlKind::knob;
constexpr ControlKind B = ControlKind::button;

// Parameter indexes: 0 Enable, 1 Channel, 2 Normal Vol, 3 Drive Volume,
// 4 Gain, 5 Bass, 6 Middle, 7 Treble, 8 Reverb, 9 Channels, 10 Oversample,
// 11 SpeakerSim, 12 TubeMode, 13 SpeakerMode.
constexpr std::array<ControlPlacement, EditorLayout::kControlCount> kTable{{
    {K, 171, 58, 123, 57, 57, -1, 4},
    {K, 89, 58, 123, 57, 57, -1, 2},
    {K, 248, 58, 123, 57, 57, -1, 3},
    {K, 461, 58, 123, 57, 57, -1, 5},
    {K, 396, 58, 123, 57, 57, -1, 6},
    {K, 330, 58, 123, 57, 57, -1, 7},
    {K, 541, 58, 123, 57, 57, -1, 8},
    {B, 639, 64, 135, 32, 45, 7, 0},    // power rocker
    {B, 379, 0, 131, 40, 32, 8, 10},    // oversampling
    {B, 419, 0, 133, 40, 32, 9, 9},     // mono / stereo
    {B, 339, 0, 134, 40, 32, 10, -1},   // version check
    {B, 299, 0, 130, 40, 32, 11, -1},   // about view
    {B, 461, 0, 132, 30, 32, 12, 11},   // speaker simulation
    {B, 228, 86, 129, 20, 20, 13, 1},   // drive select
    {B, 300, 98, 126, 29, 29, 0, -1},   // drive lamp: Channel AND Enable
    {B, 35, 72, 136, 30, 29, 15, 12},   // tube-mode toggle
    {B, 491, 0, 137, 68, 32, 16, 13},   // cabinet indicator
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
