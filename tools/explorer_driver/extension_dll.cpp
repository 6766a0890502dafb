#include "tools/explorer_driver/extension_dll.h"

namespace explorer_driver
{
namespace
{
template <typename Function> Function export_of(HMODULE module, const char* name)
{
    return module != nullptr
               ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
               : nullptr;
}
} // namespace

extension_dll::extension_dll(const std::wstring& path) : module_(LoadLibraryW(path.c_str()))
{
    load_error_ = module_ ? 0 : GetLastError();
    get_class_object = export_of<decltype(get_class_object)>(module_.get(), "DllGetClassObject");
    can_unload_now = export_of<decltype(can_unload_now)>(module_.get(), "DllCanUnloadNow");
}

Microsoft::WRL::ComPtr<IExplorerCommand> extension_dll::create_command() const
{
    Microsoft::WRL::ComPtr<IClassFactory> factory;
    Microsoft::WRL::ComPtr<IExplorerCommand> command;
    if (get_class_object != nullptr && SUCCEEDED(get_class_object(tag_command_class, IID_PPV_ARGS(&factory))))
    {
        factory->CreateInstance(nullptr, IID_PPV_ARGS(&command));
    }
    return command;
}
} // namespace explorer_driver
