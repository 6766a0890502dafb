#include "commands.h"

#include "companion_records.h"
#include "menu_model.h"
#include "menu_render.h"
#include "output.h"

#include "tools/explorer_driver/cascade.h"

#include <wrl/client.h>

#include <utility>

namespace tag_menu_host
{
namespace
{
using Microsoft::WRL::ComPtr;

std::wstring visible(const std::wstring& text)
{
    std::wstring result;
    for (wchar_t c : text)
    {
        result += c == L'\t' ? std::wstring(L"\\t") : std::wstring(1, c);
    }
    return result;
}

// Names for the bits a reader meets; any other bit is shown in hexadecimal.
template <typename Bits>
std::wstring bit_names(Bits bits, std::initializer_list<std::pair<Bits, const wchar_t*>> names)
{
    std::wstring text;
    auto rest = static_cast<unsigned>(bits);
    for (const auto& [bit, name] : names)
    {
        if ((rest & static_cast<unsigned>(bit)) != 0)
        {
            text += (text.empty() ? L"" : L", ") + std::wstring(name);
            rest &= ~static_cast<unsigned>(bit);
        }
    }
    if (rest != 0)
    {
        text += (text.empty() ? L"" : L", ") + hex(static_cast<HRESULT>(rest));
    }
    return text;
}

std::wstring state_text(const menu_entry& entry)
{
    std::wstring text = entry.is_hidden() ? L"hidden" : entry.is_disabled() ? L"disabled" : L"enabled";
    const auto others = static_cast<EXPCMDSTATE>(entry.state & ~(ECS_HIDDEN | ECS_DISABLED));
    if (others != ECS_ENABLED)
    {
        text += L", " + bit_names(others, {{ECS_CHECKBOX, L"check box"},
                                           {ECS_CHECKED, L"checked"},
                                           {ECS_RADIOCHECK, L"radio check"}});
    }
    if (FAILED(entry.state_result))
    {
        text += L" (GetState failed: " + hex(entry.state_result) + L")";
    }
    return text;
}

std::wstring flag_text(EXPCMDFLAGS flags)
{
    return bit_names(flags, {{ECF_HASSUBCOMMANDS, L"has sub-commands"},
                             {ECF_HASSPLITBUTTON, L"split button"},
                             {ECF_HIDELABEL, L"hides its label"},
                             {ECF_ISSEPARATOR, L"separator"},
                             {ECF_HASLUASHIELD, L"shield icon"},
                             {ECF_SEPARATORBEFORE, L"separator before"},
                             {ECF_SEPARATORAFTER, L"separator after"},
                             {ECF_ISDROPDOWN, L"drop-down"},
                             {ECF_TOGGLEABLE, L"toggleable"},
                             {ECF_AUTOMENUICONS, L"automatic menu icons"}});
}

void describe(const menu_entry& entry, const std::wstring& indent)
{
    std::wstring details = L"  state: " + state_text(entry);
    if (entry.flags != ECF_DEFAULT)
    {
        details += L"  flags: " + flag_text(entry.flags);
    }
    if (entry.canonical_name != GUID_NULL)
    {
        wchar_t name[64] = L"";
        StringFromGUID2(entry.canonical_name, name, 64);
        details += L"  canonical name: " + std::wstring(name);
    }
    print(indent +
          (entry.is_separator() ? L"----------------" : L"title: \"" + visible(entry.title) + L"\""));
    print(indent + details);
    if (!entry.is_separator())
    {
        print(indent + L"  icon: " + (entry.icon.empty() ? L"(none)" : entry.icon));
    }
}

int hidden_command_failure(const wchar_t* what)
{
    return failure(std::wstring(L"the Tag command is hidden for this selection, so Explorer shows ") + what +
                   L" (tag_menu_host why tells why)");
}
} // namespace

int show(IExplorerCommand* command, IShellItemArray* items)
{
    const context_menu menu = read_menu(command, items);
    describe(menu.command, L"");
    if (menu.command.is_hidden())
    {
        print(L"(no cascade: Explorer does not show a hidden command; tag_menu_host why tells why)");
    }
    for (const auto& entry : menu.cascade)
    {
        describe(entry, L"    ");
    }
    return exit_done;
}

int render(IExplorerCommand* command, IShellItemArray* items, const host_options& options)
{
    const context_menu menu = read_menu(command, items);
    if (menu.command.is_hidden())
    {
        return hidden_command_failure(L"nothing to draw");
    }
    const std::wstring problem =
        render_menu(menu, options.dark ? menu_theme::dark : menu_theme::light, options.output);
    if (!problem.empty())
    {
        return failure(problem);
    }
    print(L"wrote " + options.output);
    return exit_done;
}

int invoke(const extension& dll, IExplorerCommand* command, IShellItemArray* items, const std::wstring& title)
{
    if (read_entry(command, items).is_hidden())
    {
        return hidden_command_failure(L"no entry to choose");
    }
    for (const auto& entry : explorer_driver::open_cascade(command))
    {
        if (explorer_driver::take_string([&](PWSTR* text) { return entry->GetTitle(items, text); }) == title)
        {
            const std::wstring folder = companion_stand_in::records_folder(dll.module());
            const auto before = companion_stand_in::record_files(folder);
            const HRESULT hr = entry->Invoke(items, nullptr);
            if (hr != S_OK)
            {
                return failure(L"Invoke \"" + title + L"\" failed: " +
                               (hr == S_FALSE ? L"S_FALSE" : hex(hr)));
            }
            print(L"Invoke \"" + title + L"\": S_OK");
            print_new_records(folder, before);
            return exit_done;
        }
    }
    return usage_error(L"no cascade entry is titled \"" + title + L"\"");
}
} // namespace tag_menu_host
