// RegistryItem over Wine's registry. Each case works under its own
// HKEY_CURRENT_USER\Software\KVTest-<GUID> (K), removed even when it fails;
// unusual values are written with the W functions directly.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "core/string.h"
#include "host/RuntimeMain.h"
#include "host/relocentry.h"
#include "system/RegistryAccessors.h"
#include "tests/system/VariantTestSupport.h"
#include "testsupport/RuntimeTestEnvironment.h"

namespace {

const std::string kUnicode = u8"Gr\u00F6\u00DFe \u03A9";
const std::wstring kWideUnicode = L"Gr\u00F6\u00DFe \u03A9";

class RegistryTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    GUID guid;
    wchar_t text[40];
    CoCreateGuid(&guid);
    StringFromGUID2(guid, text, 40);
    base_ = L"Software\\KVTest-" + std::wstring(text + 1, 36);
    path_ = std::string(base_.begin(), base_.end());
  }
  void TearDown() override {
    RegDeleteTreeW(HKEY_CURRENT_USER, base_.c_str());
    EXPECT_EQ(Raised(), "");
    HostTest::TearDown();
  }

  static ObjectRef Item(const std::string& path) {
    ObjectRef item = ObjectRef::Adopt(CreateInstance(GetRegistryItemClassDefinition()));
    RegistryItemPathCtor(item.get(), UTF8(path).get());
    return item;
  }
  ObjectRef InK(const std::string& suffix) { return Item("HKEY_CURRENT_USER\\" + path_ + suffix); }
  static std::string PathOf(const ObjectRef& item) {
    return StringToStdUTF8(StringRef::Adopt(RegistryItemPathGetter(item.get(), 0)).get());
  }
  static std::string PathOf(RuntimeObject* owned) { return PathOf(ObjectRef::Adopt(owned)); }
  static void Set(const ObjectRef& item, const std::string& name, RuntimeObject* owned) {
    RegistryItemValueSetter(item.get(), UTF8(name).get(), ObjectRef::Adopt(owned).get());
  }
  static std::string Get(const ObjectRef& item, const std::string& name) {
    return Shown(RegistryItemValueGetter(item.get(), UTF8(name).get()));
  }
  bool Exists(const std::wstring& suffix) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, (base_ + suffix).c_str(), 0, KEY_READ, &key)) return false;
    RegCloseKey(key);
    return true;
  }
  static HKEY HandleOf(const ObjectRef& item) {
    return ObjectFields<RegistryItemObject>(item.get())->key->handle;
  }
  static void WriteRaw(const ObjectRef& item, const wchar_t* name, DWORD type, const void* data,
                       DWORD size) {
    ASSERT_EQ(RegSetValueExW(HandleOf(item), name, 0, type, static_cast<const BYTE*>(data), size),
              0);
  }
  // "<type>:<text of a REG_SZ>"; "" for no value.
  static std::wstring ReadRaw(const ObjectRef& item, const std::wstring& name) {
    DWORD type = REG_NONE;
    wchar_t data[64] = {};
    DWORD size = sizeof data - sizeof(wchar_t);
    if (RegQueryValueExW(HandleOf(item), name.c_str(), nullptr, &type, (BYTE*)data, &size))
      return L"";
    return std::to_wstring(type) + L":" + (type == REG_SZ ? data : L"");
  }

  std::wstring base_;
  std::string path_;  // K without its root
};

TEST_F(RegistryTest, OnlyARootAsFirstComponentOpensAndTheRestIsThePath) {
  for (const std::string& bad :
       {path_ + "\\T", "HKEY_CURRENT_USERX\\" + path_, path_ + "\\HKEY_USERS\\x"}) {
    ObjectRef item = Item(bad);
    EXPECT_EQ(Raised(false), "RegistryAccessErrorException") << bad;
    EXPECT_FALSE(ObjectFields<RegistryItemObject>(item.get())->key) << bad;
  }
  EXPECT_FALSE(Exists(L""));

  EXPECT_EQ(PathOf(InK("\\x").release()), path_ + "\\x");
  EXPECT_EQ(PathOf(Item("hkey_current_user\\" + path_ + "\\y").release()), path_ + "\\y");
  InK("\\HKEY_LOCAL_MACHINE");
  EXPECT_TRUE(Exists(L"\\x") && Exists(L"\\y") && Exists(L"\\HKEY_LOCAL_MACHINE"));
}

