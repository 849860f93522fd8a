// The entry-point table and the data sources.
#include <gtest/gtest.h>

#include "core/ObjectDefinition.h"
#include "core/RuntimeExceptionFoundation.h"
#include "core/SmartRef.h"
#include "core/diagnostics.h"
#include "core/string.h"
#include "host/RunTimer.h"
#include "host/application.h"
#include "host/relocentry.h"
#include "host/runtimemainloop.h"
#include "testsupport/RuntimeTestEnvironment.h"

namespace {

class RegistryTest : public HostTest {};

template <class Function>
void* Address(Function* function) {
  return reinterpret_cast<void*>(function);
}

TEST_F(RegistryTest, HostEntriesAreFoundByTheirExactNames) {
  EXPECT_EQ(LookupEntryPoint("RuntimeRun"), Address(&RuntimeRun));
  EXPECT_EQ(LookupEntryPoint("RuntimeInit"), Address(&RuntimeInit));
  EXPECT_EQ(LookupEntryPoint("WakeMainLoop"), Address(&WakeMainLoop));
  EXPECT_EQ(LookupEntryPoint("ApplicationQuit"), Address(&ApplicationQuit));
  for (const char* name : {"RuntimeRegisterAppObject", "RuntimeBackgroundTask", "LogErrorMessage",
                           "TOVALockString", "TOVAUnlockString"}) {
    EXPECT_NE(LookupEntryPoint(name), nullptr) << name;
  }
  EXPECT_EQ(LookupEntryPoint("runtimerun"), nullptr);
  EXPECT_EQ(LookupEntryPoint("NoSuchEntry"), nullptr);
  EXPECT_EQ(LookupEntryPoint(nullptr), nullptr);
}

int FirstFunction() { return 1; }
int SecondFunction() { return 2; }

TEST_F(RegistryTest, ARepeatedNameIsReportedAndTheFirstRecordStays) {
  static const EntryPoint first[] = {{"RegistryTestEntry", Address(&FirstFunction)}};
  static const EntryPoint again[] = {{"RegistryTestEntry", Address(&SecondFunction)},
                                     {"RuntimeRun", Address(&SecondFunction)},
                                     {nullptr, Address(&SecondFunction)}};
  RegisterEntryPoints(first, 1);
  RegisterEntryPoints(first, 1);  // the same record again is no clash
  EXPECT_TRUE(TakeRecordedBoxes().empty());
  RegisterEntryPoints(again, 3);
  std::vector<RecordedBox> boxes = TakeRecordedBoxes();
  ASSERT_EQ(boxes.size(), 3u);
  for (const RecordedBox& box : boxes) EXPECT_EQ(box.caption, "Failed Assertion");
  EXPECT_EQ(LookupEntryPoint("RegistryTestEntry"), Address(&FirstFunction));
  EXPECT_EQ(LookupEntryPoint("RuntimeRun"), Address(&RuntimeRun));

  RegisterHostEntryPoints();  // again: nothing to report
  EXPECT_TRUE(TakeRecordedBoxes().empty());
}

TEST_F(RegistryTest, StringLockEntriesCountAndIgnoreNil) {
  StringRef text = StringRef::Adopt(StringFromASCII("column"));
  TOVALockString(text.get());
  EXPECT_EQ(text->refCount, 2);
  TOVAUnlockString(text.get());
  EXPECT_EQ(text->refCount, 1);
  TOVALockString(nullptr);
  TOVAUnlockString(nullptr);
}

int32_t openedWith[2];
RuntimeObject* OpenOlder(int32_t, int32_t) { return nullptr; }
RuntimeObject* OpenNewer(int32_t word1, int32_t word2) {
  openedWith[0] = word1;
  openedWith[1] = word2;
  return CreateInstance(GetApplicationClassDefinition());
}

TEST_F(RegistryTest, TheNewestDataSourceOfANameOpens) {
  RuntimeRegisterDataSource("Acme", OpenOlder);
  RuntimeRegisterDataSource("Acme", OpenNewer);
  ObjectRef database = ObjectRef::Adopt(InvokeDataSource("acme", 1, 2));
  EXPECT_TRUE(database);
  EXPECT_EQ(openedWith[0], 1);
  EXPECT_EQ(openedWith[1], 2);
  EXPECT_EQ(InvokeDataSource("Unknown", 1, 2), nullptr);
  EXPECT_EQ(InvokeDataSource(nullptr, 1, 2), nullptr);
}

}  // namespace
