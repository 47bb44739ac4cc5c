#include "plugin/EditorFactory.h"

#ifdef _WIN32
#include <new>

#include "editor/KelmoEditor.h"
#endif

// Windows: the bitmap editor, which attaches itself to the effect. Linux has
// no editor yet: the plug-in runs without one and reports no editor flag.
AEffEditor* createPluginEditor(AudioEffect* effect) noexcept
{
#ifdef _WIN32
    try {
        return new valvora::KelmoEditor(effect);
    } catch (...) {
        return nullptr;
    }
#else
    (void)effect;
    return nullptr;
#endif
}
