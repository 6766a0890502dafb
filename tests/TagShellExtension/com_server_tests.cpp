// The DLL's COM surface as Explorer meets it: exact results, out-pointers and module lifetime.
#include "TagShellExtension/com_module.h"
#include "support/explorer_calls.h"
#include "support/extension_dll.h"
#include "support/product_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

namespace
{
using Microsoft::WRL::ComPtr;
using tag_extension::CLSID_tag_context_main_menu_item;

// The call's result if it left `expected` in its out-parameter, which starts with every bit set,
// else E_UNEXPECTED: by default, a refusal must also null the caller's pointer.
template <class Value = void*, class Call> HRESULT gives(Call call, const Value& expected = {})
{
    Value value;
    std::memset(&value, 0xFF, sizeof(value));
    const HRESULT hr = call(&value);
    return std::memcmp(&value, &expected, sizeof(value)) == 0 ? hr : E_UNEXPECTED;
}

TEST(com_server, class_object_command_and_entries_answer_exact_results_and_null_refused_out_pointers)
{
    test_support::extension_dll dll;
    const CLSID& tag = CLSID_tag_context_main_menu_item;
    ComPtr<IClassFactory> factory;
    ASSERT_EQ(dll.get_class_object(tag, IID_PPV_ARGS(&factory)), S_OK);
    ComPtr<IExplorerCommand> command;
    ComPtr<IObjectWithSite> with_site;
    ComPtr<IUnknown> identity;
    ASSERT_EQ(factory->CreateInstance(nullptr, IID_PPV_ARGS(&command)), S_OK);
    ASSERT_EQ(command.As(&with_site), S_OK);
    // One identity whichever interface is asked.
    ASSERT_EQ(with_site.As(&identity), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(command.Get()));

    const test_support::settings_override tags(test_support::tag_definitions_name);
    tags.write(R"({"tags": [{"name": "a"}]})");
    const auto entries = test_support::open_cascade(command.Get());
    const auto separator = test_support::find_entry(command.Get(), L""); // the one entry without a title
    ASSERT_TRUE(separator);
    const auto null_name = [](const auto& entry)
    { return gives([&](GUID* name) { return entry->GetCanonicalName(name); }, GUID_NULL) == S_OK; };
    GUID registered{}; // as the registration files write the Tag command's class
    CLSIDFromString(L"{A2877438-9A16-4629-912A-1223B4E3B025}", &registered);
    const std::pair<HRESULT, HRESULT> rows[] = {
        {dll.get_class_object(tag, IID_IClassFactory, nullptr), E_POINTER},
        {gives([&](void** r) { return dll.get_class_object(IID_IUnknown, IID_IClassFactory, r); }),
         CLASS_E_CLASSNOTAVAILABLE},
        {gives([&](void** r) { return dll.get_class_object(tag, IID_IExplorerCommand, r); }), E_NOINTERFACE},
        {gives([&](void** r) { return factory->CreateInstance(factory.Get(), IID_IUnknown, r); }),
         CLASS_E_NOAGGREGATION},
        {factory->CreateInstance(nullptr, IID_IExplorerCommand, nullptr), E_POINTER},
        {gives([&](void** r) { return factory->CreateInstance(nullptr, IID_IDispatch, r); }), E_NOINTERFACE},
        {command->QueryInterface(IID_IUnknown, nullptr), E_POINTER},
        {gives([&](void** r) { return command->GetToolTip(nullptr, reinterpret_cast<PWSTR*>(r)); }),
         E_NOTIMPL},
        {gives([&](void** r) { return with_site->GetSite(IID_IUnknown, r); }), E_FAIL},
        {gives<EXPCMDFLAGS>([&](EXPCMDFLAGS* r) { return command->GetFlags(r); }, ECF_HASSUBCOMMANDS), S_OK},
        {gives([&](GUID* r) { return command->GetCanonicalName(r); }, registered), S_OK},
        {command->Invoke(nullptr, nullptr), E_NOTIMPL},
        {!entries.empty() && std::ranges::all_of(entries, null_name) ? S_OK : E_UNEXPECTED, S_OK},
        {gives<EXPCMDSTATE>([&](EXPCMDSTATE* r) { return separator->GetState(nullptr, FALSE, r); },
                            ECS_DISABLED),
         S_OK},
        {gives<EXPCMDFLAGS>([&](EXPCMDFLAGS* r) { return separator->GetFlags(r); }, ECF_ISSEPARATOR), S_OK},
    };
    for (size_t row = 0; row < std::size(rows); ++row)
    {
        EXPECT_EQ(rows[row].first, rows[row].second) << "row " << row;
    }
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
