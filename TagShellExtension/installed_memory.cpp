#include "TagShellExtension/installed_memory.h"

#include <mutex>
#include <optional>

namespace tag_extension
{
namespace
{
double measure_installed_memory_gib()
{
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof(status);
    if (!memory_functions().global_memory_status(&status))
    {
        return 0.0;
    }
    return static_cast<double>(status.ullTotalPhys) / (1024.0 * 1024.0 * 1024.0);
}

std::mutex memory_lock;
std::optional<double> installed_memory;
} // namespace

memory_api& memory_functions()
{
    static memory_api functions;
    return functions;
}

double installed_memory_gib()
{
    std::lock_guard guard(memory_lock);
    if (!installed_memory)
    {
        installed_memory = measure_installed_memory_gib();
    }
    return *installed_memory;
}

void forget_installed_memory_for_testing()
{
    std::lock_guard guard(memory_lock);
    installed_memory.reset();
}
} // namespace tag_extension
