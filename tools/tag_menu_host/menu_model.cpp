#include "menu_model.h"

#include "tools/explorer_driver/cascade.h"

namespace tag_menu_host
{
menu_entry read_entry(IExplorerCommand* command, IShellItemArray* items)
{
    menu_entry entry;
    entry.title = explorer_driver::take_string([&](PWSTR* text) { return command->GetTitle(items, text); });
    entry.icon = explorer_driver::take_string([&](PWSTR* text) { return command->GetIcon(items, text); });
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

context_menu read_menu(IExplorerCommand* command, IShellItemArray* items)
{
    context_menu menu;
    menu.command = read_entry(command, items);
    // Explorer never opens the cascade of a hidden command.
    if (!menu.command.is_hidden())
    {
        for (const auto& entry : explorer_driver::open_cascade(command))
        {
            menu.cascade.push_back(read_entry(entry.Get(), items));
        }
    }
    return menu;
}

title_parts split_title(const std::wstring& title)
{
    const size_t tab = title.find(L'\t');
    if (tab == std::wstring::npos)
    {
        return {title, L""};
    }
    return {title.substr(0, tab), title.substr(tab + 1)};
}
} // namespace tag_menu_host
