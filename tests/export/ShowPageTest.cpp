// The show page and the show it frames: what the exporter puts into the archive.
#include <gtest/gtest.h>

#include "ShowPage.h"

namespace {

TEST(ShowPageTest, ShowIsPreparedOnlyWhenItIsAnSvgWithItsEngine) {
  EXPECT_EQ(ShowPage::PrepareShow("<html><script>x</script></html>"), "");
  EXPECT_EQ(ShowPage::PrepareShow("<svg><g/></svg>"), "");
  const std::string svg =
      "<?xml version=\"1.0\"?><svg a=\"1\"><defs/><script type=\"text/ecmascript\">engine</script></svg>";
  const std::string prepared = ShowPage::PrepareShow(svg);
  ASSERT_FALSE(prepared.empty());
  // Everything of the original is kept, the alert replacement runs before the engine.
  const size_t replaced = prepared.find("window.alert");
  EXPECT_LT(replaced, prepared.find("engine"));
  EXPECT_GT(replaced, prepared.find("<defs/>"));
  EXPECT_EQ(prepared.size() - svg.size(),
            prepared.find("<script type=\"text/ecmascript\">engine") - svg.find("<script"));
}

}  // namespace
