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

// The page file with the exporter's three places filled in: the shown slides, the page
// script inline (the archive holds no separate script part), and the show's address as an
// attribute value that cannot end the attribute early.
TEST(ShowPageTest, PageHasItsPlacesFilledAndTheSharedTexts) {
  const std::string page = ShowPage::Html("a\"b<&.svg", {0, 2, 5});
  EXPECT_NE(page.find("var kvShownSlides = [0, 2, 5];"), std::string::npos);
  EXPECT_NE(page.find("src=\"a&quot;b&lt;&amp;.svg\""), std::string::npos);
  EXPECT_EQ(page.find("showpage.js\"></script>"), std::string::npos);
  EXPECT_NE(page.find("function GoToNextSld()"), std::string::npos);
  EXPECT_EQ(page.find("@kavreto:"), std::string::npos);
  EXPECT_EQ(page.find("@k"), std::string::npos);  // every shared text filled in
  EXPECT_NE(page.find("'Endppt'"), std::string::npos);
  EXPECT_NE(page.find("'KAVRETO-FAILED:'"), std::string::npos);
}

}  // namespace
