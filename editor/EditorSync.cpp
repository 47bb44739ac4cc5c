#include "editor/EditorSync.h"

#include <cmath>

#include "core/Parameters.h"
#include "editor/EditorLayout.h"
#include "editor/EditorSyncTarget.h"
#include "plugin/AudioEffect.h"

namespace valvora {

namespace {

// Buttons that simply show their own parameter.
constexpr int kPlainButtons[] = {8, 9, 12, 15, 16};

void follow(EditorSyncTarget& target, int entry, int on)
{
    if (target.buttonState(entry) != on) target.setButtonState(entry, on);
}

// The buttons read switches with the thresholds the sound uses.
int switchFrame(AudioEffect& effect, int parameter) { return switchIsOn(effect.getParameter(parameter)) ? 1 : 0; }

}  // namespace

int EditorSync::knobPosition(float value) noexcept
{
    const double scaled = static_cast<double>(value) * 100.0;
    if (!(scaled > 0.0)) return 0;
    if (scaled >= 100.0) return 100;
    return static_cast<int>(std::lround(scaled));
}

void EditorSync::run(AudioEffect& effect, EditorSyncTarget& target)
{
    for (int entry = 0; entry < EditorLayout::kKnobCount; ++entry) {
        const int parameter = EditorLayout::entry(entry).parameter;
        DialValue& dial = target.knob(entry);
        if (dial.movedByUser())
            effect.setParameterAutomated(parameter, static_cast<float>(dial.value()) * 0.01f);
        else
            dial.setValue(knobPosition(effect.getParameter(parameter)));
        dial.markExchanged();
        if (dial.needsRepaint()) target.repaintKnob(entry);
    }
    for (int entry : kPlainButtons)
        follow(target, entry, switchFrame(effect, EditorLayout::entry(entry).parameter));

    const int drive = switchFrame(effect, paramChannel);
    const int power = switchFrame(effect, paramEnable);
    follow(target, EditorLayout::kDriveSelectEntry, drive);
    follow(target, EditorLayout::kPowerEntry, power);
    follow(target, EditorLayout::kLampEntry, drive & power);
}

}  // namespace valvora
