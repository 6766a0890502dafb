#include "tools/explorer_driver/cascade.h"

namespace explorer_driver
{
std::vector<Microsoft::WRL::ComPtr<IExplorerCommand>> open_cascade(IExplorerCommand* command)
{
    std::vector<Microsoft::WRL::ComPtr<IExplorerCommand>> entries;
    Microsoft::WRL::ComPtr<IEnumExplorerCommand> commands;
    if (command->EnumSubCommands(&commands) == S_OK && commands)
    {
        for (Microsoft::WRL::ComPtr<IExplorerCommand> entry;
             commands->Next(1, &entry, nullptr) == S_OK && entry;)
        {
            entries.push_back(std::move(entry));
        }
    }
    return entries;
}

menu_entry read_entry(IExplorerCommand* command, IShellItemArray* items)
{
    menu_entry entry;
    common::unique_cotaskmem_string text;
    entry.title_result = command->GetTitle(items, text.put());
    entry.title = SUCCEEDED(entry.title_result) && text ? text.get() : L"";
    entry.icon_result = command->GetIcon(items, text.put());
    entry.icon = SUCCEEDED(entry.icon_result) && text ? text.get() : L"";
    entry.state_result = command->GetState(items, TRUE, &entry.state);
    if (FAILED(entry.state_result))
    {
        entry.state = ECS_HIDDEN;
    }
    if (FAILED(command->GetFlags(&entry.flags)))
    {
        entry.flags = ECF_DEFAULT;
    }
    if (FAILED(command->GetCanonicalName(&entry.canonical_name)))
    {
        entry.canonical_name = GUID{};
    }
    return entry;
}

std::vector<menu_entry> read_cascade(IExplorerCommand* command, IShellItemArray* items)
{
    std::vector<menu_entry> entries;
    for (const auto& entry : open_cascade(command))
    {
        entries.push_back(read_entry(entry.Get(), items));
    }
    return entries;
}

Microsoft::WRL::ComPtr<IExplorerCommand> find_entry(IExplorerCommand* command, std::wstring_view title)
{
    for (auto& entry : open_cascade(command))
    {
        if (take_string([&](PWSTR* text) { return entry->GetTitle(nullptr, text); }) == title)
        {
            return entry;
        }
    }
    return nullptr;
}
} // namespace explorer_driver
