// The DLL's COM surface as Explorer meets it: exact results, out-pointers and module lifetime.
#include "TagShellExtension/com_module.h"
#include "support/extension_dll.h"

#include <gtest/gtest.h>

namespace
{
using Microsoft::WRL::ComPtr;
using tag_extension::CLSID_tag_context_main_menu_item;

// A refusal must also null the caller's pointer; a refusal that leaves it set gives S_OK here.
template <class Call> HRESULT refused(Call call)
{
    void* result = reinterpret_cast<void*>(1);
    const HRESULT hr = call(&result);
    return result == nullptr ? hr : S_OK;
}

TEST(com_server, class_object_and_command_answer_exact_results_and_null_refused_out_pointers)
{
    test_support::extension_dll dll;
    const CLSID& tag = CLSID_tag_context_main_menu_item;
    EXPECT_EQ(dll.get_class_object(tag, IID_IClassFactory, nullptr), E_POINTER);
    EXPECT_EQ(refused([&](void** r) { return dll.get_class_object(IID_IUnknown, IID_IClassFactory, r); }),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(refused([&](void** r) { return dll.get_class_object(tag, IID_IExplorerCommand, r); }),
              E_NOINTERFACE);

    ComPtr<IClassFactory> factory, again;
    ASSERT_EQ(dll.get_class_object(tag, IID_PPV_ARGS(&factory)), S_OK);
    ASSERT_EQ(dll.get_class_object(tag, IID_PPV_ARGS(&again)), S_OK);
    EXPECT_EQ(factory.Get(), again.Get());
    EXPECT_EQ(refused([&](void** r) { return factory->CreateInstance(factory.Get(), IID_IUnknown, r); }),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IExplorerCommand, nullptr), E_POINTER);
    EXPECT_EQ(refused([&](void** r) { return factory->CreateInstance(nullptr, IID_IDispatch, r); }),
              E_NOINTERFACE);

    ComPtr<IExplorerCommand> command;
    ComPtr<IObjectWithSite> with_site;
    ComPtr<IUnknown> identity;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&command)), S_OK);
    ASSERT_EQ(command.As(&with_site), S_OK);
    EXPECT_EQ(command->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    // One identity whichever interface is asked.
    ASSERT_EQ(with_site.As(&identity), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(command.Get()));
    EXPECT_EQ(refused([&](void** r) { return command->GetToolTip(nullptr, reinterpret_cast<PWSTR*>(r)); }),
              E_NOTIMPL);
    EXPECT_EQ(refused([&](void** r) { return with_site->GetSite(IID_IUnknown, r); }), E_FAIL);
}

TEST(com_server, can_unload_only_when_no_object_factory_reference_or_server_lock_lives)
{
    test_support::extension_dll dll;
    const auto released = [&](auto& object) { return object.Reset(), dll.can_unload_now(); };
    EXPECT_EQ(dll.can_unload_now(), S_OK);
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(dll.get_class_object(CLSID_tag_context_main_menu_item, IID_PPV_ARGS(&factory)), S_OK);
    EXPECT_EQ(dll.can_unload_now(), S_FALSE);

    // Each of the command, its enumerator and an entry keeps the module alive on its own.
    ComPtr<IExplorerCommand> command, entry;
    ComPtr<IEnumExplorerCommand> sub_commands;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&command)), S_OK);
    EXPECT_EQ(released(factory), S_FALSE);
    ASSERT_EQ(command->EnumSubCommands(&sub_commands), S_OK);
    EXPECT_EQ(released(command), S_FALSE);
    ASSERT_EQ(sub_commands->Next(1, &entry, nullptr), S_OK);
    EXPECT_EQ(released(sub_commands), S_FALSE);
    EXPECT_EQ(released(entry), S_OK);

    // A lock outlives the factory it was taken through.
    for (const auto& [lock, unload] : {std::pair{TRUE, S_FALSE}, {FALSE, S_OK}})
    {
        ASSERT_EQ(dll.get_class_object(CLSID_tag_context_main_menu_item, IID_PPV_ARGS(&factory)), S_OK);
        EXPECT_EQ(factory->LockServer(lock), S_OK);
        EXPECT_EQ(released(factory), unload);
    }
}
} // namespace
