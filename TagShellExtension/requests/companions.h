#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tag_extension
{
// The suite's programs the extension starts; all lie beside the extension's module.
inline constexpr std::wstring_view batch_processor_name = L"Sortwell.Common.BatchProcessor.exe";
inline constexpr std::wstring_view tag_manager_name = L"Sortwell.Common.TagManager.exe";
inline constexpr std::wstring_view main_application_name = L"Lumora.exe";
inline constexpr std::wstring_view people_management_page = L"people-management";

std::wstring batch_processor_path(HMODULE module);
std::wstring tag_manager_path(HMODULE module);
std::wstring main_application_path(HMODULE module);

// The request path as the whole argument text, unquoted (it may contain spaces).
std::wstring batch_processor_arguments(const std::wstring& request_path);
// "<tag definitions file>" "<request file>"
std::wstring tag_manager_arguments(const std::wstring& tag_definitions_path,
                                   const std::wstring& request_path);
// --open-tab=<page>
std::wstring main_application_arguments(std::wstring_view page = people_management_page);
} // namespace tag_extension
