// Every slide as the office draws it: decks filmed with the batch command are compared with
// the office's own picture of each shown slide (SSIM in grey at 240 x 180, the best settled
// picture of the film for each slide). A slide below the floor gets a side-by-side picture
// (office left, film right) in the case's output folder, named in the failure.
// Label "fidelity": `ctest -L fidelity`.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "AppTestSupport.h"
#include "FidelityCheck.h"
#include "FixtureFiles.h"

namespace fs = std::filesystem;

namespace {

const std::string kCorpus = KAVRETO_SOURCE_DIR "/../shared/corpus/";
constexpr double kFixtureFloor = 0.95;
constexpr double kCorpusFloor = 0.90;
constexpr int kFilmLimitMs = 1200000;

// Decks whose slides the corpus check knows it does not match yet, with what differs (seen in
// the side-by-side pictures). Their slides below the floor are reported, not failed, so the
// gaps stay visible until they are closed.
const std::map<std::string, std::string> kKnownGaps = {
    {"poi__41246-2.ppt",
     "slides 2, 7, 10, 11 (0.849-0.890): the frame's thin gradient bars on the black slide drawn half a pixel "
     "off and softer"},
    {"poi__45541_Header.pptx", "slide 5: gradient background drawn in other steps"},
    {"poi__60810.pptx", "slides 11, 25: the card photos scaled down softer than the office scales them"},
    {"poi__aascu.org_workarea_downloadasset.aspx_id=5864.pptx",
     "slide 7: a chart's 3-D floor and walls missing; slide 23: table cell fills differ"},
    {"poi__au.asn.aes.www_conferences_2011_presentations_Fri_20Room4Level4_20930_20Maloney.pptx",
     "slides 8, 20, 24 (0.886-0.896): tables of many small lines, their text and borders drawn a shade "
     "differently"},
    {"poi__br.com.tvcamboriu.www_pps_Pensar_5b1_5d.ppt", "slide 2: the clip art's frame shaded lighter"},
};

// Of a deck with more shown slides, the corpus check looks at this many, spread evenly from
// the first to the last (the film holds them all); KAVRETO_FIDELITY_ALL_SLIDES=1 checks every
// slide.
constexpr size_t kSlidesPerDeck = 12;

std::string OutputDir(const std::string& name) {
  const std::string dir = std::string(KAVRETO_BINARY_DIR) + "/tests/fidelity/output/" + name;
  std::error_code ec;
  fs::remove_all(dir, ec);
  fs::create_directories(dir, ec);
  return dir;
}

std::string BaseName(const std::string& path) { return fs::path(path).stem().string(); }

// Films every input into `dir`/<base name>.mp4 in one batch run (one warm office): the deck's
// own aspect ratio at 240 rows, 4 frames a second, half a second of stillness before each
// step, a bit rate high enough that the encoder changes little.
void Film(const std::vector<std::string>& inputs, const std::string& dir, const std::vector<std::string>& env) {
  std::vector<std::string> args = {KavretoProgram(), "convert"};
  args.insert(args.end(), inputs.begin(), inputs.end());
  for (const char* a : {"--output-dir", "", "--format", "mp4", "--size", "auto", "--height", "240", "--fps", "4",
                        "--hold", "0.5", "--kbps", "3000"})
    args.push_back(*a ? a : dir);
  TempDir cache, tmp, runtime;
  std::vector<std::string> environment = {"XDG_CACHE_HOME=" + cache.path(), "TMPDIR=" + tmp.path(),
                                          "XDG_RUNTIME_DIR=" + runtime.path()};
  // The film is made in the locale the office draws its own pictures in here (this process's):
  // the locale picks the fonts that stand in for missing ones, and the date's form.
  const char* lang = std::getenv("LANG");
  environment.push_back(std::string("LANG=") + (lang != nullptr && *lang != '\0' ? lang : "C.UTF-8"));
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANGUAGE"})
    if (const char* value = std::getenv(name)) environment.push_back(std::string(name) + "=" + value);
  environment.insert(environment.end(), env.begin(), env.end());
  ChildProcess kavreto(args, environment);
  const int status = kavreto.wait(kFilmLimitMs);
  EXPECT_TRUE(status == 0 || status == 1) << kavreto.stderrText();  // 1: some deck failed, told below
}

struct DeckResult {
  std::string error;                          // why the deck could not be checked
  std::vector<FidelityCheck::SlideMatch> slides;
  std::vector<GreyPicture> film;
};

// Compares the film of `deck` in `dir` with the office's pictures; side-by-side pictures of
// the slides below `floor` go to `dir`/<base>-slide-N.png.
DeckResult Check(OfficeSlidePictures& office, const std::string& deck, const std::string& dir, double floor,
                 size_t mostSlides = 0) {
  DeckResult result;
  const std::string video = dir + "/" + BaseName(deck) + ".mp4";
  const VideoStreamInfo size = ProbeVideo(video);
  if (size.width == 0) {
    result.error = "no film";
    return result;
  }
  const std::string pictures = dir + "/" + BaseName(deck) + "-office";
  fs::create_directories(pictures);
  std::vector<OfficeSlidePictures::Slide> slides = office.render(deck, pictures, size.width, size.height, result.error);
  if (slides.empty()) return result;
  std::vector<size_t> shown;
  for (size_t i = 0; i < slides.size(); ++i)
    if (slides[i].shown) shown.push_back(i);
  if (mostSlides > 1 && shown.size() > mostSlides) {
    for (size_t i : shown) slides[i].shown = false;
    for (size_t k = 0; k < mostSlides; ++k) slides[shown[k * (shown.size() - 1) / (mostSlides - 1)]].shown = true;
  }
  result.film = GreyPicture::Read(video);
  result.slides = FidelityCheck::Match(result.film, slides);
  if (result.slides.empty()) result.error = "pictures not readable";
  for (const FidelityCheck::SlideMatch& m : result.slides)
    if (m.ssim < floor && m.frame >= 0)
      FidelityCheck::SideBySide(m.office, video, m.frame,
                                dir + "/" + BaseName(deck) + "-slide-" + std::to_string(m.slide) + ".png");
  return result;
}

std::string SideBySideName(const std::string& dir, const std::string& deck, int slide) {
  return dir + "/" + BaseName(deck) + "-slide-" + std::to_string(slide) + ".png";
}

// Within a rectangle given in fractions of the picture: the mean grey difference of two
// pictures, or (b empty) how much ink one holds, the mean darkness on a light slide.
double Region(const GreyPicture& a, const GreyPicture* b, double x0, double y0, double x1, double y1) {
  const int left = int(x0 * GreyPicture::kWidth), right = int(x1 * GreyPicture::kWidth);
  const int top = int(y0 * GreyPicture::kHeight), bottom = int(y1 * GreyPicture::kHeight);
  long total = 0;
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) {
      const size_t i = size_t(y) * GreyPicture::kWidth + x;
      total += b != nullptr ? std::abs(int(a.pixels[i]) - int(b->pixels[i])) : 255 - int(a.pixels[i]);
    }
  return double(total) / double((right - left) * (bottom - top));
}

