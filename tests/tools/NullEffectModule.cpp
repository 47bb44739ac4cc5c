// A module whose entry point refuses to create an effect, as a broken or
// licence-locked plug-in does: hosts must report it, not crash.
#include "plugin/vst24.h"

extern "C" __attribute__((visibility("default"))) AEffect* VSTPluginMain(audioMasterCallback) { return nullptr; }