TEST_F(RegistryTest, EmptyPathComponentsAreDroppedSoPathParentAndChildAgree) {
  const struct {
    std::string given, path, parent, last;
  } cases[] = {
      {"\\X\\trail\\", "\\X\\trail", "\\X", "trail"},
      {"\\X\\a\\\\b", "\\X\\a\\b", "\\X\\a", "b"},
      {"\\\\X\\\\\\c\\\\", "\\X\\c", "\\X", "c"},
  };
  for (const auto& c : cases) {
    ObjectRef item = InK(c.given);
    ASSERT_EQ(Raised(), "") << c.given;
    EXPECT_EQ(PathOf(item), path_ + c.path) << c.given;
    Set(item, "v", stringToVariant(UTF8(c.given).get()));
    ObjectRef parent = ObjectRef::Adopt(RegistryParentGetter(item.get(), 0));
    ASSERT_TRUE(parent) << c.given;
    EXPECT_EQ(PathOf(parent), path_ + c.parent) << c.given;
    ObjectRef child = ObjectRef::Adopt(RegistryItemChild(parent.get(), UTF8(c.last).get()));
    ASSERT_TRUE(child) << c.given;
    EXPECT_EQ(Get(child, "v"), "8:" + c.given) << c.given;
  }
  // A child's name with separators of its own.
  ObjectRef x = InK("\\X");
  EXPECT_EQ(PathOf(RegistryItemAddFolder(x.get(), UTF8("d\\\\e\\").get())), path_ + "\\X\\d\\e");
  EXPECT_EQ(PathOf(RegistryItemChild(x.get(), UTF8("a\\\\b\\").get())), path_ + "\\X\\a\\b");
  EXPECT_EQ(PathOf(RegistryItemChild(x.get(), UTF8("").get())), path_ + "\\X");
  EXPECT_TRUE(Exists(L"\\X\\trail") && Exists(L"\\X\\a\\b") && Exists(L"\\X\\c") &&
              Exists(L"\\X\\d\\e"));
}

TEST_F(RegistryTest, ValuesAreStoredByVariantTypeAndReadByRegistryType) {
  ObjectRef item = InK("");
  Set(item, "flag", booleanToVariant(true));
  Set(item, "half", doubleToVariant(2.5));
  Set(item, "object", objectToVariant(item.get()));
  Set(item, kUnicode, stringToVariant(UTF8(kUnicode).get()));
  EXPECT_EQ(ReadRaw(item, L"flag"), L"4:");
  EXPECT_EQ(ReadRaw(item, L"half"), L"1:2.5");
  EXPECT_EQ(ReadRaw(item, L"object"), L"");
  EXPECT_EQ(ReadRaw(item, kWideUnicode), L"1:" + kWideUnicode);

  const DWORD one = 1;
  WriteRaw(item, L"binary", REG_BINARY, &one, 4);
  WriteRaw(item, L"short", REG_DWORD, &one, 2);
  WriteRaw(item, L"empty", REG_SZ, L"", 0);
  WriteRaw(item, L"nul", REG_SZ, L"abc", 8);
  WriteRaw(item, L"bare", REG_SZ, L"abc", 6);
  const struct {
    std::string name, shown;
  } cases[] = {{"flag", "2:1"},   {"half", "8:2.5"}, {"object", "nil"},
               {"binary", "nil"}, {"short", "2:-1"}, {"empty", "8:"},
               {"nul", "8:abc"},  {"bare", "8:abc"}, {kUnicode, "8:" + kUnicode}};
  for (const auto& c : cases) EXPECT_EQ(Get(item, c.name), c.shown) << c.name;
}

