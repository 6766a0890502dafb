// Speed of the extension where Explorer waits for it, figure by figure (bench/figures.h).
#include "TagShellExtension/supported_item_types.h"
#include "TagShellExtension/metadata/item_metadata.h"
#include "TagShellExtension/process_attach.h"
#include "bench/figures.h"
#include "support/fake_shell_items.h"
#include "support/product_files.h"
#include "support/scoped_seam.h"
#include "support/scratch_folder.h"
#include "tools/explorer_driver/keyword_store.h"

#include <fmt/format.h>

#include <objbase.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace
{
using namespace tag_extension;

// Wine never reports extended-attribute support; report it, so the command is shown.
BOOL WINAPI volume_with_extended_attributes(LPCWSTR, LPWSTR, DWORD, LPDWORD, LPDWORD, LPDWORD flags, LPWSTR,
                                            DWORD)
{
    *flags = FILE_SUPPORTS_EXTENDED_ATTRIBUTES;
    return TRUE;
}

// Wine has no property store for files: this one says every file carries the nine tags.
HRESULT WINAPI open_keyword_store(PCWSTR, IBindCtx*, GETPROPERTYSTOREFLAGS, REFIID iid, void** result)
{
    static const std::vector<std::wstring> tags{L"Tag 1", L"Tag 2", L"Tag 3", L"Tag 4", L"Tag 5",
                                                L"Tag 6", L"Tag 7", L"Tag 8", L"Tag 9"};
    return explorer_driver::open_keyword_store(tags, iid, result);
}
} // namespace

int main(int argc, char** argv)
{
    using namespace tag_bench;
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const int runs = argc > 1 ? std::max(3, std::atoi(argv[1])) : 11;
    // Settings, logs and icon caches of a run go to a scratch folder, never the user's own.
    const test_support::scratch_user_folders user_folders;
    tag_extension::process_attach(GetModuleHandleW(nullptr));
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    bool all_met = true;
    {
        test_support::scratch_folder scratch;
        test_support::settings_override suite(test_support::suite_settings_name);
        test_support::settings_override tags(test_support::tag_definitions_name);
        suite.write(test_support::suite_settings_json(R"({"general": {"showTagContextMenu": true}})"));
        tags.write(nine_tags_json());
        const test_support::scoped_seam<volume_api> volume(volume_functions(),
                                                           {&volume_with_extended_attributes});
        clear_volume_cache_for_testing();
        test_support::scoped_seam property_system(property_system_functions());
        property_system->get_property_store_from_parsing_name = &open_keyword_store;
        fmt::print(
            "tag_bench: {} runs per figure; times are per call. Where Wine cannot serve the extension,\n"
            "the volume reports extended attributes and the property store says the file carries\n"
            "all nine tags (the seams the tests use).\n\n",
            runs);

        const std::wstring photo = scratch.write(L"Holiday photo.png", "not really a png").wstring();
        tag_bench::state_bench bench{create_command(), test_support::make_items({photo}), {}};
        bench.get_state = [&]
        {
            EXPCMDSTATE state = ECS_HIDDEN;
            bench.command->GetState(bench.selection.Get(), FALSE, &state);
        };
        all_met &= get_state_figure(bench, suite.path().wstring(), photo, runs);
        all_met &= load_unchanged_figure(scratch, runs);
        cascade_figure(bench, runs);
        all_met &= reload_figure(scratch, runs);
        all_met &= tagged_icon_figure(scratch, runs);
        all_met &= logger_figure(scratch, runs);
        first_opening_figure(bench, scratch, tags, runs);
        largest_icon_figure(scratch, runs);
        all_met &= big_settings_state_figure(bench, suite, runs);
        all_met &= many_tags_cascade_figure(bench, tags, runs);
        all_met &= common_tags_figure(scratch, runs);
    }
    CoUninitialize();
    fmt::print("{}\n", all_met ? "All targets met." : "Some targets MISSED.");
    return all_met ? 0 : 1;
}
