// The module's exported entry point: the host calls it once per plug-in
// instance it creates.
#include <new>

#include "plugin/AmpPlugin.h"

#if defined(_WIN32)
#define VALVORA_EXPORT extern "C" __declspec(dllexport)
#else
#define VALVORA_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

AudioEffect* createEffectInstance(audioMasterCallback audioMaster) noexcept
{
    try {
        return new valvora::AmpPlugin(audioMaster);
    } catch (...) {
        // Out of memory (or a failed worker start) while building: members
        // already built are destroyed by the unwinding, so nothing leaks, and
        // the host sees a failed load.
        return nullptr;
    }
}

}  // namespace


VALVORA_EXPORT AEffect* VSTPluginMain(audioMasterCallback audioMaster)
{
    // A host that answers 0 here predates VST 2 or cannot host us at all.
    if (!audioMaster || audioMaster(nullptr, audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    AudioEffect* effect = createEffectInstance(audioMaster);
    return effect ? effect->getAeffect() : nullptr;
}

#if !defined(_WIN32)
// Older Linux hosts look the entry up as "main". Exported under that name
// through an assembler label; the module definition file does the same on Windows.
VALVORA_EXPORT AEffect* legacyEntry(audioMasterCallback audioMaster) __asm__("main");
VALVORA_EXPORT AEffect* legacyEntry(audioMasterCallback audioMaster) { return VSTPluginMain(audioMaster); }
#endif
