#include "TagShellExtension/com_module.h"
#include "TagShellExtension/runtime_release.h"
#include "TagShellExtension/process_attach.h"

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved)
{
    if (reason == DLL_PROCESS_ATTACH)
    {
        tag_extension::process_attach(instance);
        DisableThreadLibraryCalls(instance);
    }
    else if (reason == DLL_PROCESS_DETACH)
    {
        tag_extension::release_class_objects();
        tag_extension::release_runtimes_at_unload(instance, reserved);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* result)
{
    return tag_extension::get_class_object(clsid, iid, result);
}

STDAPI DllCanUnloadNow()
{
    return tag_extension::can_unload_now();
}
