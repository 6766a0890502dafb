#pragma once

// What the figures feed the extension: its command, a selection, the cascade Explorer opens and
// settings files of everyday and oversized kinds.

#include <windows.h>
#include <shobjidl.h>
#include <wrl/client.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace tag_bench
{
// GetState of one command on one file, the code most often run in Explorer's threads.
struct state_bench
{
    Microsoft::WRL::ComPtr<IExplorerCommand> command;
    Microsoft::WRL::ComPtr<IShellItemArray> selection;
    std::function<void()> get_state;
};

// The Tag command, made through the class object as Explorer makes it.
Microsoft::WRL::ComPtr<IExplorerCommand> create_command();

// What Explorer does when the cascade opens; gives the icons handed out.
std::vector<std::wstring> open_cascade(IExplorerCommand* command, IShellItemArray* items);

// Nine tags with shipped icons, named "Tag 1" to "Tag 9".
std::string nine_tags_json();

// A suite settings file of about `size` bytes: the two apps this extension reads and many
// more apps with settings of every kind the suite keeps (groups, flags, numbers, paths, lists).
std::string big_suite_settings(size_t size);

// The shipped default suite settings, with `extra` settings members added to the owning app.
std::string default_suite_settings(int extra);

void set_write_time(const std::filesystem::path& path, std::uint64_t ticks);
} // namespace tag_bench
