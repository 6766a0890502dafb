#pragma once

#include <windows.h>

namespace tag_menu_host
{
// Makes the module read HKCU ...\Themes\Personalize "AppsUseLightTheme" as the given answer
// (the key is absent under Wine) by pointing its registry imports from advapi32 at the host;
// every other key reaches the real registry. False when the module imports none of them.
bool install_theme_stand_in(HMODULE module, bool light);
} // namespace tag_menu_host
