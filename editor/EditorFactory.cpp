#include "plugin/EditorFactory.h"

// No editor yet: the plug-in runs without one and reports no editor flag.
AEffEditor* createPluginEditor(AudioEffect* effect) noexcept
{
    (void)effect;
    return nullptr;
}