// The master's slide number, variable date and footer on each shown slide (the hidden slide
// 2 still counts: slide 3 shows "3"), the slide number in an ordinary text box of the
// master and a variable date in a slide's own text box. Each field's place at the foot of the slide holds as
// much ink as the office's picture has there (a missing field barely moves the whole
// picture's figure). Under SOURCE_DATE_EPOCH the date is that day's: of a film dated 2017
// only the date differs.
TEST(Fidelity, MasterFieldsOnEveryShownSlide) {
  // As an OpenDocument file: the office keeps a slide's variable date field there (its .ppt
  // writer makes it plain text).
  const std::string deck = FixtureFiles::Converted("master-fields.fodp", "odp");
  ASSERT_FALSE(deck.empty());
  const std::string dir = OutputDir("master-fields");
  const std::string today = dir + "/today", past = dir + "/2017";
  fs::create_directories(today);
  fs::create_directories(past);
  Film({deck}, today, {"SOURCE_DATE_EPOCH=" + std::to_string(std::time(nullptr))});
  Film({deck}, past, {"SOURCE_DATE_EPOCH=1500000000"});  // 14 July 2017

  OfficeSlidePictures office;
  const DeckResult now = Check(office, deck, today, kFixtureFloor);
  ASSERT_EQ(now.error, "");
  ASSERT_EQ(now.slides.size(), 2u);  // slides 1 and 3
  EXPECT_EQ(now.slides[0].slide, 1);
  EXPECT_EQ(now.slides[1].slide, 3);
  const std::vector<GreyPicture> old = GreyPicture::Read(past + "/" + BaseName(deck) + ".mp4");
  ASSERT_EQ(old.size(), now.film.size());
  const struct {
    const char* name;
    double x0, x1;
  } kFields[] = {{"date", 0, 0.36}, {"footer", 0.37, 0.78}, {"slide number", 0.78, 1}};
  for (const FidelityCheck::SlideMatch& m : now.slides) {
    const GreyPicture drawn = GreyPicture::Read(m.office).at(0);
    const GreyPicture& filmed = now.film.at(m.frame);
    FidelityCheck::SideBySide(m.office, today + "/" + BaseName(deck) + ".mp4", m.frame,
                              SideBySideName(today, deck, m.slide));
    const std::string look = " (see " + SideBySideName(today, deck, m.slide) + ")";
    EXPECT_GE(m.ssim, kFixtureFloor) << "slide " << m.slide << look;
    for (const auto& field : kFields) {
      const double want = Region(drawn, nullptr, field.x0, 0.85, field.x1, 1);
      const double got = Region(filmed, nullptr, field.x0, 0.85, field.x1, 1);
      ASSERT_GT(want, 2.0) << "the office draws no " << field.name;
      EXPECT_NEAR(got, want, 0.2 * want) << field.name << " on slide " << m.slide << look;
    }
    // The slide number in the master's ordinary text box at the top right.
    const double want = Region(drawn, nullptr, 0.55, 0, 1, 0.15), got = Region(filmed, nullptr, 0.55, 0, 1, 0.15);
    ASSERT_GT(want, 2.0) << "the office draws no page number at the top";
    EXPECT_NEAR(got, want, 0.2 * want) << "page number at the top of slide " << m.slide << look;
    // The variable date in the slide's own text box: the office's, and that day's in 2017.
    const double made = Region(drawn, nullptr, 0.04, 0.52, 0.5, 0.64);
    ASSERT_GT(made, 2.0) << "the office draws no date in the slide's text box";
    EXPECT_NEAR(Region(filmed, nullptr, 0.04, 0.52, 0.5, 0.64), made, 0.2 * made) << "slide " << m.slide << look;
    EXPECT_GT(Region(filmed, &old.at(m.frame), 0.04, 0.52, 0.5, 0.64), 3.0) << "slide " << m.slide;
    // The film of 2017: the date (left third of the foot) differs, number and footer do not.
    EXPECT_GT(Region(filmed, &old.at(m.frame), 0, 0.85, 0.36, 1), 3.0) << "slide " << m.slide;
    EXPECT_LT(Region(filmed, &old.at(m.frame), 0.4, 0.85, 1, 1), 0.5) << "slide " << m.slide;
  }
  // Each slide its own number at the top: "Page 1" and "Page 3" differ.
  EXPECT_GT(Region(now.film.at(now.slides[0].frame), &now.film.at(now.slides[1].frame), 0.55, 0, 1, 0.15), 0.25);
}

