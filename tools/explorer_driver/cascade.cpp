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
