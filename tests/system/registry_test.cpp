// RegistryItem over Wine's registry. Each case works under its own
// HKEY_CURRENT_USER\Software\KVTest-<GUID>, removed even when it fails;
// unusual values are written with the W functions directly.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "core/string.h"
#include "system/RegistryAccessors.h"
#include "testsupport/RuntimeTestEnvironment.h"
#include "tests/system/VariantTestSupport.h"

namespace {

class RegistryTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    GUID guid;
    wchar_t text[40];
    CoCreateGuid(&guid);
    StringFromGUID2(guid, text, 40);
    base_ = L"Software\\KVTest-" + std::wstring(text + 1, 36);
    root_ = "HKEY_CURRENT_USER\\" + Narrow(base_);
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
    EXPECT_EQ(Raised(), "");
    HostTest::TearDown();
  }

  static std::string Narrow(const std::wstring& ascii) { return std::string(ascii.begin(), ascii.end()); }
  // A new item on K + suffix.
  ObjectRef Item(const std::string& suffix) { return ItemAt(root_ + suffix); }
  static ObjectRef ItemAt(const std::string& path) {
    ObjectRef item = ObjectRef::Adopt(CreateInstance(GetRegistryItemClassDefinition()));
    RegistryItemPathCtor(item.get(), UTF8(path).get());
    return item;
  }
  static std::string PathOf(const ObjectRef& item) {
    return StringToStdUTF8(StringRef::Adopt(RegistryItemPathGetter(item.get(), 0)).get());
  }
  bool Exists(const std::wstring& suffix) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, (base_ + suffix).c_str(), 0, KEY_READ, &key)) return false;
    RegCloseKey(key);
    return true;
  }
  void WriteRaw(const ObjectRef& item, const wchar_t* name, DWORD type, const void* data, DWORD size) {
    HKEY key = ObjectFields<RegistryItemObject>(item.get())->key->handle;
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, static_cast<const BYTE*>(data), size), 0) << name;
  }
  static DWORD RawType(const ObjectRef& item, const wchar_t* name, std::wstring* text = nullptr) {
    HKEY key = ObjectFields<RegistryItemObject>(item.get())->key->handle;
    DWORD type = REG_NONE;
    wchar_t data[64] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size)) return REG_NONE;
    if (text) *text = data;
    return type;
  }

  std::wstring base_;
  std::string root_;
};

TEST_F(RegistryTest, OnlyARootAsFirstComponentOpensAndTheRestIsThePath) {
  for (const std::string& bad : {Narrow(base_) + "\\T", "HKEY_CURRENT_USERX\\" + Narrow(base_),
                                 Narrow(base_) + "\\HKEY_USERS\\x"}) {
    ObjectRef item = ItemAt(bad);
    EXPECT_EQ(Raised(false), "RegistryAccessErrorException") << bad;
    EXPECT_EQ(PathOf(item), "") << bad;
  }
  EXPECT_FALSE(Exists(L""));

  EXPECT_EQ(PathOf(Item("\\x")), Narrow(base_) + "\\x");
  EXPECT_EQ(PathOf(ItemAt("hkey_current_user\\" + Narrow(base_) + "\\y")), Narrow(base_) + "\\y");
  Item("\\HKEY_LOCAL_MACHINE");
  EXPECT_TRUE(Exists(L"\\x") && Exists(L"\\y") && Exists(L"\\HKEY_LOCAL_MACHINE"));
}

TEST_F(RegistryTest, ValuesAreStoredByVariantTypeAndReadByRegistryType) {
  ObjectRef item = Item("");
  RegistryItemValueSetter(item.get(), UTF8("flag").get(), ObjectRef::Adopt(booleanToVariant(true)).get());
  RegistryItemValueSetter(item.get(), UTF8("half").get(), ObjectRef::Adopt(doubleToVariant(2.5)).get());
  RegistryItemValueSetter(item.get(), UTF8("object").get(), item.get());
  std::wstring text;
  EXPECT_EQ(RawType(item, L"flag"), DWORD(REG_DWORD));
  EXPECT_EQ(RawType(item, L"half", &text), DWORD(REG_SZ));
  EXPECT_EQ(text, L"2.5");
  EXPECT_EQ(RawType(item, L"object"), DWORD(REG_NONE));

  const DWORD one = 1;
  WriteRaw(item, L"binary", REG_BINARY, &one, 4);
  WriteRaw(item, L"short", REG_DWORD, &one, 2);
  WriteRaw(item, L"empty", REG_SZ, L"", 0);
  WriteRaw(item, L"nul", REG_SZ, L"abc", 8);
  WriteRaw(item, L"bare", REG_SZ, L"abc", 6);
  const struct {
    const char* name;
    std::string shown;
  } cases[] = {{"flag", "2:1"},  {"half", "8:2.5"}, {"object", "nil"}, {"binary", "nil"},
               {"short", "2:-1"}, {"empty", "8:"},   {"nul", "8:abc"},  {"bare", "8:abc"}};
  for (const auto& c : cases) {
    EXPECT_EQ(Shown(RegistryItemValueGetter(item.get(), UTF8(c.name).get())), c.shown) << c.name;
  }

  const std::string unicode = "Gr\xC3\xB6\xC3\x9F" "e \xCE\xA9";
  RegistryItemValueSetter(item.get(), UTF8(unicode).get(), ObjectRef::Adopt(stringToVariant(UTF8(unicode).get())).get());
  EXPECT_EQ(RawType(item, L"Gr\u00F6\u00DFe \u03A9", &text), DWORD(REG_SZ));
  EXPECT_EQ(text, L"Gr\u00F6\u00DFe \u03A9");
  EXPECT_EQ(Shown(RegistryItemValueGetter(item.get(), UTF8(unicode).get())), "8:" + unicode);
}