// What the office draws beyond plain fills and text, one effect a slide (see effects.fodp):
// text shadow, half-transparent picture, transparency gradient, glow, soft edge, shape shadow,
// justified paragraphs, a picture's soft edge and glow, and gradients of partial transparency.
// Every slide's side-by-side picture is written, for a person to look at.
TEST(Fidelity, EffectsAsTheOfficeDrawsThem) {
  const std::string deck = FixtureFiles::Converted("effects.fodp", "odp");
  ASSERT_FALSE(deck.empty());
  const std::string dir = OutputDir("effects");
  Film({deck}, dir, {});
  OfficeSlidePictures office;
  const DeckResult result = Check(office, deck, dir, kFixtureFloor);
  ASSERT_EQ(result.error, "");
  ASSERT_EQ(result.slides.size(), 10u);
  const char* const kEffects[] = {"text shadow", "half-transparent picture", "transparency gradient",
                                  "glow", "soft edge", "shape shadow", "justified paragraphs",
                                  "picture with soft edges", "picture with a glow",
                                  "partial transparency gradients"};
  for (const FidelityCheck::SlideMatch& m : result.slides) {
    std::printf("fidelity effects slide %d (%s): %.3f\n", m.slide, kEffects[m.slide - 1], m.ssim);
    FidelityCheck::SideBySide(m.office, dir + "/" + BaseName(deck) + ".mp4", m.frame, SideBySideName(dir, deck, m.slide));
    EXPECT_GE(m.ssim, kFixtureFloor) << kEffects[m.slide - 1] << " (see " << SideBySideName(dir, deck, m.slide) << ")";
    // A shape paler or darker all over barely moves SSIM: the greys themselves must agree.
    const double off = Region(GreyPicture::Read(m.office).at(0), &result.film.at(m.frame), 0.05, 0.2, 0.95, 0.8);
    std::printf("fidelity effects slide %d mean grey difference: %.2f\n", m.slide, off);
    EXPECT_LT(off, 5.0) << kEffects[m.slide - 1];
  }
}