TEST_F(RegistryTest, IndexesCoverValuesAndSubkeysWhateverTheirNameLength) {
  ObjectRef item = InK("");
  const std::string longName(300, 'n');
  RegistryItemDefaultValueSetter(item.get(), 0, ObjectRef::Adopt(intToVariant(7)).get());
  Set(item, longName, intToVariant(5));
  Set(item, "short", intToVariant(4));
  ObjectRef::Adopt(RegistryItemAddFolder(item.get(), UTF8("a").get()));
  ObjectRef::Adopt(RegistryItemAddFolder(item.get(), UTF8("b").get()));
  // Three values and two subkeys, so the counts cannot stand in for each other.
  ASSERT_EQ(RegistryItemKeyCountGetter(item.get(), 0), 3);
  ASSERT_EQ(RegistryItemFolderCountGetter(item.get(), 0), 2);

  for (int32_t bad : {3, -1}) {
    EXPECT_EQ(Shown(RegistryItemNumValueGetter(item.get(), bad)), "nil");
    EXPECT_EQ(Raised(false), "OutOfBoundsException") << bad;
  }
  int32_t longIndex = -1;
  for (int32_t index = 0; index < 3; ++index) {
    if (StringLength(StringRef::Adopt(RegistryItemNameGetter(item.get(), index)).get()) == 300) {
      longIndex = index;
    }
  }
  ASSERT_NE(longIndex, -1);
  EXPECT_EQ(Shown(RegistryItemNumValueGetter(item.get(), longIndex)), "2:5");
  RegistryItemNumValueSetter(item.get(), longIndex, ObjectRef::Adopt(intToVariant(6)).get());
  EXPECT_EQ(Get(item, longName), "2:6");
  EXPECT_EQ(Get(item, ""), "2:7");

  EXPECT_EQ(PathOf(RegistryItemItem(item.get(), 0)), path_ + "\\a");
  EXPECT_EQ(PathOf(RegistryItemItem(item.get(), 1)), path_ + "\\b");
  EXPECT_FALSE(ObjectRef::Adopt(RegistryItemItem(item.get(), 2)));
}

TEST_F(RegistryTest, KeysAreDeletedOpenedAndCopiedWithoutCreatingAnything) {
  ObjectRef item = InK("\\x");
  ObjectRef::Adopt(RegistryItemAddFolder(item.get(), UTF8("n\\deep").get()));
  Set(item, "n", intToVariant(1));
  RegistryItemDelete(item.get(), UTF8("n").get());
  EXPECT_EQ(ReadRaw(item, L"n"), L"");
  EXPECT_TRUE(Exists(L"\\x\\n\\deep"));
  RegistryItemDelete(item.get(), UTF8("n").get());
  EXPECT_FALSE(Exists(L"\\x\\n"));

  EXPECT_FALSE(ObjectRef::Adopt(RegistryItemChild(item.get(), UTF8("missing").get())));
  EXPECT_FALSE(Exists(L"\\x\\missing"));
  ObjectRef y = InK("\\x\\y");  // opened by path, yet its parent is K\x
  EXPECT_EQ(PathOf(RegistryParentGetter(y.get(), 0)), path_ + "\\x");
  Set(y, "", intToVariant(9));
  ObjectRef copy = ObjectRef::Adopt(CreateInstance(GetRegistryItemClassDefinition()));
  RegistryItemCopyCtor(copy.get(), y.get());
  y = ObjectRef();
  EXPECT_EQ(Get(copy, ""), "2:9");

  RegistryKey key;
  RegistryKeyInit(&key);
  const std::string k = "HKEY_CURRENT_USER\\" + path_;
  EXPECT_FALSE(RegistryKeyOpenPath(&key, UTF8(k + "\\a\\b").get(), false));
  EXPECT_FALSE(Exists(L"\\a"));
  ASSERT_TRUE(RegistryKeyOpenPath(&key, UTF8(k + "\\x\\y").get(), false));
  EXPECT_EQ(RegistryKeyGetDWORD(&key, nullptr), 9);
  RegistryKeyDestruct(&key);
}

