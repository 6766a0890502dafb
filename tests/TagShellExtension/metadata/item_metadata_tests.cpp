#include "TagShellExtension/metadata/item_metadata.h"
#include "TagShellExtension/metadata/tag_reader.h"
#include "support/keyword_store.h"
#include "support/scratch_folder.h"

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
class fake_store : public test_support::keyword_store
{
public:
    explicit fake_store(const fake_item& item) : keyword_store(item.keywords), type_(item.type) {}
    IFACEMETHODIMP GetValue(REFPROPERTYKEY key, PROPVARIANT* value) override
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
    if (item.answering.find(call) == std::wstring::npos)
    {
        return E_FAIL;
    }
    *result = static_cast<IPropertyStore*>(make_object<fake_store>(item).Detach());
    return S_OK;
}

class property_system : public testing::Test
{
protected:
    void SetUp() override
    {
        world.clear();
        calls.clear();
        property_system_functions() = {
            [](PCWSTR path, IBindCtx*, GETPROPERTYSTOREFLAGS flags, REFIID, void** result)
            { return serve(flags == GPS_HANDLERPROPERTIESONLY ? L'h' : L'd', path, result); },
            [](const WCHAR* path, DWORD, DWORD, DWORD, STGOPTIONS*, PSECURITY_DESCRIPTOR, REFIID,
               void** result) { return serve(L's', storage_path = path, result); },
            [](IPropertySetStorage*, DWORD, REFIID, void** result)
            { return serve(L'c', storage_path, result); },
            [](LPCWSTR path)
            {
                calls += L'a';
                const auto found = world.find(path);
                return found == world.end() ? INVALID_FILE_ATTRIBUTES : found->second.attributes;
            }};
    }
    void TearDown() override
    {
        property_system_functions() = {};
        EXPECT_EQ(module_lock_count(), locks) << "a store or storage was not released";
    }
    const long locks = module_lock_count();
};

// Items C:\0, C:\1, ... with the given keywords.
strings tagged_items(const std::vector<strings>& tags)
{
    strings paths;
    for (const auto& keywords : tags)
    {
        paths.push_back(L"C:\\" + std::to_wstring(paths.size()));
        world[paths.back()] = {FILE_ATTRIBUTE_NORMAL, L"h", keywords};
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
        EXPECT_TRUE(get_item_tags(L"C:\\x").empty());
    }
    calls.clear();
    item_metadata metadata;
    EXPECT_FALSE(metadata.open(L"") || metadata.open(L"C:\\deleted"));
    for (const DWORD attributes : {0x1000ul, 0x40000ul, 0x400000ul, 0x400010ul}) // offline or recalled
    {
        world[L"C:\\x"].attributes = attributes;
        EXPECT_FALSE(metadata.open(L"C:\\x") || metadata.open_from_storage(L"C:\\x")) << attributes;
    }
    EXPECT_EQ(calls, std::wstring(9, L'a'));
    world[L"C:\\y"] = {};
    world[L"C:\\x"] = {};
    // A second open, of the same path or another, holds one store.
    ASSERT_TRUE(metadata.open(L"C:\\x") && metadata.open(L"C:\\x") && metadata.open(L"C:\\y"));
    EXPECT_EQ(metadata.path(), L"C:\\y");
}

TEST_F(property_system, keywords_sort_ignoring_case_and_folders_without_them_read_desktop_ini)
{
    const std::wstring item = tagged_items({{L"beta", L"Alpha", L"alpha"}})[0];
    EXPECT_EQ(get_item_tags(item), (strings{L"alpha", L"Alpha", L"beta"})); // of equals, the later first
    for (const VARTYPE type : {VT_LPWSTR, VT_EMPTY})
    {
        world[item].type = type;
        EXPECT_TRUE(get_item_tags(item).empty());
    }
    test_support::scratch_folder scratch;
    scratch.write("desktop.ini", "[Sortwell]\r\nTags=red ;;blue;\r\n");
    const std::wstring folder = scratch.path().wstring();
    world[folder] = {FILE_ATTRIBUTE_DIRECTORY, L"sc", {}, VT_EMPTY};
    EXPECT_EQ(get_item_tags(folder), (strings{L"blue", L"red "}));
    world[folder].type = VT_VECTOR | VT_LPWSTR; // an empty list is still a value
    EXPECT_TRUE(get_item_tags(folder).empty());
    EXPECT_TRUE(read_folder_tags((scratch / "none").wstring()).empty());
}

TEST_F(property_system, common_tags_are_exact_and_reading_stops_early_or_never_starts)
{
    EXPECT_EQ(get_common_tags(tagged_items({{L"beta", L"alpha", L"alpha"}, {L"alpha", L"Beta"}})),
              (strings{L"alpha", L"alpha"}));
    const strings paths = tagged_items({{L"x", L"y"}, {}, {L"x"}});
    calls.clear();
    EXPECT_TRUE(get_common_tags(paths).empty());
    EXPECT_EQ(calls, L"aaaahah") << "read on after an untagged item";

    // Fifty items, or one not at hand, are not read at all.
    strings many = tagged_items(std::vector<strings>(50, {L"t"}));
    calls.clear();
    EXPECT_TRUE(get_common_tags(many).empty());
    EXPECT_TRUE(calls.empty());
    many.pop_back();
    EXPECT_EQ(get_common_tags(many), strings{L"t"});
    world[many[30]].attributes = FILE_ATTRIBUTE_OFFLINE;
    calls.clear();
    EXPECT_TRUE(get_common_tags(many).empty());
    EXPECT_EQ(calls, std::wstring(31, L'a'));
}
} // namespace
