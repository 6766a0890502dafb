#pragma once

#include "common/folders.h"
#include "common/whole_file.h"

#include <filesystem>
#include <string>
#include <string_view>

namespace test_support
{
// A fresh folder under the temporary folder, removed with everything in it at the end.
class scratch_folder
{
public:
    scratch_folder();
    ~scratch_folder();
    scratch_folder(const scratch_folder&) = delete;
    scratch_folder& operator=(const scratch_folder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const { return path_ / name; }

    // Writes bytes to a file below the folder, making its parents; returns its path.
    std::filesystem::path write(const std::filesystem::path& name, std::string_view bytes = {}) const;

private:
    std::filesystem::path path_;
};

inline std::string read_file(const std::filesystem::path& path)
{
    return common::read_whole_file(path.wstring()).bytes;
}
inline std::filesystem::path executable_folder()
{
    return common::module_folder(nullptr);
}
} // namespace test_support
