// The interface's own copy, move and write probe, on the in-memory tree.
#include <gtest/gtest.h>

#include "core/SmartRef.h"
#include "core/string.h"
#include "files/FolderItemImp.h"
#include "testsupport/FakeFolderItemImp.h"

namespace {

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = char(i * 7 + i / 251);
  return bytes;
}

using Paths = std::vector<std::string>;

}  // namespace

TEST(FolderItemBaseTest, CopyOntoTheItemItselfWritesNothing) {
  FakeFileTree tree;
  tree.AddFolder("docs");
  tree.AddFile("docs/a.txt", "keep");
  auto source = tree.Item("docs/a.txt");
  const std::unique_ptr<FolderItemImp> destinations[] = {tree.Item("docs/a.txt"),
                                                         tree.Item("DOCS/A.TXT"), tree.Item("docs")};
  for (const auto& destination : destinations) {
    EXPECT_TRUE(source->CopyFileTo(source.get()));
    EXPECT_TRUE(source->CopyFileTo(destination.get()));
    EXPECT_TRUE(source->MoveFileTo(destination.get()));
  }
  EXPECT_TRUE(tree.CallsOf("CreateStream").empty());
  EXPECT_TRUE(tree.CallsOf("Delete").empty());
  EXPECT_EQ(tree.Find("docs/a.txt")->bytes, "keep");
}

TEST(FolderItemBaseTest, ACopyReplacesTheTargetWholeWithTheCodesButNotTheDates) {
  FakeFileTree tree;
  tree.AddFolder("out");
  FakeFileTree::Node& source = tree.AddFile("a.txt", Pattern(10000));
  source.macType = 0x54455854;
  source.macCreator = 0x74747874;
  source.modified = 5;
  source.streamFaults.readChunk = 1000;  // short reads
  tree.AddFile("b.txt", "old");
  tree.AddFile("out/a.txt", "old");
  for (const char* target : {"b.txt", "out", "new.txt"}) {
    SCOPED_TRACE(target);
    EXPECT_TRUE(tree.Item("a.txt")->CopyFileTo(tree.Item(target).get()));
  }
  for (const char* copy : {"b.txt", "out/a.txt", "new.txt"}) {
    const FakeFileTree::Node* node = tree.Find(copy);
    EXPECT_EQ(node->bytes, source.bytes) << copy;
    EXPECT_EQ(node->macType, 0x54455854u);
    EXPECT_EQ(node->macCreator, 0x74747874u);
    EXPECT_NE(node->modified, 5);
  }
  EXPECT_EQ(tree.Paths(), (Paths{"a.txt", "b.txt", "new.txt", "out", "out/a.txt"}));
}

TEST(FolderItemBaseTest, AFailedCopyOrMoveLeavesTheTargetTheSourceAndNoOtherFile) {
  struct Case {
    const char* name;
    void (*fault)(FakeFileTree::Node&);
  };
  const Case cases[] = {
      {"reads bring nothing",
       [](FakeFileTree::Node& n) { n.streamFaults.read = MemoryFileStream::ReadFault::kDeliversNothing; }},
      {"length -1", [](FakeFileTree::Node& n) { n.lengthUnknown = true; }},
      {"read fails midway",
       [](FakeFileTree::Node& n) {
         n.streamFaults.read = MemoryFileStream::ReadFault::kFails;
         n.streamFaults.readFaultFrom = 6000;
       }},
      {"target refuses its rename", [](FakeFileTree::Node&) {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeFileTree tree;
    c.fault(tree.AddFile("a.txt", Pattern(10000)));
    tree.AddFile("b.txt", "old").refuseSetName = true;
    EXPECT_FALSE(tree.Item("a.txt")->CopyFileTo(tree.Item("b.txt").get()));
    EXPECT_FALSE(tree.Item("a.txt")->MoveFileTo(tree.Item("b.txt").get()));
    EXPECT_EQ(tree.Find("b.txt")->bytes, "old");
    EXPECT_EQ(tree.Find("a.txt")->bytes, Pattern(10000));
    EXPECT_EQ(tree.Paths(), (Paths{"a.txt", "b.txt"}));
  }
}

// A target that cannot be deleted (locked, or open) is not replaced: it
// keeps its name and bytes, and no file is left beside it.
TEST(FolderItemBaseTest, ACopyOntoAFileThatCannotBeDeletedFailsAndLeavesIt) {
  FakeFileTree tree;
  tree.AddFile("a.txt", "new");
  tree.AddFile("b.txt", "old").refuseDelete = true;
  EXPECT_FALSE(tree.Item("a.txt")->CopyFileTo(tree.Item("b.txt").get()));
  EXPECT_FALSE(tree.Item("a.txt")->MoveFileTo(tree.Item("b.txt").get()));
  EXPECT_EQ(tree.Paths(), (Paths{"a.txt", "b.txt"}));
  ASSERT_NE(tree.Find("a.txt"), nullptr);
  EXPECT_EQ(tree.Find("a.txt")->bytes, "new");
  ASSERT_NE(tree.Find("b.txt"), nullptr);
  EXPECT_EQ(tree.Find("b.txt")->bytes, "old");
}

TEST(FolderItemBaseTest, TheWriteProbeTakesAFreeNameAndLeavesNothing) {
  FakeFileTree tree;
  tree.AddFolder("docs").modified = 42;
  tree.AddFile("docs/$$TestFile$$");
  tree.AddFile("docs/$$TestFile$$0");
  for (const char* item : {"docs", "docs/missing.txt"}) {
    tree.calls.clear();
    EXPECT_TRUE(tree.Item(item)->IsWriteable()) << item;
    ASSERT_EQ(tree.CallsOf("CreateStream").size(), 1u);
    EXPECT_EQ(tree.CallsOf("CreateStream")[0].path, "docs/$$TestFile$$1");
    EXPECT_EQ(tree.Paths(), (Paths{"docs", "docs/$$TestFile$$", "docs/$$TestFile$$0"}));
    EXPECT_EQ(tree.Find("docs")->modified, 42);
  }

  // An existing file: its byte is written back and its date kept; one that
  // does not open is not writeable.
  tree.AddFile("docs/f.txt", "xyz").modified = 7;
  EXPECT_TRUE(tree.Item("docs/f.txt")->IsWriteable());
  EXPECT_EQ(tree.Find("docs/f.txt")->bytes, "xyz");
  EXPECT_EQ(tree.Find("docs/f.txt")->modified, 7);
  tree.Find("docs/f.txt")->refuseOpen = true;
  EXPECT_FALSE(tree.Item("docs/f.txt")->IsWriteable());
}
