#include "bench/inputs.h"

#include "TagShellExtension/com_module.h"
#include "common/folders.h"
#include "common/unique_resources.h"
#include "support/scratch_folder.h"
#include "tools/explorer_driver/cascade.h"

#include <fmt/format.h>

namespace tag_bench
{
using Microsoft::WRL::ComPtr;
using namespace tag_extension;

ComPtr<IExplorerCommand> create_command()
{
    ComPtr<IClassFactory> factory;
    ComPtr<IExplorerCommand> command;
    if (SUCCEEDED(get_class_object(CLSID_tag_context_main_menu_item, IID_PPV_ARGS(&factory))))
    {
        factory->CreateInstance(nullptr, IID_PPV_ARGS(&command));
    }
    return command;
}

std::vector<std::wstring> open_cascade(IExplorerCommand* command, IShellItemArray* items)
{
    std::vector<std::wstring> icons;
    ComPtr<IEnumExplorerCommand> entries;
    if (FAILED(command->EnumSubCommands(&entries)) || !entries)
    {
        return icons;
    }
    ComPtr<IExplorerCommand> entry;
    while (entries->Next(1, &entry, nullptr) == S_OK)
    {
        explorer_driver::take_string([&](PWSTR* text) { return entry->GetTitle(items, text); });
        icons.push_back(
            explorer_driver::take_string([&](PWSTR* text) { return entry->GetIcon(items, text); }));
        entry.Reset();
    }
    return icons;
}

std::string nine_tags_json()
{
    static const char* icons[] = {"tag_family",    "tag_favorites", "tag_holiday",
                                  "tag_important", "tag_to_review", "tag_work",
                                  "tag_family",    "tag_holiday",   "tag_work"};
    std::string tags;
    for (int i = 0; i < 9; ++i)
    {
        tags += fmt::format(R"({}{{"name": "Tag {}", "icon_not_tagged": "Content\\Icons\\{}.ico"}})",
                            i == 0 ? "" : ",", i + 1, icons[i]);
    }
    return R"({"version": "1.0", "tags": [)" + tags + "]}";
}

std::string big_suite_settings(size_t size)
{
    std::string text = R"({"version": "2.4", "apps": [)";
    text +=
        R"({"app_id": "sortwell", "name": "Sortwell", "version": "2.4.1", "status": "enabled", "settings": )"
        R"({"general": {"showTagContextMenu": true, "enableTagHotkeys": true}, "hotkeys": {"tagKey": "Ctrl+T"}}},)";
    text += R"({"app_id": "brightloom", "name": "Brightloom", "status": "enabled", "settings": {}})";
    for (int app = 0; text.size() < size; ++app)
    {
        std::string recent;
        for (int i = 0; i < 12; ++i)
        {
            recent += fmt::format(R"({}"C:\\Users\\someone\\Pictures\\{}\\Holiday {:03}\\IMG_{:05}.jpg")",
                                  i == 0 ? "" : ", ", 2010 + i, app % 1000, app * 12 + i);
        }
        text += fmt::format(
            R"(, {{"app_id": "app_{:05}", "name": "Application {}", "version": "3.{}.0", "status": "{}", )"
            R"("settings": {{"general": {{"enabled": true, "theme": "dark", "language": "en-US", "maxItems": {}, )"
            R"("zoom": 1.25, "startMinimized": false}}, "window": {{"left": {}, "top": {}, "width": 1280, )"
            R"("height": 720, "maximized": false}}, "paths": {{"lastFolder": "D:\\Archive\\{}", )"
            R"("exportFolder": "E:\\Exports\\App {}"}}, "recentFiles": [{}], "lastRun": "2026-03-14T09:05:03Z", )"
            R"("runCount": {}, "telemetry": null}}}})",
            app, app, app % 10, app % 7 == 0 ? "disabled" : "enabled", 100 + app, app, app * 2, app, app,
            recent, app * 3);
    }
    return text + "]}";
}

void set_write_time(const std::filesystem::path& path, std::uint64_t ticks)
{
    const common::unique_hfile file(CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES,
                                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                                nullptr));
    const FILETIME time{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SetFileTime(file.get(), nullptr, nullptr, &time);
}

std::string default_suite_settings(int extra)
{
    std::string text = test_support::read_file(common::module_folder() / L"Content" / L"Configurations" /
                                               L"High Level Settings.json");
    if (extra == 0)
    {
        return text;
    }
    std::string members;
    members.reserve(static_cast<size_t>(extra) * 32);
    for (int i = 0; i < extra; ++i)
    {
        // Flags, numbers, texts and groups, as a long-lived settings object gathers them.
        switch (i % 4)
        {
        case 0:
            members += fmt::format(R"("flag{}": true, )", i);
            break;
        case 1:
            members += fmt::format(R"("count{}": {}, )", i, i);
            break;
        case 2:
            members += fmt::format(R"("path{}": "D:\\Archive\\{}", )", i, i);
            break;
        default:
            members += fmt::format(R"("group{}": {{"on": false}}, )", i);
            break;
        }
    }
    const std::string anchor = R"("settings": {)";
    text.insert(text.find(anchor) + anchor.size(), members);
    return text;
}
} // namespace tag_bench
