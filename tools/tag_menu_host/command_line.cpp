#include "command_line.h"

#include "host_files.h"

namespace tag_menu_host
{
const wchar_t* const usage_text =
    L"usage: tag_menu_host show [options] <TagShellExtension.dll> <path>...\n"
    L"       tag_menu_host render [options] <TagShellExtension.dll> <out.png> <path>...\n"
    L"       tag_menu_host invoke <TagShellExtension.dll> <entry title> <path>...\n"
    L"       tag_menu_host why [--keywords ...] <TagShellExtension.dll> <path>...\n"
    L"       tag_menu_host --help\n"
    L"\n"
    L"show    prints the Tag command and, when it is shown, its cascade, as Explorer asks for them\n"
    L"render  draws them as Windows 11 Explorer's context menu shows them, the cascade open, to a PNG\n"
    L"invoke  chooses the cascade entry with that title, then prints what the started program\n"
    L"        received (read from companion_records beside the DLL, written by the stand-ins)\n"
    L"why     says whether the Tag command is shown for the selection and every reason why not,\n"
    L"        then for each tag entry whether it is check-marked and why not, as the code the DLL\n"
    L"        is built from decides it\n"
    L"\n"
    L"options of show and render:\n"
    L"  --dark                            dark theme: the DLL reads AppsUseLightTheme=0 (render\n"
    L"                                    without --dark makes it read 1) and the picture is dark\n"
    L"  --keywords <path>=<tag1;tag2>     the item at <path> carries these tags in System.Keywords;\n"
    L"                                    repeatable, also for why. Wine serves no property store,\n"
    L"                                    so the host stands in for the property-system functions\n"
    L"                                    the DLL imports; the file itself must exist and is not changed\n"
    L"\n"
    L"Paths are Windows paths (C:\\Samples\\Beach.jpg). Exit status: 0 done (why: also when the\n"
    L"command is hidden); 1 the DLL failed (it cannot be loaded, lacks its exports, a call failed,\n"
    L"the command is hidden for invoke or render, or it disagrees with the code it is built from)\n"
    L"or the drawing failed; 2 bad arguments (a path that does not exist included).";

namespace
{
bool is_help(const std::wstring& arg)
{
    return arg == L"--help" || arg == L"-h" || arg == L"/?";
}

// Which subcommands take which options.
bool takes_dark(const std::wstring& action)
{
    return action == L"show" || action == L"render";
}

bool takes_keywords(const std::wstring& action)
{
    return takes_dark(action) || action == L"why";
}

// Empty on success, else the complaint; `i` moves past a separate value.
std::wstring parse_option(const std::vector<std::wstring>& args, size_t& i, host_options& options)
{
    const std::wstring& arg = args[i];
    const bool keywords = arg == L"--keywords" || arg.starts_with(L"--keywords=");
    if (arg != L"--dark" && !keywords)
    {
        return L"unknown option \"" + arg + L"\"";
    }
    if (!(keywords ? takes_keywords(options.action) : takes_dark(options.action)))
    {
        return arg.substr(0, arg.find(L'=')) + L" does not apply to " + options.action;
    }
    if (!keywords)
    {
        options.dark = true;
        return {};
    }
    std::wstring value;
    if (arg == L"--keywords")
    {
        if (++i == args.size())
        {
            return L"--keywords needs <path>=<tag1;tag2>";
        }
        value = args[i];
    }
    else
    {
        value = arg.substr(11);
    }
    auto entry = parse_keyword_entry(value);
    if (!entry)
    {
        return L"--keywords needs <path>=<tag1;tag2>, not \"" + value + L"\"";
    }
    options.keywords.push_back(std::move(*entry));
    return {};
}
} // namespace

bool asks_for_help(const std::vector<std::wstring>& args)
{
    for (const auto& arg : args)
    {
        if (is_help(arg))
        {
            return true;
        }
    }
    return false;
}

std::wstring parse_command_line(const std::vector<std::wstring>& args, host_options& options)
{
    if (args.empty())
    {
        return L"no subcommand given";
    }
    options.action = args[0];
    if (!takes_keywords(options.action) && options.action != L"invoke")
    {
        return L"unknown subcommand \"" + options.action + L"\"";
    }
    std::vector<std::wstring> positional;
    bool options_ended = false;
    for (size_t i = 1; i < args.size(); ++i)
    {
        const std::wstring& arg = args[i];
        if (options_ended || !arg.starts_with(L"--"))
        {
            positional.push_back(arg);
        }
        else if (arg == L"--")
        {
            options_ended = true;
        }
        else if (auto problem = parse_option(args, i, options); !problem.empty())
        {
            return problem;
        }
    }

    size_t next = 0;
    if (next == positional.size())
    {
        return L"no DLL given";
    }
    options.dll = positional[next++];
    if (options.action == L"invoke")
    {
        if (next == positional.size())
        {
            return L"no entry title given";
        }
        options.title = positional[next++];
    }
    if (options.action == L"render")
    {
        if (next == positional.size())
        {
            return L"no output PNG given";
        }
        options.output = absolute_path(positional[next++]);
    }
    if (next == positional.size())
    {
        return L"no paths given";
    }
    options.paths.assign(positional.begin() + static_cast<std::ptrdiff_t>(next), positional.end());
    return {};
}
} // namespace tag_menu_host
