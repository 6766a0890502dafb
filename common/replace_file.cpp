#include "common/replace_file.h"

#include "common/unique_resources.h"

#include <algorithm>
#include <atomic>

namespace common
{
namespace
{
// The temporary file of one replacement: removed unless it was moved into place.
class pending_file
{
public:
    explicit pending_file(std::wstring path)
        : path_(std::move(path)), file_(CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                                    FILE_ATTRIBUTE_NORMAL, nullptr)),
          to_remove_(static_cast<bool>(file_))
    {
    }
    ~pending_file()
    {
        file_.reset();
        if (to_remove_)
        {
            DeleteFileW(path_.c_str());
        }
    }
    pending_file(const pending_file&) = delete;
    pending_file& operator=(const pending_file&) = delete;

    bool write(std::string_view bytes)
    {
        while (!bytes.empty() && file_)
        {
            const auto wanted = static_cast<DWORD>(std::min<size_t>(bytes.size(), 1u << 30));
            DWORD written = 0;
            if (!replace_file_functions().write_file(file_.get(), bytes.data(), wanted, &written, nullptr) ||
                written != wanted)
            {
                return false;
            }
            bytes.remove_prefix(written);
        }
        return file_ && FlushFileBuffers(file_.get());
    }

    bool move_to(const std::wstring& target)
    {
        to_remove_ =
            !(CloseHandle(file_.release()) &&
              MoveFileExW(path_.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH));
        return !to_remove_;
    }

private:
    std::wstring path_;
    unique_hfile file_;
    bool to_remove_ = false;
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
