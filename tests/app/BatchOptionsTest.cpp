// The batch command's command line, and the extensions its prompts accept.
#include <gtest/gtest.h>

#include "BatchOptions.h"
#include "BatchPrompts.h"

namespace {

BatchOptions Parse(std::vector<std::string> args) { return BatchOptions::parse(args); }

TEST(BatchOptions, DefaultsAreTheDialogs) {
  EXPECT_EQ(Parse({}).action, BatchOptions::Action::RunDialog);
  const BatchOptions o = Parse({"convert", "in.pptx", "out.mp4"});
  ASSERT_EQ(o.action, BatchOptions::Action::Convert);
  EXPECT_EQ(o.input, "in.pptx");
  EXPECT_EQ(o.output, "out.mp4");
  EXPECT_EQ(o.width, 352);
  EXPECT_EQ(o.height, 288);
  EXPECT_EQ(o.fps, 25);
  EXPECT_EQ(o.quality, 10);
  EXPECT_EQ(o.timeoutSeconds, 0);
}

TEST(BatchOptions, EveryOptionAtItsLimits) {
  const BatchOptions o =
      Parse({"convert", "--size", "720x540", "a.ppt", "--fps", "30", "b.flv", "--quality", "100", "--timeout", "2.5"});
  ASSERT_EQ(o.action, BatchOptions::Action::Convert) << o.error;
  EXPECT_EQ(o.width, 720);
  EXPECT_EQ(o.height, 540);
  EXPECT_EQ(o.fps, 30);
  EXPECT_EQ(o.quality, 100);
  EXPECT_DOUBLE_EQ(o.timeoutSeconds, 2.5);
  EXPECT_EQ(Parse({"convert", "a", "b", "--size", "640x480", "--fps", "1", "--quality", "1"}).height, 480);
}

TEST(BatchOptions, BadArgumentsAreErrors) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"convert"},
           {"convert", "a"},
           {"convert", "a", "b", "c"},
           {"convert", "a", "b", "--fps"},
           {"convert", "a", "b", "--fps", "0"},
           {"convert", "a", "b", "--fps", "31"},
           {"convert", "a", "b", "--fps", "25x"},
           {"convert", "a", "b", "--quality", "101"},
           {"convert", "a", "b", "--size", "720X540"},
           {"convert", "a", "b", "--timeout", "0"},
           {"convert", "a", "b", "--timeout", "nan"},
           {"convert", "a", "b", "--bogus"},
           {"export", "a", "b"},
       }) {
    const BatchOptions o = Parse(args);
    EXPECT_EQ(o.action, BatchOptions::Action::Error) << testing::PrintToString(args);
    EXPECT_FALSE(o.error.empty());
  }
  EXPECT_EQ(Parse({"--help"}).action, BatchOptions::Action::Help);
  EXPECT_EQ(Parse({"convert", "--help"}).action, BatchOptions::Action::Help);
  EXPECT_EQ(Parse({"--version"}).action, BatchOptions::Action::Version);
}

TEST(BatchPrompts, OutputMustHaveAnExtensionTheFilterOffers) {
  const QString shortFilter = QStringLiteral("(*.flv);;(*.swf);;(*.wmv);;(*.mp4)");
  EXPECT_EQ(BatchPrompts::filterExtensions(shortFilter), (QStringList{"flv", "swf", "wmv", "mp4"}));
  BatchPrompts ok(QStringLiteral("in.ppt"), QStringLiteral("/x/OUT.MP4"));
  EXPECT_EQ(ok.saveFileName(shortFilter, QStringLiteral("flv")), QStringLiteral("/x/OUT.MP4"));
  EXPECT_TRUE(ok.messages().isEmpty());
  BatchPrompts mpg(QStringLiteral("in.ppt"), QStringLiteral("out.mpg"));
  EXPECT_TRUE(mpg.saveFileName(shortFilter, QStringLiteral("flv")).isEmpty());
  EXPECT_EQ(mpg.messages().size(), 1);
  BatchPrompts none(QStringLiteral("in.ppt"), QStringLiteral("out"));
  EXPECT_TRUE(none.saveFileName(shortFilter, QStringLiteral("flv")).isEmpty());
  EXPECT_EQ(BatchPrompts(QStringLiteral("in.odp"), {}).openFileName(QStringLiteral("(*.ppt)")),
            QStringLiteral("in.odp"));
}

}  // namespace
