#pragma once

#include "keyword_stand_in.h"

#include <string>
#include <vector>

namespace tag_menu_host
{
extern const wchar_t* const usage_text;

struct host_options
{
    std::wstring action; // show, render, invoke or why
    std::wstring dll;
    std::wstring title;  // invoke
    std::wstring output; // render: a full path
    bool dark = false;
    std::vector<keyword_entry> keywords;
    std::vector<std::wstring> paths;
};

bool asks_for_help(const std::vector<std::wstring>& args);
// Empty on success, else the one-line complaint.
std::wstring parse_command_line(const std::vector<std::wstring>& args, host_options& options);
} // namespace tag_menu_host
