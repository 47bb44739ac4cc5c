// The module attach hook: remembers the module's instance handle, which the
// editor needs for its window classes and its PNG resources. Never starts or
// waits for threads here (the loader lock is held).
#include <windows.h>

#include "platform/Module.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    (void)reason, (void)reserved;
    valvora::platform::setModuleHandle(instance);
    return TRUE;
}
