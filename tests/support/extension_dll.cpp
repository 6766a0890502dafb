#include "support/extension_dll.h"

#include "TagShellExtension/com_module.h"
#include "support/scratch_folder.h"

#include <stdexcept>

namespace test_support
{
std::filesystem::path dll_path()
{
    return executable_folder() / L"TagShellExtension.dll";
}

extension_dll::extension_dll(const std::filesystem::path& path)
{
    module_ = LoadLibraryW(path.c_str());
    if (module_ == nullptr)
    {
        throw std::runtime_error("TagShellExtension.dll cannot be loaded");
    }
    get_class_object = reinterpret_cast<decltype(get_class_object)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
    can_unload_now = reinterpret_cast<decltype(can_unload_now)>(
        reinterpret_cast<void*>(GetProcAddress(module_, "DllCanUnloadNow")));
}

extension_dll::~extension_dll()
{
    FreeLibrary(module_);
}

Microsoft::WRL::ComPtr<IExplorerCommand> extension_dll::create_command() const
{
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    Microsoft::WRL::ComPtr<IExplorerCommand> command;
    if (SUCCEEDED(get_class_object(tag_extension::CLSID_tag_context_main_menu_item, IID_PPV_ARGS(&factory))))
    {
        factory->CreateInstance(nullptr, IID_PPV_ARGS(&command));
    }
    return command;
}
} // namespace test_support
