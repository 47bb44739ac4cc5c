#pragma once
// The editor's poll, run every 33 ms and once on opening: knobs the user has
// turned are written to the host, all other controls follow the parameters
// (automation, program changes). Host window thread only.

class AudioEffect;

namespace valvora {

class EditorSyncTarget;

class EditorSync {
public:
    static void run(AudioEffect& effect, EditorSyncTarget& target);

    // A parameter as a knob position 0..100 (NaN and below 0 give 0).
    static int knobPosition(float value) noexcept;
};

}  // namespace valvora
