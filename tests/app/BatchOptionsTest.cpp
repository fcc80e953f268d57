// The batch command's command line, the presets it shares with the dialog, the output
// check, the JSON progress lines and the deck's shape read from its SVG show.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "BatchOptions.h"
#include "EncodePresets.h"
#include "OutputCheck.h"
#include "ProgressJson.h"
#include "SlideShape.h"

namespace {

BatchOptions Parse(std::vector<std::string> args) { return BatchOptions::parse(args); }

TEST(BatchOptions, DefaultsAreTheDialogs) {
  EXPECT_EQ(Parse({}).action, BatchOptions::Action::RunDialog);
  // `kavreto FILE`, as a file manager starts it: the dialog with FILE; with options it is
  // no such call.
  const BatchOptions open = Parse({"talks/deck one.ppt"});
  EXPECT_EQ(open.action, BatchOptions::Action::RunDialog);
  EXPECT_EQ(open.openPath, "talks/deck one.ppt");
  EXPECT_EQ(Parse({"deck.ppt", "--fps", "5"}).action, BatchOptions::Action::Error);
  EXPECT_EQ(Parse({"a.ppt", "b.ppt"}).action, BatchOptions::Action::Error);
  EXPECT_FALSE(Parse({"convert", "a", "b"}).verbose);
  EXPECT_TRUE(Parse({"convert", "a", "b", "--verbose"}).verbose);
  EXPECT_NE(BatchOptions::usage().find("--verbose"), std::string::npos);
  const BatchOptions o = Parse({"convert", "in.pptx", "out.mp4"});
  ASSERT_EQ(o.action, BatchOptions::Action::Convert) << o.error;
  ASSERT_EQ(o.jobs.size(), 1u);
  EXPECT_EQ(o.jobs[0].input, "in.pptx");
  EXPECT_EQ(o.jobs[0].output, "out.mp4");
  EXPECT_EQ(o.width, 352);
  EXPECT_EQ(o.height, 288);
  EXPECT_EQ(o.autoHeight, 0);
  EXPECT_EQ(o.fps, 25);
  EXPECT_EQ(o.quality, 10);
  EXPECT_EQ(o.bitRateKbps(), 200);
  EXPECT_DOUBLE_EQ(o.holdSeconds, 1.0);
  EXPECT_FALSE(o.useTimings);
  EXPECT_FALSE(o.realtime);
  EXPECT_EQ(o.timeoutSeconds, 0);
  EXPECT_EQ(o.progress, BatchOptions::Progress::Bar);
}

TEST(BatchOptions, ValuesAfterASpaceOrAnEqualsSignAnywhereOnTheLine) {
  const BatchOptions o = Parse({"convert", "--size", "720x540", "a.ppt", "--fps=30", "b.flv", "--quality", "100",
                                "--timeout=2.5", "--hold", "0.5", "--timings", "--realtime", "--progress=json"});
  ASSERT_EQ(o.action, BatchOptions::Action::Convert) << o.error;
  EXPECT_EQ(o.jobs[0].input, "a.ppt");
  EXPECT_EQ(o.jobs[0].output, "b.flv");
  EXPECT_EQ(o.width, 720);
  EXPECT_EQ(o.height, 540);
  EXPECT_EQ(o.fps, 30);
  EXPECT_EQ(o.quality, 100);
  EXPECT_DOUBLE_EQ(o.timeoutSeconds, 2.5);
  EXPECT_DOUBLE_EQ(o.holdSeconds, 0.5);
  EXPECT_TRUE(o.useTimings);
  EXPECT_TRUE(o.realtime);
  EXPECT_EQ(o.progress, BatchOptions::Progress::Json);
  EXPECT_EQ(Parse({"convert", "a", "b", "--size=640x480", "--fps", "1", "--quality", "1"}).height, 480);
  EXPECT_EQ(Parse({"convert", "a", "b", "--hold=60"}).holdSeconds, 60);
  const BatchOptions k = Parse({"convert", "a", "b", "--kbps", "50000", "--quality", "3"});
  EXPECT_EQ(k.bitRateKbps(), 50000);
  // After "--" everything is a file name.
  const BatchOptions dash = Parse({"convert", "--", "--odd name.ppt", "b.mp4"});
  ASSERT_EQ(dash.action, BatchOptions::Action::Convert) << dash.error;
  EXPECT_EQ(dash.jobs[0].input, "--odd name.ppt");
}

TEST(BatchOptions, SizesByNameByNumbersAndFromTheDeck) {
  struct Case {
    const char* text;
    int width, height;
  };
  for (const Case& c : {Case{"720p", 1280, 720}, Case{"1080p", 1920, 1080}, Case{"4k", 3840, 2160},
                        Case{"352x288", 352, 288}, Case{"160x120", 160, 120}, Case{"3840x2160", 3840, 2160},
                        Case{"1000x562", 1000, 562}, Case{"800x600", 800, 600}}) {
    const BatchOptions o = Parse({"convert", "a", "b", "--size", c.text});
    ASSERT_EQ(o.action, BatchOptions::Action::Convert) << c.text << ": " << o.error;
    EXPECT_EQ(o.width, c.width) << c.text;
    EXPECT_EQ(o.height, c.height) << c.text;
  }
  EXPECT_EQ(Parse({"convert", "a", "b", "--size", "auto"}).autoHeight, 720);
  EXPECT_EQ(Parse({"convert", "a", "b", "--size", "auto", "--height", "1080"}).autoHeight, 1080);
}

TEST(BatchOptions, RefusedSizesSayWhy) {
  struct Case {
    const char* size;
    const char* why;
  };
  for (const Case& c :
       {Case{"1281x720", "multiple of 4"}, Case{"1280x721", "even"}, Case{"3844x2160", "largest"},
        Case{"3840x2162", "largest"}, Case{"156x120", "smallest"}, Case{"160x118", "smallest"}, Case{"720X540", "WxH"},
        Case{"x720", "WxH"}, Case{"-4x720", "WxH"}, Case{"99999999999x2", "WxH"}, Case{"8k", "WxH"}}) {
    const BatchOptions o = Parse({"convert", "a", "b", "--size", c.size});
    EXPECT_EQ(o.action, BatchOptions::Action::Error) << c.size;
    EXPECT_NE(o.error.find(c.why), std::string::npos) << c.size << ": " << o.error;
    EXPECT_FALSE(o.errorWantsUsage) << c.size;
  }
  EXPECT_EQ(Parse({"convert", "a", "b", "--height", "720"}).action, BatchOptions::Action::Error);
  EXPECT_EQ(Parse({"convert", "a", "b", "--size", "auto", "--height", "100"}).action, BatchOptions::Action::Error);
}

TEST(BatchOptions, BadArgumentsAreErrors) {
  struct Case {
    std::vector<std::string> args;
    bool usage;  // the form of the command line is wrong: the usage follows
  };
  for (const Case& c : std::vector<Case>{
           {{"convert"}, true},
           {{"convert", "a"}, true},
           {{"convert", "a", "b", "c"}, true},
           {{"convert", "a", "b", "--fps"}, true},
           {{"convert", "a", "b", "--bogus"}, true},
           {{"convert", "a", "b", "--bogus=1"}, true},
           {{"export", "a", "b"}, true},
           {{"--fps", "5"}, true},
           {{"convert", "a", "b", "--fps", "0"}, false},
           {{"convert", "a", "b", "--fps", "31"}, false},
           {{"convert", "a", "b", "--fps", "25x"}, false},
           {{"convert", "a", "b", "--fps", "+5"}, false},
           {{"convert", "a", "b", "--quality", "101"}, false},
           {{"convert", "a", "b", "--kbps", "50001"}, false},
           {{"convert", "a", "b", "--kbps", "0"}, false},
           {{"convert", "a", "b", "--hold", "0.4"}, false},
           {{"convert", "a", "b", "--hold", "60.5"}, false},
           {{"convert", "a", "b", "--hold", "nan"}, false},
           {{"convert", "a", "b", "--timeout", "0"}, false},
           {{"convert", "a", "b", "--timeout", "nan"}, false},
           {{"convert", "a", "b", "--progress", "xml"}, false},
           {{"convert", "a", "b", "--progress", "text"}, false},
           {{"convert", "a", "b", "--format", "mp4"}, false},
           {{"convert", "a", "--output-dir", "d", "--format", "avi"}, false},
           {{"convert", "--output-dir", "d"}, true},
       }) {
    const BatchOptions o = Parse(c.args);
    EXPECT_EQ(o.action, BatchOptions::Action::Error) << testing::PrintToString(c.args);
    EXPECT_FALSE(o.error.empty());
    EXPECT_EQ(o.errorWantsUsage, c.usage) << testing::PrintToString(c.args) << ": " << o.error;
  }
  EXPECT_EQ(Parse({"--help"}).action, BatchOptions::Action::Help);
  EXPECT_EQ(Parse({"-h"}).action, BatchOptions::Action::Help);
  EXPECT_EQ(Parse({"convert", "--help"}).action, BatchOptions::Action::Help);
  EXPECT_EQ(Parse({"--version"}).action, BatchOptions::Action::Version);
}

TEST(BatchOptions, ManyInputsGoToTheOutputDirectoryUnderTheirBaseNames) {
  const BatchOptions o = Parse({"convert", "talks/a.ppt", "b.v2.pptx", "/abs/c", "--output-dir", "out"});
  ASSERT_EQ(o.action, BatchOptions::Action::Convert) << o.error;
  ASSERT_EQ(o.jobs.size(), 3u);
  EXPECT_EQ(o.jobs[0].output, "out/a.mp4");
  EXPECT_EQ(o.jobs[1].output, "out/b.v2.mp4");
  EXPECT_EQ(o.jobs[2].output, "out/c.mp4");
  EXPECT_EQ(o.jobs[2].input, "/abs/c");
  const BatchOptions flv = Parse({"convert", "a.ppt", "--output-dir=out/", "--format", "FLV"});
  ASSERT_EQ(flv.action, BatchOptions::Action::Convert) << flv.error;
  EXPECT_EQ(flv.jobs[0].output, "out/a.flv");
  // Two inputs that would share an output are refused, naming both.
  const BatchOptions clash = Parse({"convert", "x/deck.ppt", "y/deck.pptx", "--output-dir", "out"});
  ASSERT_EQ(clash.action, BatchOptions::Action::Error);
  EXPECT_NE(clash.error.find("x/deck.ppt"), std::string::npos) << clash.error;
  EXPECT_NE(clash.error.find("y/deck.pptx"), std::string::npos) << clash.error;
  EXPECT_EQ(Parse({"convert", "a.ppt", "a.ppt", "--output-dir", "out"}).action, BatchOptions::Action::Error);
}

TEST(BatchOptions, UsageListsEveryOptionWithItsRangeAndDefault) {
  const std::string usage = BatchOptions::usage();
  for (const char* text : {"usage: kavreto",
                           "--size",
                           "160x120 to 3840x2160",
                           "720p",
                           "1080p",
                           "4k",
                           "auto",
                           "--height",
                           "Default 720",
                           "--fps",
                           "1-30. Default 25",
                           "--quality",
                           "1-100",
                           "Default 10",
                           "--kbps",
                           "1-50000",
                           "--hold",
                           "0.5-60. Default 1",
                           "--timings",
                           "--realtime",
                           "--timeout",
                           "--output-dir",
                           "--format",
                           "mp4|flv|swf|wmv|mov|mpg",
                           "--progress",
                           "json",
                           "--help",
                           "--version",
                           "Exit status"}) {
    EXPECT_NE(usage.find(text), std::string::npos) << text;
  }
  EXPECT_EQ(usage.find("--stats"), std::string::npos);
}

TEST(EncodePresets, FormulasAndThresholds) {
  EXPECT_EQ(EncodePresets::BitRateFromQuality(10), 10 * 20480);
  EXPECT_EQ(EncodePresets::QualityLabel(10), "200 kbps");
  EXPECT_EQ(EncodePresets::BitRateFromKbps(200), EncodePresets::BitRateFromQuality(10));
  EXPECT_EQ(EncodePresets::FrameRateLabel(25), "25 帧/秒");
  // At the default hold the threshold is the frame rate; otherwise round(hold x rate), at least 1.
  for (int rate = 1; rate <= 30; ++rate) EXPECT_EQ(EncodePresets::AdvanceThreshold(1.0, rate), rate);
  EXPECT_EQ(EncodePresets::AdvanceThreshold(3.0, 10), 30);
  EXPECT_EQ(EncodePresets::AdvanceThreshold(0.5, 25), 13);
  EXPECT_EQ(EncodePresets::AdvanceThreshold(0.5, 1), 1);
  EXPECT_EQ(EncodePresets::AdvanceThreshold(60, 30), 1800);
  for (const auto& s : EncodePresets::kDialogSizes) EXPECT_EQ(EncodePresets::SizeProblem(s.width, s.height), "");
  for (const auto& s : EncodePresets::kNamedSizes) EXPECT_EQ(EncodePresets::SizeProblem(s.width, s.height), "");
}

TEST(EncodePresets, SizeForTheDecksAspectIsAlwaysValid) {
  struct Case {
    double w, h;
    int height, expectWidth, expectHeight;
  };
  for (const Case& c : {Case{16, 9, 720, 1280, 720}, Case{4, 3, 720, 960, 720}, Case{28000, 15750, 1080, 1920, 1080},
                        Case{16, 10, 720, 1152, 720}, Case{4, 3, 481, 644, 482}, Case{1, 1, 2160, 2160, 2160},
                        Case{32, 9, 2160, 3840, 1080}, Case{1, 10, 120, 160, 120}, Case{0, 0, 480, 640, 480}}) {
    const auto size = EncodePresets::SizeForAspect(c.w, c.h, c.height);
    EXPECT_EQ(size.width, c.expectWidth) << c.w << ":" << c.h << " at " << c.height;
    EXPECT_EQ(size.height, c.expectHeight) << c.w << ":" << c.h << " at " << c.height;
    EXPECT_EQ(EncodePresets::SizeProblem(size.width, size.height), "");
  }
  // Every height in range and odd aspect ratios give a size that can be filmed.
  for (int height = 120; height <= 2160; height += 37) {
    for (double aspect : {0.3, 1.0, 1.3333, 1.7777, 2.39, 5.0}) {
      const auto size = EncodePresets::SizeForAspect(aspect * 1000, 1000, height);
      EXPECT_EQ(EncodePresets::SizeProblem(size.width, size.height), "") << aspect << " at " << height;
    }
  }
}

TEST(OutputCheck, ContainersTheSettingsCannotUseAreRefused) {
  EncodeSettings settings;  // 352x288 at 25 frames per second
  for (const char* name : {"a.mp4", "a.FLV", "dir.x/a.swf", "a.wmv", "a.mpg", "a.mov"}) {
    EXPECT_EQ(OutputCheck::Problem(name, settings), "") << name;
  }
  for (const char* name : {"a.xyz", "a", "dir.mp4/a", "a.avi"}) {
    EXPECT_NE(OutputCheck::Problem(name, settings).find("不支持的输出文件类型"), std::string::npos) << name;
  }
  // .mpg and .mov only at 352x288 and exactly 25 frames per second.
  settings.frameRate = 24;
  EXPECT_NE(OutputCheck::Problem("a.mpg", settings), "");
  EXPECT_NE(OutputCheck::Problem("a.mov", settings), "");
  settings.frameRate = 25;
  settings.width = 1280;
  settings.height = 720;
  EXPECT_NE(OutputCheck::Problem("a.mpg", settings), "");
  EXPECT_EQ(OutputCheck::Problem("a.mp4", settings), "");
  settings.width = 352;
  settings.height = 288;
  EXPECT_NE(OutputCheck::Problem("a.mov", settings, /*sizeKnown=*/false), "");
}

TEST(ProgressJson, LinesCarryEveryFieldAndEscapeText) {
  ProgressJson::Record r;
  r.file = "dir/\"odd\"\\name\n.ppt";
  r.output = "out/演示.mp4";
  r.state = "failed";
  r.slide = 2;
  r.slides = 4;
  r.frames = 57;
  r.videoSeconds = 2.28;
  r.elapsedSeconds = 3.9;
  r.message = std::string("bad \x01 byte \xff end");
  EXPECT_EQ(ProgressJson::Line(r),
            "{\"file\":\"dir/\\\"odd\\\"\\\\name\\u000a.ppt\",\"output\":\"out/演示.mp4\",\"state\":\"failed\","
            "\"slide\":2,\"slides\":4,\"frames\":57,\"video_seconds\":2.280,\"elapsed_seconds\":3.900,"
            "\"message\":\"bad \\u0001 byte \xEF\xBF\xBD end\"}");
  r.message.clear();
  EXPECT_EQ(ProgressJson::Line(r).find("message"), std::string::npos);
  // Truncated and overlong UTF-8 sequences are replaced, never copied.
  EXPECT_EQ(ProgressJson::Quote("\xe6\xbc"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(ProgressJson::Quote("\xc0\xaf"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");
  EXPECT_EQ(ProgressJson::Quote("\xed\xa0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
}

TEST(SlideShape, ViewBoxOfTheRootSvgElement) {
  double w = 0, h = 0;
  ASSERT_TRUE(
      SlideShape::FromSvg("<?xml version=\"1.0\"?>\n<!DOCTYPE svg>\n<svg version=\"1.2\" "
                          "viewBox=\"0 0 28000 15750\" preserveAspectRatio=\"xMidYMid\"><g/></svg>",
                          w, h));
  EXPECT_EQ(w, 28000);
  EXPECT_EQ(h, 15750);
  ASSERT_TRUE(SlideShape::FromSvg("<svg\nviewBox='10,20,400,300'>", w, h));
  EXPECT_EQ(w, 400);
  EXPECT_EQ(h, 300);
  for (const char* svg : {"", "<svgx viewBox=\"0 0 4 3\">", "<svg width=\"4\">", "<svg viewBox=\"0 0 0 3\">",
                          "<svg viewBox=\"0 0 4\">", "<svg viewBox=\"0 0 -4 3\">", "<svg dataviewBox=\"0 0 4 3\">",
                          "<svg viewBox=\"0 0 4 3\"", "<svg viewBox=\"0 0 inf 3\">"}) {
    EXPECT_FALSE(SlideShape::FromSvg(svg, w, h)) << svg;
  }
  EXPECT_FALSE(SlideShape::FromArchive("/nonexistent/archive.tmp", w, h));
}

}  // namespace
