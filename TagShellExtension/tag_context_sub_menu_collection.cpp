#include "TagShellExtension/tag_context_sub_menu_collection.h"

#include "common/logger.h"

#include <exception>

namespace tag_extension
{
void tag_context_sub_menu_collection::fill(const Microsoft::WRL::ComPtr<IUnknown>& site) noexcept
{
    try
    {
        site_ = site;
    }
    catch (const std::exception& error)
    {
        common::log(common::log_level::critical, "Unable to initialize tag_context_sub_menu_collection. Details: {}",
                    error.what());
    }
    catch (...)
    {
        common::log(common::log_level::critical, "Unable to initialize tag_context_sub_menu_collection");
    }
    position_ = 0;
}

IFACEMETHODIMP tag_context_sub_menu_collection::Next(ULONG wanted, IExplorerCommand** commands,
                                                     ULONG* fetched) noexcept
{
    if (fetched != nullptr)
    {
        *fetched = 0;
    }
    if (wanted > 0 && commands == nullptr)
    {
        return E_POINTER;
    }
    ULONG handed_out = 0;
    while (handed_out < wanted && position_ < commands_.size())
    {
        // Each entry into its own slot.
        if (FAILED(commands_[position_].CopyTo(&commands[handed_out])))
        {
            // Take back what this call handed out so nothing leaks and the caller may retry.
            for (ULONG i = 0; i < handed_out; ++i)
            {
                commands[i]->Release();
                commands[i] = nullptr;
            }
            position_ -= handed_out;
            return E_FAIL;
        }
        ++handed_out;
        ++position_;
    }
    if (fetched != nullptr)
    {
        *fetched = handed_out;
    }
    return handed_out == wanted ? S_OK : S_FALSE;
}

IFACEMETHODIMP tag_context_sub_menu_collection::Skip(ULONG) noexcept
{
    return E_NOTIMPL;
}

IFACEMETHODIMP tag_context_sub_menu_collection::Reset() noexcept
{
    position_ = 0;
    return S_OK;
}

IFACEMETHODIMP tag_context_sub_menu_collection::Clone(IEnumExplorerCommand** copy) noexcept
{
    if (copy != nullptr)
    {
        *copy = nullptr;
    }
    return E_NOTIMPL;
}
} // namespace tag_extension
