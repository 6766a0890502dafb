// The cascade as Explorer pulls it: which entries, in which order, and the enumerator's rules.
#include "TagShellExtension/tag_context_main_menu_item.h"
#include "TagShellExtension/tag_context_sub_menu_collection.h"
#include "support/extension_dll.h"
#include "support/fake_shell_items.h"
#include "support/product_files.h"

#include <fmt/format.h>
#include <gtest/gtest.h>

namespace
{
using Microsoft::WRL::ComPtr;
using namespace tag_extension;

struct entry
{
    std::wstring title;
    std::wstring icon;
    EXPCMDSTATE state = ECS_ENABLED;
    EXPCMDFLAGS flags = ECF_DEFAULT;
};

std::string tag_definitions_json(int count, const char* extra_fields = "")
{
    std::string tags;
    for (int i = 1; i <= count; ++i)
    {
        tags += fmt::format(R"({}{{"name": "Tag {}", "icon_not_tagged": "Content\\Icons\\tag_work.ico"{}}})",
                            i == 1 ? "" : ",", i, extra_fields);
    }
    return R"({"version": "1.0", "tags": [)" + tags + "]}";
}

std::vector<entry> read_cascade(IExplorerCommand* command)
{
    ComPtr<IEnumExplorerCommand> commands;
    EXPECT_EQ(command->EnumSubCommands(&commands), S_OK);
    std::vector<entry> entries;
    ComPtr<IExplorerCommand> item;
    while (commands->Next(1, &item, nullptr) == S_OK)
    {
        entry e;
        PWSTR text = nullptr;
        const HRESULT titled = item->GetTitle(nullptr, &text);
        e.title = text != nullptr ? text : titled == S_FALSE ? L"(none)" : L"(failed)";
        CoTaskMemFree(text);
        text = nullptr;
        item->GetIcon(nullptr, &text);
        e.icon = text != nullptr ? text : L"";
        CoTaskMemFree(text);
        item->GetState(nullptr, FALSE, &e.state);
        item->GetFlags(&e.flags);
        entries.push_back(e);
        item.Reset();
    }
    return entries;
}

std::vector<std::wstring> titles(const std::vector<entry>& entries)
{
    std::vector<std::wstring> result;
    for (const auto& e : entries)
    {
        result.push_back(e.title);
    }
    return result;
}

class cascade : public testing::Test
{
protected:
    static BOOL WINAPI memory(LPMEMORYSTATUSEX status)
    {
        status->ullTotalPhys = installed_gib * 1024ULL * 1024 * 1024;
        return TRUE;
    }

    void SetUp() override
    {
        saved_ = memory_functions();
        memory_functions().global_memory_status = &memory;
        forget_installed_memory_for_testing();
    }
    void TearDown() override
    {
        memory_functions() = saved_;
        forget_installed_memory_for_testing();
    }

    void people(bool auto_tag, bool recognize)
    {
        settings_.write(test_support::suite_settings_json(
            "{}", "enabled",
            fmt::format(R"({{"general": {{"showAutoTagContextMenu": {}}}, "people_recognition": )"
                        R"({{"show_recognize_faces_context_menu": {}}}}})",
                        auto_tag, recognize)));
    }

