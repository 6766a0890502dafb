#pragma once

// The figures, numbered as they are printed. Each prints itself; those with a target give
// whether it was met.

#include "bench/inputs.h"

#include <string>

namespace test_support
{
class scratch_folder;
class settings_override;
} // namespace test_support

namespace tag_bench
{
using test_support::scratch_folder;
using test_support::settings_override;

// 1. GetState on a warm process against the two attribute queries it cannot avoid.
bool get_state_figure(const state_bench& bench, const std::wstring& settings_path, const std::wstring& item,
                      int runs);

// 2. load(false) of an unchanged settings file: one attribute query, no allocation.
bool load_unchanged_figure(const scratch_folder& scratch, int runs);

// 3. Opening the cascade warm, against GetState.
void cascade_figure(const state_bench& bench, int runs);

// 4. Re-reading a 1 MiB suite settings file after a change, against parsing its bytes.
bool reload_figure(const scratch_folder& scratch, int runs);

// 5. A cached tagged icon against a fresh generation.
bool tagged_icon_figure(const scratch_folder& scratch, int runs);

// 6. The logger: eight threads against one writing the same number of lines; every line whole.
bool logger_figure(const scratch_folder& scratch, int runs);

// 7. The first opening with nine check-marked icons to make (none cached, as after the
// extension is installed or its icons change), against a warm opening.
void first_opening_figure(const state_bench& bench, const scratch_folder& scratch, settings_override& tags,
                          int runs);

// 8. The costliest tag icon still decoded (4096 x 4096 pixels) against a 48 px one, made fresh.
void largest_icon_figure(const scratch_folder& scratch, int runs);

// 9. GetState with 2,000,000 settings in the suite file, against the shipped default file.
bool big_settings_state_figure(const state_bench& bench, const settings_override& suite, int runs);

// 10. Opening the cascade with 100,000 tags defined, against the nine it shows.
bool many_tags_cascade_figure(const state_bench& bench, const settings_override& tags, int runs);

// 11. Common tags of two files with 50,000 keywords each, against 500 each.
bool common_tags_figure(const scratch_folder& scratch, int runs);
} // namespace tag_bench
