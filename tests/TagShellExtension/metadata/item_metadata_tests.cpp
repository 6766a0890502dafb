#include "TagShellExtension/metadata/item_metadata.h"
#include "TagShellExtension/metadata/tag_reader.h"
#include "support/scoped_seam.h"
#include "support/scratch_folder.h"
#include "tools/explorer_driver/keyword_store.h"

#include <gtest/gtest.h>

#include <map>
#include <stdexcept>
#include <tuple>

namespace
{
using namespace tag_extension;
using strings = std::vector<std::wstring>;

// What the property system knows of one path.
struct fake_item
{
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    std::wstring answering = L"h"; // the calls below that succeed
    strings keywords;
    VARTYPE type = VT_VECTOR | VT_LPWSTR;
    DWORD last_error = ERROR_ACCESS_DENIED; // left behind by a failing call
};
std::map<std::wstring, fake_item> world;
// One letter a call: attributes, handler store, default store, storage, create store from storage.
std::wstring calls, storage_path;

// Answers System.Keywords as a list, or as an empty value of another type.
struct fake_store : explorer_driver::keyword_store
{
    explicit fake_store(const fake_item& item) : keyword_store(item.keywords), type_(item.type) {}
    IFACEMETHODIMP GetValue(REFPROPERTYKEY key, PROPVARIANT* value) noexcept override
    {
        return type_ == (VT_VECTOR | VT_LPWSTR) ? keyword_store::GetValue(key, value)
                                                : (PropVariantInit(value), value->vt = type_, S_OK);
    }
    const VARTYPE type_;
};

// The store also stands in for the property-set storage: only its release is called.
HRESULT serve(wchar_t call, const std::wstring& path, void** result)
{
    calls += call;
    const fake_item& item = world.at(path);
    SetLastError(item.last_error);
    const bool answers = item.answering.find(call) != std::wstring::npos;
    *result = answers ? static_cast<IPropertyStore*>(make_object<fake_store>(item).Detach()) : nullptr;
    return answers ? S_OK : E_FAIL;
}

struct property_system : testing::Test
{
    void TearDown() override { EXPECT_EQ(module_lock_count(), locks) << "a store or storage leaked"; }
    const long locks = module_lock_count();
    const test_support::scoped_seam<property_system_api> seam{
        property_system_functions(),
        {[](PCWSTR path, IBindCtx*, GETPROPERTYSTOREFLAGS flags, REFIID, void** result)
         { return serve(flags == GPS_HANDLERPROPERTIESONLY ? L'h' : L'd', path, result); },
         [](const WCHAR* path, DWORD, DWORD, DWORD, STGOPTIONS*, PSECURITY_DESCRIPTOR, REFIID, void** result)
         { return serve(L's', storage_path = path, result); },
         [](IPropertySetStorage*, DWORD, REFIID, void** result) { return serve(L'c', storage_path, result); },
         [](LPCWSTR path)
         { return calls += L'a', world.contains(path) ? world[path].attributes : INVALID_FILE_ATTRIBUTES; }}};
};

// Items C:\0, C:\1, ... with the given keywords.
strings tagged_items(const std::vector<strings>& tags)
{
    strings paths;
    for (const auto& keywords : tags)
    {
        world[paths.emplace_back(L"C:\\" + std::to_wstring(paths.size()))] = {.keywords = keywords};
    }
    return paths;
}

TEST_F(property_system, routes_are_tried_in_order_and_only_failures_of_files_other_than_missing_raise)
{
    // Attributes, the calls that succeed, the error a failing call leaves; then whether the item
    // opens (1), does not (0) or raises (2), and the calls made.
    const std::tuple<DWORD, std::wstring, DWORD, int, std::wstring> cases[] = {
        {FILE_ATTRIBUTE_NORMAL, L"h", 0, 1, L"ah"},
        {FILE_ATTRIBUTE_NORMAL, L"d", 0, 1, L"ahd"},
        {FILE_ATTRIBUTE_NORMAL, L"sc", 0, 1, L"ahdasca"},
        {FILE_ATTRIBUTE_REPARSE_POINT, L"", ERROR_FILE_NOT_FOUND, 0, L"adas"},
        {FILE_ATTRIBUTE_NORMAL, L"", ERROR_PATH_NOT_FOUND, 0, L"ahdas"},
        {FILE_ATTRIBUTE_NORMAL, L"", 0x80030002, 0, L"ahdas"},
        {FILE_ATTRIBUTE_NORMAL, L"", ERROR_ACCESS_DENIED, 2, L"ahdas"},
        {FILE_ATTRIBUTE_NORMAL, L"", 0x80030003, 2, L"ahdas"},
        {FILE_ATTRIBUTE_DIRECTORY, L"hd", ERROR_ACCESS_DENIED, 0, L"aas"},
        {FILE_ATTRIBUTE_DIRECTORY, L"sc", 0, 1, L"aasca"},
        {INVALID_FILE_ATTRIBUTES, L"hdsc", 0, 0, L"a"},
        {FILE_ATTRIBUTE_OFFLINE, L"hdsc", 0, 0, L"a"},
        {attribute_recall_on_open, L"hdsc", 0, 0, L"a"},
        {attribute_recall_on_data_access | FILE_ATTRIBUTE_DIRECTORY, L"hdsc", 0, 0, L"a"},
    };
    for (const auto& [attributes, answering, error, result, expected] : cases)
    {
        world[L"C:\\x"] = {attributes, answering, {}, VT_EMPTY, error};
        calls.clear();
        if (result == 2)
        {
            EXPECT_THROW(item_metadata().open(L"C:\\x"), std::runtime_error) << error;
        }
        EXPECT_TRUE(result == 2 || item_metadata().open(L"C:\\x") == (result == 1)) << error;
        EXPECT_EQ(calls, expected) << attributes << " " << answering;
        EXPECT_FALSE(result != 1 && item_metadata().open_from_storage(L"C:\\x")) << attributes;
    }
    world[L"C:\\y"] = world[L"C:\\x"] = {};
    // A second open, of the same path or another, holds one store.
    item_metadata metadata;
    ASSERT_TRUE(!metadata.open(L"") && metadata.open(L"C:\\x") && metadata.open(L"C:\\x") &&
                metadata.open(L"C:\\y"));
    EXPECT_EQ(metadata.path(), L"C:\\y");
}

TEST_F(property_system, keywords_sort_ignoring_case_and_folders_without_them_read_desktop_ini)
{
    // Of equal tags, the one read later stands first.
    EXPECT_EQ(get_item_tags(tagged_items({{L"b", L"A", L"a", L"B", L"a"}})[0]),
              (strings{L"a", L"a", L"A", L"B", L"b"}));
    test_support::scratch_folder scratch;
    const std::wstring folder = scratch.write("desktop.ini", "[Sortwell]\nTags=red ;;blue;").parent_path();
    // A value that is no list counts as none.
    world[folder] = {FILE_ATTRIBUTE_DIRECTORY, L"sc", {}, VT_LPWSTR};
    EXPECT_EQ(get_item_tags(folder), (strings{L"blue", L"red "}));
    world[folder].type = VT_VECTOR | VT_LPWSTR; // an empty list is still a value
    EXPECT_TRUE(get_item_tags(folder).empty());
}

TEST_F(property_system, common_tags_are_exact_and_reading_stops_early_or_never_starts)
{
    EXPECT_EQ(get_common_tags(tagged_items({{L"b", L"a", L"a"}, {L"a", L"B"}})), (strings{L"a", L"a"}));
    // The calls made for a selection with no common tags.
    const auto calls_for_none = [](const strings& paths)
    {
        calls.clear();
        EXPECT_TRUE(get_common_tags(paths).empty());
        return calls;
    };
    EXPECT_EQ(calls_for_none(tagged_items({{L"x", L"y"}, {}, {L"x"}})), L"aaaahah");
    // Fifty items, or one not at hand, are not read at all.
    EXPECT_EQ(calls_for_none(tagged_items(std::vector<strings>(50, {L"t"}))), L"");
    const strings many = tagged_items(std::vector<strings>(49, {L"t"}));
    EXPECT_EQ(get_common_tags(many), strings{L"t"});
    world[many[30]].attributes = FILE_ATTRIBUTE_OFFLINE;
    EXPECT_EQ(calls_for_none(many), std::wstring(31, L'a'));
}
} // namespace