TEST_F(RegistryTest, TheEmptyNameDeletesTheDefaultValueAndNeverTheKeyItself) {
  ObjectRef item = InK("\\x");
  ObjectRef::Adopt(RegistryItemAddFolder(item.get(), UTF8("sub").get()));
  Set(item, "kept", intToVariant(1));
  RegistryItemDefaultValueSetter(item.get(), 0, ObjectRef::Adopt(intToVariant(2)).get());
  RegistryItemDelete(item.get(), UTF8("").get());
  EXPECT_EQ(Get(item, ""), "nil");
  // With no default value left the empty name names nothing at all, in a
  // key with subkeys or without.
  ObjectRef leaf = InK("\\y");
  Set(leaf, "kept", intToVariant(3));
  for (int round = 0; round < 2; ++round) {
    OverrideWindowsNT(round == 0 ? -1 : 0);
    for (const ObjectRef& target : {item, leaf}) {
      RegistryItemDelete(target.get(), UTF8("").get());
      RegistryItemDelete(target.get(), UTF8("\\").get());
    }
    OverrideWindowsNT(-1);
    EXPECT_TRUE(Exists(L"\\x\\sub")) << round;
    EXPECT_EQ(Get(item, "kept"), "2:1") << round;
    EXPECT_TRUE(Exists(L"\\y")) << round;
    EXPECT_EQ(Get(leaf, "kept"), "2:3") << round;
  }
}

TEST_F(RegistryTest, TheOtherLineKeepsTextInTheSystemEncoding) {
  struct BackOnTheNTLine {
    ~BackOnTheNTLine() { OverrideWindowsNT(-1); }
  } restore;
  const std::string latin = u8"Gr\u00F6\u00DFe";
  ObjectRef item = InK("");
  WriteRaw(item, L"bare", REG_SZ, L"abc", 6);
  OverrideWindowsNT(0);
  ObjectRef folder = ObjectRef::Adopt(RegistryItemAddFolder(item.get(), UTF8(latin).get()));
  Set(folder, latin, stringToVariant(UTF8(latin).get()));
  EXPECT_EQ(Get(folder, latin), "8:" + latin);
  EXPECT_EQ(StringToStdUTF8(StringRef::Adopt(RegistryItemNameGetter(folder.get(), 0)).get()),
            latin);
  EXPECT_EQ(Get(item, "bare"), "8:abc");
  OverrideWindowsNT(-1);
  EXPECT_EQ(ReadRaw(folder, L"Gr\u00F6\u00DFe"), L"1:Gr\u00F6\u00DFe");
}

TEST_F(RegistryTest, TheApplicationKeyIsNamedAfterTheProgram) {
  auto entry = reinterpret_cast<RuntimeObject* (*)()>(
      LookupEntryPoint("RuntimeGetDefaultApplicationRegistryItem"));
  ASSERT_TRUE(entry);
  // The key and, once nothing else is under it, the one above it go again,
  // even when the case fails.
  struct RemoveTheKeys {
    ~RemoveTheKeys() {
      RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Made With Varenquil\\system_tests");
      HKEY maker = nullptr;
      if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Made With Varenquil", 0, KEY_READ, &maker)) {
        return;
      }
      DWORD subkeys = 1, values = 1;
      RegQueryInfoKeyW(maker, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values,
                       nullptr, nullptr, nullptr, nullptr);
      RegCloseKey(maker);
      if (subkeys == 0 && values == 0) {
        RegDeleteKeyW(HKEY_LOCAL_MACHINE, L"Software\\Made With Varenquil");
      }
    }
  };
  {
    RemoveTheKeys removed;
    EXPECT_EQ(PathOf(entry()), "Software\\Made With Varenquil\\system_tests");
  }
  HKEY left = nullptr;
  EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"Software\\Made With Varenquil", 0, KEY_READ, &left),
            ERROR_SUCCESS);
  if (left) RegCloseKey(left);
}

}  // namespace
