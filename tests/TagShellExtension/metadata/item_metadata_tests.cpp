#include "TagShellExtension/com_module.h"
#include "TagShellExtension/metadata/item_metadata.h"
#include "TagShellExtension/metadata/shell_paths.h"
#include "TagShellExtension/metadata/tag_reader.h"
#include "support/scratch_folder.h"

#include <gtest/gtest.h>
#include <shlwapi.h>

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
std::wstring calls;

// Serves System.Keywords of its path; also stands in for the property-set storage.
class fake_store : public IPropertyStore
{
public:
    using interfaces = interface_list<IPropertyStore>;
    explicit fake_store(std::wstring item) : path(std::move(item)) {}
    virtual ~fake_store() = default;
    IFACEMETHODIMP GetCount(DWORD*) override { return E_NOTIMPL; }
    IFACEMETHODIMP GetAt(DWORD, PROPERTYKEY*) override { return E_NOTIMPL; }
    IFACEMETHODIMP SetValue(REFPROPERTYKEY, REFPROPVARIANT) override { return E_NOTIMPL; }
    IFACEMETHODIMP Commit() override { return E_NOTIMPL; }
    IFACEMETHODIMP GetValue(REFPROPERTYKEY, PROPVARIANT* value) override
    {
        const fake_item& item = world.at(path);
        PropVariantInit(value);
        value->vt = item.type;
        if (item.type != (VT_VECTOR | VT_LPWSTR))
        {
            return item.type == VT_LPWSTR ? SHStrDupW(item.keywords.at(0).c_str(), &value->pwszVal) : S_OK;
        }
        const auto count = static_cast<ULONG>(item.keywords.size());
        value->calpwstr = {count, static_cast<LPWSTR*>(CoTaskMemAlloc(sizeof(LPWSTR) * (count + 1)))};
        for (ULONG i = 0; i < count; ++i)
        {
            SHStrDupW(item.keywords[i].c_str(), &value->calpwstr.pElems[i]);
        }
        return S_OK;
    }
    const std::wstring path;
};

HRESULT serve(wchar_t call, const std::wstring& path, void** result)
{
    calls += call;
    SetLastError(world.at(path).last_error);
    if (world.at(path).answering.find(call) == std::wstring::npos)
    {
        return E_FAIL;
    }
    *result = static_cast<IPropertyStore*>(make_object<fake_store>(path).Detach());
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
               void** result) { return serve(L's', path, result); },
            [](IPropertySetStorage* set, DWORD, REFIID, void** result) {
                return serve(L'c', static_cast<fake_store*>(reinterpret_cast<IPropertyStore*>(set))->path,
                             result);
            },
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

TEST_F(property_system, routes_are_tried_in_order_for_files_reparse_points_and_folders)
{
    const std::tuple<DWORD, std::wstring, bool, std::wstring> cases[] = {
        {FILE_ATTRIBUTE_NORMAL, L"h", true, L"ah"},       {FILE_ATTRIBUTE_NORMAL, L"d", true, L"ahd"},
        {FILE_ATTRIBUTE_NORMAL, L"sc", true, L"ahdasca"}, {FILE_ATTRIBUTE_REPARSE_POINT, L"", false, L"adas"},
        {FILE_ATTRIBUTE_DIRECTORY, L"hd", false, L"aas"}, {FILE_ATTRIBUTE_DIRECTORY, L"sc", true, L"aasca"},
    };
    for (const auto& [attributes, answering, opens, expected] : cases)
    {
        world[L"C:\\x"] = {attributes, answering, {}, VT_EMPTY, ERROR_FILE_NOT_FOUND};
        calls.clear();
        item_metadata metadata;
        EXPECT_EQ(metadata.open(L"C:\\x"), opens);
        EXPECT_EQ(calls, expected) << attributes << " " << answering;
        EXPECT_EQ(metadata.is_directory(), attributes == FILE_ATTRIBUTE_DIRECTORY);
    }
    world[L"C:\\y"] = {};
    item_metadata metadata; // a second open, of the same path or another, holds one store
    ASSERT_TRUE(metadata.open(L"C:\\x") && metadata.open(L"C:\\x") && metadata.open(L"C:\\y"));
    EXPECT_EQ(metadata.path(), L"C:\\y");
}

TEST_F(property_system, unavailable_or_missing_items_are_not_opened_and_other_failures_raise)
{
    item_metadata metadata;
    EXPECT_FALSE(metadata.open(L""));
    EXPECT_FALSE(metadata.open(L"C:\\deleted"));
    for (const DWORD attributes : {0x1000ul, 0x40000ul, 0x400000ul, 0x400010ul})
    {
        world[L"C:\\cloud"].attributes = attributes;
        EXPECT_FALSE(metadata.open(L"C:\\cloud") || metadata.open_from_storage(L"C:\\cloud")) << attributes;
    }
    EXPECT_EQ(calls, std::wstring(9, L'a'));
    for (const DWORD missing :
         std::initializer_list<DWORD>{ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, 0x80030002})
    {
        world[L"C:\\f"] = {FILE_ATTRIBUTE_NORMAL, L"", {}, VT_EMPTY, missing};
        EXPECT_FALSE(metadata.open(L"C:\\f")) << missing;
    }
    for (const DWORD failure : std::initializer_list<DWORD>{ERROR_ACCESS_DENIED, 0x80030003})
    {
        world[L"C:\\f"].last_error = failure;
        EXPECT_THROW(metadata.open(L"C:\\f"), std::runtime_error) << failure;
        EXPECT_TRUE(get_item_tags(L"C:\\f").empty());
    }
    world[L"C:\\d"] = {FILE_ATTRIBUTE_DIRECTORY, L"", {}, VT_EMPTY, ERROR_ACCESS_DENIED};
    EXPECT_FALSE(metadata.open(L"C:\\d"));
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

TEST_F(property_system, common_tags_are_exact_and_reading_stops_when_nothing_is_left)
{
    EXPECT_TRUE(get_common_tags(tagged_items({{L"Work"}, {L"work"}})).empty());
    EXPECT_EQ(get_common_tags(tagged_items({{L"beta", L"alpha", L"alpha"}, {L"alpha", L"Beta"}})),
              (strings{L"alpha", L"alpha"}));
    const strings paths = tagged_items({{L"x", L"y"}, {}, {L"x"}});
    calls.clear();
    EXPECT_TRUE(get_common_tags(paths).empty());
    EXPECT_EQ(calls, L"aaaahah") << "read on after an untagged item";
}

TEST_F(property_system, selections_of_fifty_or_with_an_unavailable_item_are_not_read)
{
    strings paths = tagged_items(std::vector<strings>(50, {L"t"}));
    EXPECT_TRUE(get_common_tags(paths).empty());
    EXPECT_TRUE(calls.empty());
    paths.pop_back();
    EXPECT_EQ(get_common_tags(paths), strings{L"t"});
    world[paths[30]].attributes = FILE_ATTRIBUTE_OFFLINE;
    calls.clear();
    EXPECT_TRUE(get_common_tags(paths).empty());
    EXPECT_EQ(calls, std::wstring(31, L'a'));
}

} // namespace
