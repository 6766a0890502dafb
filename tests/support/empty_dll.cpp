// A DLL that does nothing, built like the extension: what loading and unloading any DLL costs.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID)
{
    return TRUE;
}
