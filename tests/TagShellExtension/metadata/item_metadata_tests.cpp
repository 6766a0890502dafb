#include "TagShellExtension/metadata/item_metadata.h"
#include "TagShellExtension/metadata/shell_paths.h"
#include "TagShellExtension/metadata/tag_reader.h"
#include "support/scratch_folder.h"

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <shlwapi.h>

#include <algorithm>
#include <map>
#include <stdexcept>

namespace
{
using namespace tag_extension;
using strings = std::vector<std::wstring>;

enum route : unsigned
{
    handler = 1,
    fallback = 2,
    storage = 4
};

// What the property system knows of one path.
struct fake_item
{
    DWORD attributes = FILE_ATTRIBUTE_NORMAL;
    unsigned routes = handler | fallback | storage;
    strings keywords;
    VARTYPE type = VT_VECTOR | VT_LPWSTR;
    DWORD last_error = ERROR_ACCESS_DENIED; // left behind by a failing route
};

std::map<std::wstring, fake_item> world;
strings calls;      // every call in order
strings read_paths; // paths handed to the store routes
long live_stores = 0;

// Serves System.Keywords of its path; also stands in for the property-set storage, which
// the code under test only passes on and releases.
class fake_store final : public IPropertyStore
{
public:
    explicit fake_store(std::wstring path) : path_(std::move(path)) { ++live_stores; }
    ~fake_store() { --live_stores; }
    IFACEMETHODIMP QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    IFACEMETHODIMP_(ULONG) AddRef() override { return ++references_; }
    IFACEMETHODIMP_(ULONG) Release() override
    {
        const ULONG left = --references_;
        if (left == 0)
        {
            delete this;
        }
        return left;
    }
    IFACEMETHODIMP GetCount(DWORD*) override { return E_NOTIMPL; }
    IFACEMETHODIMP GetAt(DWORD, PROPERTYKEY*) override { return E_NOTIMPL; }
    IFACEMETHODIMP GetValue(REFPROPERTYKEY, PROPVARIANT* value) override
    {
        const fake_item& item = world.at(path_);
        PropVariantInit(value);
        value->vt = item.type;
        const auto count = static_cast<ULONG>(item.keywords.size());
        if (item.type == VT_LPWSTR)
        {
            SHStrDupW(item.keywords.at(0).c_str(), &value->pwszVal);
        }
        else if (item.type == (VT_VECTOR | VT_LPWSTR))
        {
            value->calpwstr = {count, static_cast<LPWSTR*>(CoTaskMemAlloc(sizeof(LPWSTR) * (count + 1)))};
            for (ULONG i = 0; i < count; ++i)
            {
                SHStrDupW(item.keywords[i].c_str(), &value->calpwstr.pElems[i]);
            }
        }
        return S_OK;
    }
    IFACEMETHODIMP SetValue(REFPROPERTYKEY, REFPROPVARIANT) override { return E_NOTIMPL; }
    IFACEMETHODIMP Commit() override { return E_NOTIMPL; }
    const std::wstring path_;

private:
    ULONG references_ = 1;
};

HRESULT serve(const wchar_t* name, const std::wstring& path, unsigned needed, void** result)
{
    calls.push_back(name);
    read_paths.push_back(path);
    *result = nullptr;
    const fake_item& item = world.at(path);
    if ((item.routes & needed) == 0)
    {
        SetLastError(item.last_error);
        return E_FAIL;
    }
    *result = static_cast<IPropertyStore*>(new fake_store(path));
    return S_OK;
}

HRESULT WINAPI fake_parsing_name(PCWSTR path, IBindCtx*, GETPROPERTYSTOREFLAGS flags, REFIID, void** result)
{
    return flags == GPS_HANDLERPROPERTIESONLY ? serve(L"handler", path, handler, result)
                                              : serve(L"default", path, fallback, result);
}

HRESULT WINAPI fake_open_storage(const WCHAR* path, DWORD, DWORD, DWORD, STGOPTIONS*, PSECURITY_DESCRIPTOR,
                                 REFIID, void** result)
{
    return serve(L"storage", path, storage, result);
}

HRESULT WINAPI fake_create_store(IPropertySetStorage* set, DWORD, REFIID, void** result)
{
    return serve(L"create", reinterpret_cast<fake_store*>(set)->path_, storage, result);
}

DWORD WINAPI fake_attributes(LPCWSTR path)
{
    calls.push_back(L"attributes");
    const auto found = world.find(path);
    SetLastError(ERROR_FILE_NOT_FOUND);
    return found == world.end() ? INVALID_FILE_ATTRIBUTES : found->second.attributes;
}

class property_system : public testing::Test
{
protected:
    void SetUp() override
    {
        property_system_functions() = {&fake_parsing_name, &fake_open_storage, &fake_create_store,
                                       &fake_attributes};
        world.clear();
        calls.clear();
        read_paths.clear();
    }
    void TearDown() override
    {
        property_system_functions() = saved_;
        EXPECT_EQ(live_stores, 0) << "a store or storage was not released";
    }

private:
    const property_system_api saved_ = property_system_functions();
};

TEST_F(property_system, routes_are_tried_in_order_for_files_reparse_points_and_folders)
{
    const struct
    {
        DWORD attributes;
        unsigned routes;
        bool opens;
        strings expected;
    } cases[] = {
        {FILE_ATTRIBUTE_NORMAL, handler, true, {L"attributes", L"handler"}},
        {FILE_ATTRIBUTE_NORMAL, fallback, true, {L"attributes", L"handler", L"default"}},
        {FILE_ATTRIBUTE_NORMAL,
         storage,
         true,
         {L"attributes", L"handler", L"default", L"attributes", L"storage", L"create", L"attributes"}},
        {FILE_ATTRIBUTE_REPARSE_POINT, 0, false, {L"attributes", L"default", L"attributes", L"storage"}},
        {FILE_ATTRIBUTE_DIRECTORY, handler | fallback, false, {L"attributes", L"attributes", L"storage"}},
        {FILE_ATTRIBUTE_DIRECTORY,
         storage,
         true,
         {L"attributes", L"attributes", L"storage", L"create", L"attributes"}},
    };
    for (const auto& c : cases)
    {
        world[L"C:\\x"] = {c.attributes, c.routes, {}, VT_EMPTY, ERROR_FILE_NOT_FOUND};
        calls.clear();
        item_metadata metadata;
        EXPECT_EQ(metadata.open(L"C:\\x"), c.opens);
        EXPECT_EQ(calls, c.expected) << c.attributes << " " << c.routes;
        EXPECT_EQ(metadata.is_directory(), c.attributes == FILE_ATTRIBUTE_DIRECTORY);
    }
}

TEST_F(property_system, unavailable_missing_or_unnamed_items_are_never_opened)
{
    item_metadata metadata;
    EXPECT_FALSE(metadata.open(L""));
    EXPECT_TRUE(calls.empty());
    EXPECT_FALSE(metadata.open(L"C:\\deleted"));
    for (const DWORD attributes : {0x1000ul, 0x40000ul, 0x400000ul, 0x400010ul})
    {
        world[L"C:\\cloud"].attributes = attributes;
        EXPECT_FALSE(metadata.open(L"C:\\cloud")) << attributes;
        EXPECT_FALSE(metadata.open_from_storage(L"C:\\cloud")) << attributes;
    }
    EXPECT_EQ(calls, strings(9, L"attributes"));
}

TEST_F(property_system, a_file_that_cannot_be_opened_raises_unless_it_is_missing)
{
    for (const DWORD last_error :
         std::initializer_list<DWORD>{ERROR_FILE_NOT_FOUND, ERROR_PATH_NOT_FOUND, 0x80030002})
    {
        world[L"C:\\f"] = {FILE_ATTRIBUTE_NORMAL, 0, {}, VT_EMPTY, last_error};
        EXPECT_FALSE(item_metadata().open(L"C:\\f")) << last_error;
    }
    for (const DWORD last_error : std::initializer_list<DWORD>{ERROR_ACCESS_DENIED, 0x80030003})
    {
        world[L"C:\\f"] = {FILE_ATTRIBUTE_NORMAL, 0, {}, VT_EMPTY, last_error};
        const HRESULT hr = HRESULT_FROM_WIN32(last_error);
        try
        {
            item_metadata().open(L"C:\\f");
            ADD_FAILURE() << last_error;
        }
        catch (const std::runtime_error& error)
        {
            EXPECT_EQ(error.what(), fmt::format("Failed to open metadata 0x{:08X} {}", static_cast<DWORD>(hr),
                                                hresult_message(hr)));
        }
        EXPECT_TRUE(get_item_tags(L"C:\\f").empty());
    }
    world[L"C:\\d"] = {FILE_ATTRIBUTE_DIRECTORY, 0, {}, VT_EMPTY, ERROR_ACCESS_DENIED};
    EXPECT_FALSE(item_metadata().open(L"C:\\d"));
}

TEST_F(property_system, reopening_keeps_one_store_and_another_path_replaces_it)
{
    world[L"C:\\a"] = {};
    world[L"C:\\b"] = {};
    item_metadata metadata;
    ASSERT_TRUE(metadata.open(L"C:\\a") && metadata.open(L"C:\\a"));
    EXPECT_EQ(live_stores, 1);
    ASSERT_TRUE(metadata.open_from_storage(L"C:\\b"));
    EXPECT_EQ(live_stores, 1);
    EXPECT_EQ(metadata.path(), L"C:\\b");
    metadata.close();
    EXPECT_TRUE(metadata.store() == nullptr && !metadata.opened() && metadata.path().empty());
}

TEST_F(property_system, keywords_sort_ignoring_case_with_later_equals_first_and_other_types_count_as_none)
{
    world[L"C:\\k"] = {FILE_ATTRIBUTE_NORMAL, handler, {L"beta", L"Alpha", L"alpha"}};
    EXPECT_EQ(get_item_tags(L"C:\\k"), (strings{L"alpha", L"Alpha", L"beta"}));
    world[L"C:\\k"].type = VT_LPWSTR;
    EXPECT_TRUE(get_item_tags(L"C:\\k").empty());
    world[L"C:\\k"].type = VT_EMPTY;
    EXPECT_TRUE(get_item_tags(L"C:\\k").empty());
}

TEST_F(property_system, folders_without_keywords_fall_back_to_desktop_ini)
{
    test_support::scratch_folder scratch;
    scratch.write("desktop.ini", "[Sortwell]\r\nTags=red;;blue;\r\n");
    const std::wstring folder = scratch.path().wstring();
    EXPECT_EQ(read_folder_tags(folder), (strings{L"red", L"blue"}));
    world[folder] = {FILE_ATTRIBUTE_DIRECTORY, storage, {}, VT_EMPTY};
    EXPECT_EQ(get_item_tags(folder), (strings{L"blue", L"red"}));
    world[folder].type = VT_VECTOR | VT_LPWSTR; // an empty list is still a value
    EXPECT_TRUE(get_item_tags(folder).empty());

    scratch.write("desktop.ini", "[Sortwell]\r\nTags= red ; blue \r\n");
    EXPECT_EQ(read_folder_tags(folder), (strings{L"red ", L" blue"}));
    EXPECT_TRUE(read_folder_tags((scratch / "none").wstring()).empty());
    EXPECT_EQ(desktop_ini_path(L"C:\\a"), L"C:\\a\\desktop.ini");
    EXPECT_EQ(desktop_ini_path(L"C:\\"), L"C:\\desktop.ini");
}

TEST_F(property_system, common_tags_are_exact_and_reading_stops_when_nothing_is_left)
{
    const struct
    {
        std::vector<strings> tags;
        strings expected;
    } cases[] = {
        {{{L"Work"}, {L"work"}}, {}},
        {{{L"beta", L"alpha", L"alpha"}, {L"alpha", L"Beta"}}, {L"alpha", L"alpha"}},
        {{{L"x", L"y"}, {}, {L"x"}}, {}},
    };
    for (const auto& c : cases)
    {
        strings paths;
        for (const auto& tags : c.tags)
        {
            paths.push_back(L"C:\\" + std::to_wstring(paths.size()));
            world[paths.back()] = {FILE_ATTRIBUTE_NORMAL, handler, tags};
        }
        read_paths.clear();
        EXPECT_EQ(get_common_tags(paths), c.expected);
    }
    EXPECT_EQ(read_paths, (strings{L"C:\\0", L"C:\\1"})) << "read on after an untagged item";
}

TEST_F(property_system, selections_of_fifty_or_with_an_unavailable_item_are_not_read)
{
    strings paths;
    for (int i = 0; i < 50; ++i)
    {
        paths.push_back(L"C:\\" + std::to_wstring(i));
        world[paths.back()] = {FILE_ATTRIBUTE_NORMAL, handler, {L"t"}};
    }
    EXPECT_TRUE(get_common_tags(paths).empty());
    EXPECT_TRUE(calls.empty());
    paths.pop_back();
    EXPECT_EQ(get_common_tags(paths), strings{L"t"});
    EXPECT_TRUE(get_common_tags({}).empty());

    for (const DWORD attributes : {0x1000ul, 0x400000ul, INVALID_FILE_ATTRIBUTES})
    {
        calls.clear();
        world[paths[30]].attributes = attributes;
        EXPECT_TRUE(get_common_tags(paths).empty());
        EXPECT_EQ(calls, strings(31, L"attributes"));
    }
}

TEST(item_tags, real_files_without_keywords_or_gone_carry_no_tags)
{
    test_support::scratch_folder scratch;
    const std::wstring file = scratch.write("plain.txt", "x").wstring();
    EXPECT_TRUE(get_item_tags(file).empty());
    EXPECT_TRUE(get_item_tags((scratch / "gone.txt").wstring()).empty());
    EXPECT_TRUE(get_common_tags({file, file}).empty());
}
} // namespace