TEST_F(RegistryTest, IndexesCoverValuesAndSubkeysWhateverTheirNameLength) {
  ObjectRef item = Item("");
  const std::string longName(300, 'n');
  RegistryItemDefaultValueSetter(item.get(), 0, ObjectRef::Adopt(intToVariant(7)).get());
  WriteRaw(item, std::wstring(300, L'n').c_str(), REG_DWORD, "\x05\0\0\0", 4);
  ObjectRef::Adopt(RegistryItemAddFolder(item.get(), UTF8("a").get()));
  ObjectRef::Adopt(RegistryItemAddFolder(item.get(), UTF8("b").get()));
  RegistryItemValueSetter(item.get(), UTF8("third").get(), ObjectRef::Adopt(intToVariant(3)).get());
  ASSERT_EQ(RegistryItemKeyCountGetter(item.get(), 0), 3);
  ASSERT_EQ(RegistryItemFolderCountGetter(item.get(), 0), 2);

  for (int32_t bad : {3, -1}) {
    EXPECT_EQ(Shown(RegistryItemNumValueGetter(item.get(), bad)), "nil");
    EXPECT_EQ(Raised(false), "OutOfBoundsException") << bad;
  }
  int32_t longIndex = -1;
  for (int32_t i = 0; i < 3; ++i) {
    StringRef name = StringRef::Adopt(RegistryItemNameGetter(item.get(), i));
    if (StringToStdUTF8(name.get()) == longName) longIndex = i;
  }
  ASSERT_GE(longIndex, 0);
  EXPECT_EQ(Shown(RegistryItemNumValueGetter(item.get(), longIndex)), "2:5");
  RegistryItemNumValueSetter(item.get(), longIndex, ObjectRef::Adopt(intToVariant(6)).get());
  EXPECT_EQ(Shown(RegistryItemValueGetter(item.get(), UTF8(longName).get())), "2:6");
  EXPECT_EQ(Shown(RegistryItemDefaultValueGetter(item.get(), 0)), "2:7");

  EXPECT_EQ(PathOf(ObjectRef::Adopt(RegistryItemItem(item.get(), 0))), Narrow(base_) + "\\a");
  EXPECT_EQ(PathOf(ObjectRef::Adopt(RegistryItemItem(item.get(), 1))), Narrow(base_) + "\\b");
  EXPECT_FALSE(ObjectRef::Adopt(RegistryItemItem(item.get(), 2)));
}

TEST_F(RegistryTest, KeysAreDeletedOpenedAndCopiedWithoutCreatingAnything) {
  ObjectRef item = Item("\\x");
  ObjectRef::Adopt(RegistryItemAddFolder(item.get(), UTF8("n\\deep").get()));
  RegistryItemValueSetter(item.get(), UTF8("n").get(), ObjectRef::Adopt(intToVariant(1)).get());
  RegistryItemDelete(item.get(), UTF8("n").get());
  EXPECT_EQ(RawType(item, L"n"), DWORD(REG_NONE));
  EXPECT_TRUE(Exists(L"\\x\\n\\deep"));
  RegistryItemDelete(item.get(), UTF8("n").get());
  EXPECT_FALSE(Exists(L"\\x\\n"));

  EXPECT_FALSE(ObjectRef::Adopt(RegistryItemChild(item.get(), UTF8("missing").get())));
  EXPECT_FALSE(Exists(L"\\x\\missing"));
  ObjectRef y = ObjectRef::Adopt(RegistryItemAddFolder(item.get(), UTF8("y").get()));
  EXPECT_EQ(PathOf(ObjectRef::Adopt(RegistryParentGetter(y.get(), 0))), Narrow(base_) + "\\x");

  RegistryItemDefaultValueSetter(y.get(), 0, ObjectRef::Adopt(intToVariant(9)).get());
  ObjectRef copy = ObjectRef::Adopt(CreateInstance(GetRegistryItemClassDefinition()));
  RegistryItemCopyCtor(copy.get(), y.get());
  y = ObjectRef();
  EXPECT_EQ(Shown(RegistryItemDefaultValueGetter(copy.get(), 0)), "2:9");

  RegistryKey key;
  RegistryKeyInit(&key);
  EXPECT_FALSE(RegistryKeyOpenPath(&key, UTF8(root_ + "\\a\\b").get(), false));
  EXPECT_FALSE(Exists(L"\\a"));
  ASSERT_TRUE(RegistryKeyOpenPath(&key, UTF8(root_ + "\\x\\y").get(), false));
  EXPECT_EQ(RegistryKeyGetDWORD(&key, nullptr), 9);
  RegistryKeyDestruct(&key);
}

TEST_F(RegistryTest, TheApplicationKeyIsNamedAfterTheProgram) {
  ObjectRef item = ObjectRef::Adopt(RuntimeGetDefaultApplicationRegistryItem());
  EXPECT_EQ(PathOf(item), "Software\\Made With Varenquil\\system_tests");
  RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Made With Varenquil\\system_tests");
}

}  // namespace
