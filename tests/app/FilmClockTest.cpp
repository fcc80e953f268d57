// `kavreto convert` on the show's own clock, end to end with the real office, browser and
// encoder: conversions of one deck give the same decoded frames, every one, and a date field
// shows the conversion's date, or SOURCE_DATE_EPOCH's.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "AppTestSupport.h"
#include "FixtureFiles.h"

namespace {

constexpr int kConversionLimitMs = 240000;

// The MD5 of every decoded frame, in order (ffmpeg's framemd5 muxer); empty on failure.
std::vector<std::string> FrameMd5s(const std::string& video) {
  std::vector<std::string> sums;
  const std::string command = "ffmpeg -v error -nostdin -i '" + video + "' -f framemd5 - 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  if (pipe == nullptr) return sums;
  char line[512];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::string text(line);
    if (text.empty() || text[0] == '#') continue;
    const size_t comma = text.rfind(',');
    if (comma != std::string::npos) sums.push_back(text.substr(comma + 1));
  }
  ::pclose(pipe);
  return sums;
}

class FilmClock : public testing::Test {
 protected:
  std::vector<std::string> Env(const std::string& epoch) const {
    std::vector<std::string> env = {"XDG_CACHE_HOME=" + cache_.path(), "TMPDIR=" + tmp_.path(),
                                    "XDG_RUNTIME_DIR=" + runtime_.path()};
    // An empty value is no value: the clock then starts at the real time.
    env.push_back("SOURCE_DATE_EPOCH=" + epoch);
    return env;
  }
  // Converts `deck` into out/`name`; "" when the conversion failed.
  std::string Convert(const std::string& deck, const std::string& name, const std::string& epoch,
                      const std::string& fps = "10") {
    const std::string output = out_.file(name);
    ChildProcess kavreto({KavretoProgram(), "convert", deck, output, "--size", "352x288", "--fps", fps}, Env(epoch));
    const int status = kavreto.wait(kConversionLimitMs);
    EXPECT_EQ(status, 0) << kavreto.stderrText();
    return status == 0 ? output : std::string();
  }

  TempDir cache_, tmp_, runtime_, out_;
};

// Two conversions with SOURCE_DATE_EPOCH set: the same frames, for a deck with a transition
// and click effects and for one with effects that start by themselves after delays.
TEST_F(FilmClock, ConversionsOfOneDeckGiveTheSameFrames) {
  for (const char* fixture : {"four-slides.fodp", "timed-show.fodp"}) {
    SCOPED_TRACE(fixture);
    const std::string deck = FixtureFiles::Converted(fixture);
    ASSERT_FALSE(deck.empty());
    const std::string a = Convert(deck, std::string("a-") + fixture + ".mp4", "1700000000");
    const std::string b = Convert(deck, std::string("b-") + fixture + ".mp4", "1700000000");
    ASSERT_FALSE(a.empty());
    ASSERT_FALSE(b.empty());
    const std::vector<std::string> first = FrameMd5s(a);
    EXPECT_GT(first.size(), 80u);
    EXPECT_EQ(FrameMd5s(b), first);
  }
}

// Slide 3 of timed-show.fodp carries the current date. Its picture follows the clock's start:
// the real date without SOURCE_DATE_EPOCH, that date with it.
TEST_F(FilmClock, DateFieldShowsTheConversionsDate) {
  const std::string deck = FixtureFiles::Converted("timed-show.fodp");
  ASSERT_FALSE(deck.empty());
  const std::time_t today = std::time(nullptr);
  const std::string noonToday = std::to_string(today - today % 86400 + 43200);
  const std::string past = Convert(deck, "past.mp4", "1500000000", "5");  // 2017-07-14
  const std::string pinned = Convert(deck, "pinned.mp4", noonToday, "5");
  const std::string now = Convert(deck, "now.mp4", "", "5");
  ASSERT_FALSE(past.empty() || pinned.empty() || now.empty());
  if (std::time(nullptr) / 86400 != today / 86400) GTEST_SKIP() << "the date changed during the test";

  // The first frame of the date slide (paper background, the date in a blue box) in each video.
  auto dateFrame = [](const std::string& path) {
    const DecodedVideo video = DecodeVideo(path);
    auto at = [](const std::vector<uint8_t>& frame, int x, int y) {
      return &frame[(static_cast<size_t>(y) * DecodedVideo::kWidth + x) * 3];
    };
    for (const auto& frame : video.frames) {
      const uint8_t* paper = at(frame, 2, DecodedVideo::kHeight / 8);
      const uint8_t* box = at(frame, 6, DecodedVideo::kHeight * 4 / 5);
      if (std::abs(paper[0] - 0xf4) < 40 && std::abs(paper[1] - 0xf1) < 40 && std::abs(paper[2] - 0xea) < 40 &&
          box[2] > box[0] + 60)
        return frame;
    }
    return std::vector<uint8_t>();
  };
  const std::vector<uint8_t> a = dateFrame(past), b = dateFrame(pinned), c = dateFrame(now);
  ASSERT_FALSE(a.empty() || b.empty() || c.empty());
  long differ = 0;
  for (size_t i = 0; i < a.size(); ++i) differ += std::abs(a[i] - b[i]);
  EXPECT_GT(differ, 2000) << "the date of 2017 looks like today's";
  long same = 0;
  for (size_t i = 0; i < b.size(); ++i) same += std::abs(b[i] - c[i]);
  EXPECT_LT(same, 200) << "without SOURCE_DATE_EPOCH the date is not today's";
}

}  // namespace