    static inline unsigned long long installed_gib = 8;
    memory_api saved_;
    test_support::settings_override settings_{test_support::suite_settings_name};
    test_support::settings_override tags_{test_support::tag_definitions_name};
    com_ptr<tag_context_main_menu_item> command_ = make_object<tag_context_main_menu_item>();
};

TEST_F(cascade, lists_optional_entries_then_the_first_nine_tags_then_the_fixed_entries)
{
    tags_.write(tag_definitions_json(12));
    people(true, true);
    installed_gib = 8;
    forget_installed_memory_for_testing();
    const auto entries = read_cascade(command_.Get());
    std::vector<std::wstring> expected{L"Auto tag", L"Recognize faces"};
    for (int i = 1; i <= 9; ++i)
    {
        expected.push_back(L"Tag " + std::to_wstring(i));
    }
    expected.insert(expected.end(), {L"All tags...", L"(none)", L"Remove all tags"});
    EXPECT_EQ(titles(entries), expected);
    EXPECT_TRUE(entries[0].icon.ends_with(L"\\Content\\Icons\\auto_tag_action.ico"));
    EXPECT_EQ(entries[0].icon, entries[1].icon);
    EXPECT_TRUE(entries[2].icon.ends_with(L"\\Content\\Icons\\tag_work.ico"));
    EXPECT_EQ(entries[12].state, ECS_DISABLED);
    EXPECT_EQ(entries[12].flags, ECF_ISSEPARATOR);
    EXPECT_EQ(entries[13].icon, L"");
}

TEST_F(cascade, auto_tag_needs_six_gib_and_its_setting_and_recognize_faces_its_own_setting)
{
    tags_.write(tag_definitions_json(0));
    const std::vector<std::wstring> fixed{L"All tags...", L"(none)", L"Remove all tags"};
    auto with = [&](std::vector<std::wstring> head)
    {
        head.insert(head.end(), fixed.begin(), fixed.end());
        return head;
    };

    installed_gib = 4;
    forget_installed_memory_for_testing();
    people(true, true);
    EXPECT_EQ(titles(read_cascade(command_.Get())), with({L"Recognize faces"}));

    installed_gib = 6;
    forget_installed_memory_for_testing();
    EXPECT_EQ(titles(read_cascade(command_.Get())), with({L"Auto tag", L"Recognize faces"}));
    people(false, true);
    EXPECT_EQ(titles(read_cascade(command_.Get())), with({L"Recognize faces"}));
    people(true, false);
    EXPECT_EQ(titles(read_cascade(command_.Get())), with({L"Auto tag"}));
}

TEST_F(cascade, unreadable_tag_definitions_give_only_the_placeholder)
{
    people(true, true);
    tags_.write("[1, 2, 3]");
    const auto entries = read_cascade(command_.Get());
    ASSERT_EQ(titles(entries), std::vector<std::wstring>{L"Failed to load tags"});
    EXPECT_EQ(entries[0].icon, L"");
}

TEST_F(cascade, next_hands_out_each_entry_into_its_own_slot_and_reset_rewinds)
{
    tags_.write(tag_definitions_json(2));
    people(false, false);
    ComPtr<IEnumExplorerCommand> commands;
    ASSERT_EQ(command_->EnumSubCommands(&commands), S_OK); // Tag 1, Tag 2, All tags, separator, Remove

    IExplorerCommand* slots[4] = {};
    ULONG fetched = 99;
    EXPECT_EQ(commands->Next(0, slots, &fetched), S_OK);
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(commands->Next(3, slots, &fetched), S_OK);
    EXPECT_EQ(fetched, 3u);
    EXPECT_TRUE(slots[0] && slots[1] && slots[2] && slots[0] != slots[1] && slots[1] != slots[2]);
    IExplorerCommand* rest[3] = {};
    EXPECT_EQ(commands->Next(3, rest, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 2u);
    EXPECT_EQ(commands->Next(1, rest + 2, nullptr), S_FALSE);
    EXPECT_EQ(commands->Skip(1), E_NOTIMPL);
    ComPtr<IEnumExplorerCommand> clone;
    EXPECT_EQ(commands->Clone(&clone), E_NOTIMPL);

    EXPECT_EQ(commands->Reset(), S_OK);
    ComPtr<IExplorerCommand> again;
    EXPECT_EQ(commands->Next(1, &again, nullptr), S_OK);
    EXPECT_EQ(again.Get(), slots[0]);
    for (auto* c : slots)
    {
        if (c != nullptr)
        {
            c->Release();
        }
    }
    rest[0]->Release();
    rest[1]->Release();
}

TEST_F(cascade, the_dll_serves_the_same_cascade_and_unloads_afterwards)
{
    tags_.write(tag_definitions_json(3));
    people(false, true);
    test_support::extension_dll dll;
    {
        auto command = dll.create_command();
        ASSERT_TRUE(command);
        EXPECT_EQ(titles(read_cascade(command.Get())),
                  (std::vector<std::wstring>{L"Recognize faces", L"Tag 1", L"Tag 2", L"Tag 3", L"All tags...",
                                             L"(none)", L"Remove all tags"}));
    }
    EXPECT_EQ(dll.can_unload_now(), S_OK);
}
} // namespace