// Every corpus deck (.ppt and .pptx) the office opens, filmed in one batch run: each shown
// slide matches the office's picture at kCorpusFloor or better. Prints each deck's worst slide
// and, as the benchmark line, the worst of all.
TEST(Fidelity, CorpusDecksAsTheOfficeDrawsThem) {
  std::vector<std::string> decks;
  for (const char* folder : {"ppt", "pptx"}) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(kCorpus + folder, ec))
      if (entry.path().extension() == ".ppt" || entry.path().extension() == ".pptx")
        decks.push_back(entry.path().string());
  }
  if (decks.empty()) GTEST_SKIP() << "no corpus at " << kCorpus;
  std::sort(decks.begin(), decks.end());
  // KAVRETO_FIDELITY_DECKS=a,b checks only the decks whose file names hold one of the parts.
  if (const char* only = std::getenv("KAVRETO_FIDELITY_DECKS"); only != nullptr && *only != '\0') {
    std::vector<std::string> parts;
    std::stringstream list(only);
    for (std::string part; std::getline(list, part, ',');)
      if (!part.empty()) parts.push_back(part);
    std::erase_if(decks, [&](const std::string& deck) {
      const std::string name = fs::path(deck).filename().string();
      return std::none_of(parts.begin(), parts.end(),
                          [&](const std::string& part) { return name.find(part) != std::string::npos; });
    });
  }
  const std::string dir = OutputDir("corpus");
  Film(decks, dir, {});

  OfficeSlidePictures office;
  double worst = 2;
  std::string worstDeck;
  int worstSlide = 0;
  for (const std::string& deck : decks) {
    const std::string name = fs::path(deck).filename().string();
    const auto started = std::chrono::steady_clock::now();
    const char* all = std::getenv("KAVRETO_FIDELITY_ALL_SLIDES");
    const DeckResult result =
        Check(office, deck, dir, kCorpusFloor, all != nullptr && std::string(all) == "1" ? 0 : kSlidesPerDeck);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    if (!result.error.empty()) {
      std::printf("fidelity %s: skipped (%s)\n", name.c_str(), result.error.c_str());
      continue;  // a deck the office cannot open (the corpus sweep checks how it fails)
    }
    const FidelityCheck::SlideMatch* low = nullptr;
    for (const FidelityCheck::SlideMatch& m : result.slides) {
      if (low == nullptr || m.ssim < low->ssim) low = &m;
      if (m.ssim < kCorpusFloor && kKnownGaps.count(name) > 0) {
        std::printf("fidelity known gap %s slide %d: %.3f (see %s)\n", name.c_str(), m.slide, m.ssim,
                    SideBySideName(dir, deck, m.slide).c_str());
        continue;
      }
      EXPECT_GE(m.ssim, kCorpusFloor) << name << " slide " << m.slide << " (see "
                                      << SideBySideName(dir, deck, m.slide) << ")";
    }
    if (low == nullptr) continue;
    std::printf("fidelity %s: %zu slides, worst %.3f (slide %d), checked in %.1f s\n", name.c_str(),
                result.slides.size(), low->ssim, low->slide, seconds);
    if (low->ssim < worst) {
      worst = low->ssim;
      worstDeck = name;
      worstSlide = low->slide;
    }
  }
  for (const auto& [known, reason] : kKnownGaps) std::printf("fidelity known gap %s: %s\n", known.c_str(), reason.c_str());
  if (!worstDeck.empty()) std::printf("fidelity worst slide: %.3f (%s, %d)\n", worst, worstDeck.c_str(), worstSlide);
}

}  // namespace
