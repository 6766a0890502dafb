#include "menu_model.h"

#include "tools/explorer_driver/cascade.h"

namespace tag_menu_host
{
context_menu read_menu(IExplorerCommand* command, IShellItemArray* items)
{
    context_menu menu;
    menu.command = read_entry(command, items);
    // Explorer never opens the cascade of a hidden command.
    if (!menu.command.is_hidden())
    {
        menu.cascade = explorer_driver::read_cascade(command, items);
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
