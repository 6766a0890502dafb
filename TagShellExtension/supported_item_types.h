#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tag_extension
{
// Extensions are lower-case UTF-8 with their leading dot; matching is exact.
bool is_supported_extension(std::string_view extension);
// Supported extensions that need no volume test.
bool is_volume_exempt_extension(std::string_view extension);

// Whether the volume holding the (lower-cased) path supports extended attributes.
// The volume is asked once per root for the life of the process.
bool volume_supports_extended_attributes(const std::wstring& path);

// The one OS call of this area, replaceable because Wine never reports the flag.
struct volume_api
{
    BOOL(WINAPI* get_volume_information)
    (LPCWSTR root, LPWSTR name, DWORD name_size, LPDWORD serial, LPDWORD max_component, LPDWORD flags,
     LPWSTR file_system, DWORD file_system_size) = &GetVolumeInformationW;
};
volume_api& volume_functions();
// Forgets every cached volume (tests only; the product never forgets).
void clear_volume_cache_for_testing();
} // namespace tag_extension
