#include <gtest/gtest.h>

#include "ArchiveRegistry.h"
#include "TestArchive.h"

namespace {

class ArchiveRegistryTest : public testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    archive = WritePageArchive(dir, "nn1a2b", "<p>show</p>", {{"show.svg", "image/svg+xml", "<svg/>", true}});
    other = WritePageArchive(dir, "other", "<p>secret</p>");
    ASSERT_FALSE(archive.empty());
    ASSERT_FALSE(other.empty());
  }
  void TearDown() override { RemoveTree(dir); }

  std::string dir, archive, other;
};

TEST_F(ArchiveRegistryTest, ServesOnlyPartsOfAllowedArchives) {
  ArchiveRegistry registry;
  // Nothing is allowed yet: not even an existing archive is read.
  EXPECT_EQ(registry.resolve("file://" + archive + "!nn1a2b.files/fullscreen.htm").status,
            ArchiveRegistry::Status::NotAllowed);

  registry.allow(archive);
  ArchiveRegistry::Result page = registry.resolve("file://" + archive + "!nn1a2b.files/fullscreen.htm");
  ASSERT_EQ(page.status, ArchiveRegistry::Status::Served);
  EXPECT_EQ(page.body, "<p>show</p>");
  EXPECT_EQ(page.contentType, "text/html; charset=utf-8");
  EXPECT_EQ(registry.resolve("file://" + archive + "!nn1a2b.files/./show.svg").body, "<svg/>");

  // Another archive, a plain file, paths outside the archive, other address forms.
  EXPECT_EQ(registry.resolve("file://" + other + "!other.files/fullscreen.htm").status,
            ArchiveRegistry::Status::NotAllowed);
  EXPECT_EQ(registry.resolve("file:///etc/passwd").status, ArchiveRegistry::Status::NotAllowed);
  EXPECT_EQ(registry.resolve("file:///etc/passwd!x").status, ArchiveRegistry::Status::NotAllowed);
  EXPECT_EQ(registry.resolve("file://" + archive).status, ArchiveRegistry::Status::NotAllowed);
  EXPECT_EQ(registry.resolve("http://" + archive + "!nn1a2b.files/fullscreen.htm").status,
            ArchiveRegistry::Status::NotAllowed);
  EXPECT_EQ(registry.resolve("file://" + archive + "x!nn1a2b.files/fullscreen.htm").status,
            ArchiveRegistry::Status::NotAllowed);
  EXPECT_EQ(registry.resolve("file://" + archive + "!nn1a2b.files/missing.htm").status,
            ArchiveRegistry::Status::NotFound);
  EXPECT_EQ(registry.resolve("file://" + archive + "!../../../../etc/passwd").status,
            ArchiveRegistry::Status::NotFound);
  EXPECT_EQ(registry.resolve("file://" + archive + "!").status, ArchiveRegistry::Status::NotFound);
}

TEST_F(ArchiveRegistryTest, RereadsAChangedArchiveAndRefusesABrokenOne) {
  ArchiveRegistry registry;
  registry.allow(archive);
  ASSERT_EQ(registry.resolve("file://" + archive + "!nn1a2b.files/fullscreen.htm").body, "<p>show</p>");

  ASSERT_TRUE(WriteFile(archive, "Content-Type: multipart/related; boundary=x\r\n\r\n--x\r\ntruncated"));
  const ArchiveRegistry::Result broken = registry.resolve("file://" + archive + "!nn1a2b.files/fullscreen.htm");
  EXPECT_EQ(broken.status, ArchiveRegistry::Status::Unreadable);
  EXPECT_NE(broken.error.find("not a readable archive"), std::string::npos) << broken.error;
  // A second look at the unchanged file keeps the reason.
  EXPECT_EQ(registry.resolve("file://" + archive + "!nn1a2b.files/x.htm").error, broken.error);

  ASSERT_FALSE(WritePageArchive(dir, "nn1a2b", "<p>second show, longer</p>").empty());
  EXPECT_EQ(registry.resolve("file://" + archive + "!nn1a2b.files/fullscreen.htm").body, "<p>second show, longer</p>");

  RemoveTree(archive);
  const ArchiveRegistry::Result missing = registry.resolve("file://" + archive + "!nn1a2b.files/fullscreen.htm");
  EXPECT_EQ(missing.status, ArchiveRegistry::Status::Unreadable);
  EXPECT_EQ(missing.error, "no such file");
}

TEST(ArchiveRegistry, NormalisesInnerPaths) {
  EXPECT_EQ(ArchiveRegistry::NormaliseInnerPath("a.files/x.htm"), "a.files/x.htm");
  EXPECT_EQ(ArchiveRegistry::NormaliseInnerPath("/a.files//./b/../x.htm"), "a.files/x.htm");
  EXPECT_EQ(ArchiveRegistry::NormaliseInnerPath("a.files/../../x.htm"), "");
  EXPECT_EQ(ArchiveRegistry::NormaliseInnerPath(".."), "");
  EXPECT_EQ(ArchiveRegistry::NormaliseInnerPath(""), "");
}

}  // namespace
