// Bound-control lists of objects that play the DataControl role, and the
// objects that play none.
#include <gtest/gtest.h>

#include <vector>

#include "controls/DataControlRole.h"
#include "core/SmartRef.h"
#include "testsupport/ClassBuilder.h"
#include "testsupport/RuntimeTestEnvironment.h"

namespace {

struct StandInFields {
  std::vector<BoundControl>* list;
  int refreshes;
};

ClassBuilder* standInClass = nullptr;

StandInFields* FieldsOf(RuntimeObject* object) {
  return standInClass->Extra<StandInFields>(object);
}
void MakeList(RuntimeObject* object) { FieldsOf(object)->list = new std::vector<BoundControl>; }
void DropList(RuntimeObject* object) { delete FieldsOf(object)->list; }
std::vector<BoundControl>* ListOf(RuntimeObject* object) { return FieldsOf(object)->list; }
void CountRefresh(RuntimeObject* object) { ++FieldsOf(object)->refreshes; }

class DataControlRoleTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    standInClass = &standIn_;
    RegisterDataControlRole(standIn_.Definition(), DataControlRole{ListOf, CountRefresh});
    data_ = ObjectRef::Adopt(standIn_.NewInstance());
    first_ = ObjectRef::Adopt(plain_.NewInstance());
    second_ = ObjectRef::Adopt(plain_.NewInstance());
  }
  void TearDown() override {
    data_ = first_ = second_ = ObjectRef();
    UnregisterDataControlRole(standIn_.Definition());
    standInClass = nullptr;
    HostTest::TearDown();
  }
  const std::vector<BoundControl>& List() { return *ListOf(data_.get()); }

  ClassBuilder standIn_{nullptr, "StandInDataControl", sizeof(StandInFields), MakeList, DropList};
  ClassBuilder plain_{nullptr, "PlainControl"};
  ObjectRef data_, first_, second_;
};

TEST_F(DataControlRoleTest, ControlsJoinAtTheHeadOnceAndLeaveByControlAndKind) {
  DataControlAddBoundControl(data_.get(), first_.get(), kBoundCheckBox);
  DataControlAddBoundControl(data_.get(), second_.get(), kBoundEditField);
  DataControlAddBoundControl(data_.get(), first_.get(), kBoundCheckBox);
  DataControlAddBoundControl(data_.get(), first_.get(), kBoundStaticText);
  EXPECT_EQ(List(), (std::vector<BoundControl>{{first_.get(), kBoundStaticText},
                                               {second_.get(), kBoundEditField},
                                               {first_.get(), kBoundCheckBox}}));

  DataControlRemoveBoundControl(data_.get(), first_.get(), kBoundCheckBox);
  DataControlRemoveBoundControl(data_.get(), second_.get(), kBoundCheckBox);
  EXPECT_EQ(List(), (std::vector<BoundControl>{{first_.get(), kBoundStaticText},
                                               {second_.get(), kBoundEditField}}));
  DataControlAddBoundControl(data_.get(), nullptr, kBoundCheckBox);
  EXPECT_EQ(List().size(), 2u);
}

TEST_F(DataControlRoleTest, RefreshGoesToTheRoleAndSubclassesPlayIt) {
  DataControlRefreshBoundControls(data_.get());
  EXPECT_EQ(FieldsOf(data_.get())->refreshes, 1);

  ClassBuilder subclass(standIn_.Definition(), "SubDataControl");
  ObjectRef derived = ObjectRef::Adopt(subclass.NewInstance());
  DataControlAddBoundControl(derived.get(), first_.get(), kBoundCheckBox);
  DataControlRefreshBoundControls(derived.get());
  EXPECT_EQ(*ListOf(derived.get()), (std::vector<BoundControl>{{first_.get(), kBoundCheckBox}}));
  EXPECT_EQ(FieldsOf(derived.get())->refreshes, 1);
}

TEST_F(DataControlRoleTest, AnObjectWithoutTheRoleIsNoDataControl) {
  EXPECT_EQ(DataControlRoleOf(first_.get()), nullptr);
  EXPECT_EQ(DataControlRoleOf(nullptr), nullptr);
  DataControlAddBoundControl(first_.get(), second_.get(), kBoundCheckBox);
  DataControlRemoveBoundControl(first_.get(), second_.get(), kBoundCheckBox);
  DataControlRefreshBoundControls(first_.get());
  DataControlAddBoundControl(nullptr, second_.get(), kBoundCheckBox);
  DataControlRefreshBoundControls(nullptr);
  EXPECT_TRUE(List().empty());

  UnregisterDataControlRole(standIn_.Definition());
  EXPECT_EQ(DataControlRoleOf(data_.get()), nullptr);
  DataControlAddBoundControl(data_.get(), first_.get(), kBoundCheckBox);
  EXPECT_TRUE(List().empty());
}

}  // namespace
