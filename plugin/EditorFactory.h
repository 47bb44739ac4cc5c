#pragma once
// The plug-in asks for its editor through this one function, so that the shell
// builds without knowing the windowing code. The editor attaches itself to the
// effect; a null result means the plug-in runs without an editor.

class AEffEditor;
class AudioEffect;

// Host thread, from the plug-in's constructor. Never throws.
AEffEditor* createPluginEditor(AudioEffect* effect) noexcept;
