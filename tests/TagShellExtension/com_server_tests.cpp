#include "TagShellExtension/com_module.h"
#include "support/extension_dll.h"

#include <gtest/gtest.h>

namespace
{
using Microsoft::WRL::ComPtr;
using tag_extension::CLSID_tag_context_main_menu_item;

TEST(com_server, exports_only_the_two_entry_points)
{
    test_support::extension_dll dll;
    EXPECT_NE(GetProcAddress(dll.module(), "DllGetClassObject"), nullptr);
    EXPECT_NE(GetProcAddress(dll.module(), "DllCanUnloadNow"), nullptr);
    EXPECT_EQ(GetProcAddress(dll.module(), "DllRegisterServer"), nullptr);
    EXPECT_EQ(GetProcAddress(dll.module(), "DllMain"), nullptr);
}

TEST(com_server, get_class_object_checks_its_arguments_and_caches_one_factory)
{
    test_support::extension_dll dll;
    EXPECT_EQ(dll.get_class_object(CLSID_tag_context_main_menu_item, IID_IClassFactory, nullptr), E_POINTER);

    void* unknown_class = reinterpret_cast<void*>(1);
    EXPECT_EQ(dll.get_class_object(IID_IUnknown, IID_IClassFactory, &unknown_class),
              CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(unknown_class, nullptr);

    ComPtr<IClassFactory> first, second;
    ASSERT_EQ(dll.get_class_object(CLSID_tag_context_main_menu_item, IID_PPV_ARGS(&first)), S_OK);
    ASSERT_EQ(dll.get_class_object(CLSID_tag_context_main_menu_item, IID_PPV_ARGS(&second)), S_OK);
    EXPECT_EQ(first.Get(), second.Get());

    ComPtr<IExplorerCommand> wrong_interface;
    EXPECT_EQ(dll.get_class_object(CLSID_tag_context_main_menu_item, IID_PPV_ARGS(&wrong_interface)),
              E_NOINTERFACE);
    EXPECT_EQ(wrong_interface, nullptr);
}

TEST(com_server, create_instance_refuses_aggregation_and_answers_its_interface_table)
{
    test_support::extension_dll dll;
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(dll.get_class_object(CLSID_tag_context_main_menu_item, IID_PPV_ARGS(&factory)), S_OK);

    ComPtr<IUnknown> outer;
    ASSERT_EQ(factory.As(&outer), S_OK);
    void* result = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_IUnknown, &result), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(factory->CreateInstance(outer.Get(), IID_IExplorerCommand, &result), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IExplorerCommand, nullptr), E_POINTER);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IEnumExplorerCommand, &result), E_NOINTERFACE);
    EXPECT_EQ(result, nullptr);

    ComPtr<IUnknown> command;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&command)), S_OK);
    ComPtr<IExplorerCommand> as_command;
    ComPtr<IObjectWithSite> as_site;
    ComPtr<IEnumExplorerCommand> as_enumerator;
    EXPECT_EQ(command.As(&as_command), S_OK);
    EXPECT_EQ(command.As(&as_site), S_OK);
    EXPECT_EQ(command.As(&as_enumerator), E_NOINTERFACE);
    EXPECT_EQ(command->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
    // IUnknown answers with the first interface of the table, the same identity every time.
    ComPtr<IUnknown> identity;
    ASSERT_EQ(as_site.As(&identity), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(as_command.Get()));
}

TEST(com_server, can_unload_only_when_no_object_factory_reference_or_server_lock_lives)
{
    test_support::extension_dll dll;
    EXPECT_EQ(dll.can_unload_now(), S_OK);
    {
        ComPtr<IClassFactory> factory;
        ASSERT_EQ(dll.get_class_object(CLSID_tag_context_main_menu_item, IID_PPV_ARGS(&factory)), S_OK);
        EXPECT_EQ(dll.can_unload_now(), S_FALSE) << "the factory is held beyond the class table's reference";

        ComPtr<IExplorerCommand> command;
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&command)), S_OK);
        factory.Reset();
        EXPECT_EQ(dll.can_unload_now(), S_FALSE) << "a command lives";

        ComPtr<IEnumExplorerCommand> sub_commands;
        ASSERT_EQ(command->EnumSubCommands(&sub_commands), S_OK);
        command.Reset();
        EXPECT_EQ(dll.can_unload_now(), S_FALSE) << "an enumerator lives";
    }
    EXPECT_EQ(dll.can_unload_now(), S_OK);

    ComPtr<IClassFactory> factory;
    ASSERT_EQ(dll.get_class_object(CLSID_tag_context_main_menu_item, IID_PPV_ARGS(&factory)), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    factory.Reset();
    EXPECT_EQ(dll.can_unload_now(), S_FALSE) << "an unmatched server lock";
    ASSERT_EQ(dll.get_class_object(CLSID_tag_context_main_menu_item, IID_PPV_ARGS(&factory)), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    factory.Reset();
    EXPECT_EQ(dll.can_unload_now(), S_OK);
}
} // namespace
