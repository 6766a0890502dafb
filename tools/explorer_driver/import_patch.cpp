#include "tools/explorer_driver/import_patch.h"

#include <cstdint>

namespace explorer_driver
{
namespace
{
template <typename T> T* at(HMODULE module, DWORD offset)
{
    return reinterpret_cast<T*>(reinterpret_cast<std::uintptr_t>(module) + offset);
}

bool overwrite(ULONG_PTR* slot, void* value)
{
    DWORD previous = 0;
    if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &previous))
    {
        return false;
    }
    *slot = reinterpret_cast<ULONG_PTR>(value);
    VirtualProtect(slot, sizeof(*slot), previous, &previous);
    return true;
}
} // namespace

void* patch_import(HMODULE module, const char* dll, const char* function, void* replacement)
{
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(module);
    if (module == nullptr || dos->e_magic != IMAGE_DOS_SIGNATURE)
    {
        return nullptr;
    }
    const auto* nt = at<const IMAGE_NT_HEADERS>(module, static_cast<DWORD>(dos->e_lfanew));
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0)
    {
        return nullptr;
    }
    void* original = nullptr;
    for (auto* entry = at<const IMAGE_IMPORT_DESCRIPTOR>(module, imports.VirtualAddress); entry->Name != 0;
         ++entry)
    {
        // Without the name table a bound IAT cannot be matched by name.
        if ((dll != nullptr && lstrcmpiA(at<const char>(module, entry->Name), dll) != 0) ||
            entry->OriginalFirstThunk == 0)
        {
            continue;
        }
        auto* names = at<const IMAGE_THUNK_DATA>(module, entry->OriginalFirstThunk);
        auto* addresses = at<IMAGE_THUNK_DATA>(module, entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++addresses)
        {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal))
            {
                continue;
            }
            const auto* by_name =
                at<const IMAGE_IMPORT_BY_NAME>(module, static_cast<DWORD>(names->u1.AddressOfData));
            if (lstrcmpA(reinterpret_cast<const char*>(by_name->Name), function) != 0)
            {
                continue;
            }
            void* previous = reinterpret_cast<void*>(addresses->u1.Function);
            if (overwrite(&addresses->u1.Function, replacement) && original == nullptr)
            {
                original = previous;
            }
        }
    }
    return original;
}
} // namespace explorer_driver
