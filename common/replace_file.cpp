#include "common/replace_file.h"

#include <algorithm>
#include <atomic>
#include <utility>

namespace common
{
namespace
{
// The temporary file of one replacement: removed unless it was moved into place.
class pending_file
{
public:
    explicit pending_file(std::wstring path) : path_(std::move(path))
    {
        handle_ =
            CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    ~pending_file()
    {
        if (handle_ != INVALID_HANDLE_VALUE)
        {
            CloseHandle(handle_);
            DeleteFileW(path_.c_str());
        }
    }
    pending_file(const pending_file&) = delete;
    pending_file& operator=(const pending_file&) = delete;

    bool write(std::string_view bytes)
    {
        while (!bytes.empty() && handle_ != INVALID_HANDLE_VALUE)
        {
            const auto wanted = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
            DWORD written = 0;
            if (!replace_file_functions().write_file(handle_, bytes.data(), wanted, &written, nullptr) ||
                written != wanted)
            {
                return false;
            }
            bytes.remove_prefix(written);
        }
        return handle_ != INVALID_HANDLE_VALUE && FlushFileBuffers(handle_);
    }

    bool move_to(const std::wstring& target)
    {
        const HANDLE file = std::exchange(handle_, INVALID_HANDLE_VALUE);
        const bool moved =
            CloseHandle(file) &&
            MoveFileExW(path_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
        if (!moved)
        {
            DeleteFileW(path_.c_str());
        }
        return moved;
    }

private:
    std::wstring path_;
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};
} // namespace

bool replace_file(const std::wstring& path, std::string_view bytes)
{
    static std::atomic<unsigned> counter{0};
    pending_file file(path + L"." + std::to_wstring(GetCurrentProcessId()) + L"." +
                      std::to_wstring(++counter) + L".tmp");
    return file.write(bytes) && file.move_to(path);
}

replace_file_api& replace_file_functions()
{
    static replace_file_api functions;
    return functions;
}
} // namespace common
