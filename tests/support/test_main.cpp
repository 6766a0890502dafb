#include "TagShellExtension/process_attach.h"
#include "common/conversions.h"
#include "common/logger.h"
#include "support/product_files.h"

#include <gtest/gtest.h>

#include <objbase.h>

#include <cstdlib>
#include <string>

namespace
{
// Child mode for tests that need a second process appending to the same log file.
int append_log_lines(const char* path, int count)
{
    common::plain_text_logger logger;
    logger.open(common::to_wide(path));
    const std::string payload(200, 'x');
    for (int i = 0; i < count; ++i)
    {
        logger.write(common::line_prefix(common::log_level::info) + payload);
    }
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    if (argc == 4 && std::string(argv[1]) == "--append-log-lines")
    {
        return append_log_lines(argv[2], std::atoi(argv[3]));
    }
    // Settings, logs, generated icons and temporary files go to a scratch folder, never the user's.
    const test_support::scratch_user_folders folders;
    // Code linked into the tests logs to the same day's file as the DLL does.
    tag_extension::process_attach(GetModuleHandleW(nullptr));
    // Explorer calls in on single-threaded apartments.
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    testing::InitGoogleTest(&argc, argv);
    const int result = RUN_ALL_TESTS();
    CoUninitialize();
    common::shared_logger().reset(); // closes the log file before its folder goes
    return result;
}
