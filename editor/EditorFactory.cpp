#include "plugin/EditorFactory.h"

#include <new>

#ifdef _WIN32
#include "editor/KelmoEditor.h"
#else
#include "editor/x11/KelmoEditor.h"
#endif

// The bitmap editor (Win32 windows on Windows, an X11 window on Linux), which
// attaches itself to the effect. Without memory for it the plug-in runs
// without an editor and reports no editor flag.
AEffEditor* createPluginEditor(AudioEffect* effect) noexcept
{
    try {
        return new valvora::KelmoEditor(effect);
    } catch (...) {
        return nullptr;
    }
}
