#include "BatchOptions.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QStringList>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <map>

namespace {

namespace P = EncodePresets;

std::string Num(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

// Every option of `convert`: names, value name, help text (with range and default).
struct OptionInfo {
  const char* name;
  const char* valueName;  // null for a switch
  std::string help;
  bool hidden = false;
};

std::vector<OptionInfo> Options() {
  std::string named;
  for (const auto& s : P::kNamedSizes)
    named += std::string(s.name) + " (" + std::to_string(s.width) + "x" + std::to_string(s.height) + "), ";
  std::string dialog;
  for (const auto& s : P::kDialogSizes) dialog += std::string(dialog.empty() ? "" : ", ") + s.name;
  std::string formats;
  for (const std::string& f : BatchOptions::formats()) formats += std::string(formats.empty() ? "" : "|") + f;
  return {
      {"size", "WxH",
       "picture size: WxH with a width that is a multiple of 4 and an even height, from 160x120 to 3840x2160; " +
           named + dialog + "; or auto (the deck's own aspect ratio at --height). Default " +
           std::to_string(P::kDefaultWidth) + "x" + std::to_string(P::kDefaultHeight)},
      {"height", "N",
       "with --size auto: the height, " + std::to_string(P::kMinHeight) + "-" + std::to_string(P::kMaxHeight) +
           ". Default " + std::to_string(P::kDefaultAutoHeight)},
      {"fps", "N",
       "frames per second, " + std::to_string(P::kMinFrameRate) + "-" + std::to_string(P::kMaxFrameRate) +
           ". Default " + std::to_string(P::kDefaultFrameRate)},
      {"quality", "N",
       "the dialog's quality, " + std::to_string(P::kMinQuality) + "-" + std::to_string(P::kMaxQuality) + ": N x " +
           std::to_string(P::kKbpsPerQuality) + " kbps. Default " + std::to_string(P::kDefaultQuality) + " (" +
           std::to_string(P::KbpsFromQuality(P::kDefaultQuality)) + " kbps)"},
      {"kbps", "N",
       "bit rate in kbps (1 kbps = " + std::to_string(P::kBitsPerKbps) + " bits per second), " +
           std::to_string(P::kMinKbps) + "-" + std::to_string(P::kMaxKbps) +
           "; replaces --quality. Default: from --quality"},
      {"hold", "SECONDS",
       "how long a still picture stays before the next step, " + Num(P::kMinHoldSeconds) + "-" +
           Num(P::kMaxHoldSeconds) + ". Default " + Num(P::kDefaultHoldSeconds)},
      {"timings", nullptr, "slides with an automatic timing of their own advance by it. Default off"},
      {"realtime", nullptr, "film at the pace of the clock, as the dialog does. Default off"},
      {"mute", nullptr, "leave the deck's sounds out (no audio stream). Default: a deck with sounds gets them"},
      {"timeout", "SECONDS", "stop the run this long after the command's start, as Ctrl-C does. Default: no limit"},
      {"output-dir", "DIR", "convert every INPUT into DIR/<its base name>.<format>"},
      {"format", "EXT", "with --output-dir: the container, " + formats + ". Default " + BatchOptions::formats()[0]},
      {"progress", "bar|json",
       "bar: a progress bar (lines when not on a terminal) on standard error; json: one JSON object per line "
       "on standard output. Default bar"},
      {"verbose", nullptr,
       "also print FFmpeg's and the encoder's informational output (by default only their warnings and errors)"},
      {"stats", nullptr, "counters for the benchmarks", true},
  };
}

bool ParseInt(const QString& text, int low, int high, int& value) {
  const std::string s = text.toStdString();
  if (s.empty() || s[0] == '+' || s[0] == ' ') return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(s.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  value = static_cast<int>(v);
  return true;
}

bool ParseSeconds(const QString& text, double& value) {
  const std::string s = text.toStdString();
  char* end = nullptr;
  value = std::strtod(s.c_str(), &end);
  return !s.empty() && end != s.c_str() && *end == '\0' && std::isfinite(value);
}

BatchOptions Fail(std::string message, bool wantsUsage = false) {
  BatchOptions o;
  o.action = BatchOptions::Action::Error;
  o.error = std::move(message);
  o.errorWantsUsage = wantsUsage;
  return o;
}

// Reads --size; an empty result when it is fine.
std::string ParseSize(const std::string& v, BatchOptions& o) {
  if (v == "auto") {
    o.autoHeight = P::kDefaultAutoHeight;
    return {};
  }
  for (const auto& s : P::kNamedSizes) {
    if (v == s.name) {
      o.width = s.width, o.height = s.height;
      return {};
    }
  }
  const size_t x = v.find('x');
  const std::string w = x == std::string::npos ? "" : v.substr(0, x), h = x == std::string::npos ? "" : v.substr(x + 1);
  const bool digits = !w.empty() && !h.empty() && w.find_first_not_of("0123456789") == std::string::npos &&
                      h.find_first_not_of("0123456789") == std::string::npos && w.size() <= 6 && h.size() <= 6;
  if (!digits) return "--size must be WxH (such as 1280x720), 720p, 1080p, 4k or auto, not " + v;
  const int width = std::atoi(w.c_str());
  const int height = std::atoi(h.c_str());
  const std::string problem = P::SizeProblem(width, height);
  if (!problem.empty()) return "--size " + v + ": " + problem;
  o.width = width, o.height = height;
  return {};
}

}  // namespace

const std::vector<std::string>& BatchOptions::formats() {
  static const std::vector<std::string> list = {"mp4", "flv", "swf", "wmv", "mov", "mpg"};
  return list;
}

std::string BatchOptions::sizeText() const {
  if (autoHeight > 0) return "auto (height " + std::to_string(autoHeight) + ")";
  return std::to_string(width) + "x" + std::to_string(height);
}

std::string BatchOptions::usage() {
  std::string text =
      "usage: kavreto [FILE]                           the dialog, with FILE chosen\n"
      "       kavreto convert INPUT OUTPUT [options]\n"
      "       kavreto convert INPUT... --output-dir DIR [--format EXT] [options]\n"
      "       kavreto --help | --version\n"
      "\n"
      "convert turns presentations (any file LibreOffice opens: .ppt, .pptx, .odp, ...)\n"
      "into videos without a display. OUTPUT's extension picks the container:\n"
      ".flv .swf .wmv .mp4, and at 352x288 with 25 fps also .mpg .mov. With --output-dir\n"
      "the files are converted one after another with one office kept running; a file\n"
      "that fails does not stop the others.\n"
      "\n"
      "kavreto FILE starts the dialog with FILE chosen, as its Open File button would;\n"
      "a presentation dropped on the dialog is chosen the same way. The dialog's texts\n"
      "are Chinese in Chinese locales and English in others (LC_ALL, LC_MESSAGES, LANG,\n"
      "LANGUAGE). FFmpeg's and the encoder's informational output shows with --verbose.\n"
      "\n"
      "options (each value follows its option after a space or an equals sign):\n";
  for (const OptionInfo& entry : Options()) {
    if (entry.hidden) continue;
    std::string left = std::string("  --") + entry.name + (entry.valueName ? std::string(" ") + entry.valueName : "");
    if (left.size() < 24) left.append(24 - left.size(), ' ');
    // Wrap the help text at about 80 columns.
    std::string line = left;
    size_t column = line.size();
    size_t at = 0;
    const std::string& help = entry.help;
    while (at < help.size()) {
      size_t space = help.find(' ', at);
      if (space == std::string::npos) space = help.size();
      const std::string word = help.substr(at, space - at);
      if (column + word.size() + 1 > 80 && column > 24) {
        text += line + "\n";
        line = std::string(24, ' ');
        column = 24;
      }
      if (column > 24) {
        line += ' ';
        ++column;
      }
      line += word;
      column += word.size();
      at = space + 1;
    }
    text += line + "\n";
  }
  text +=
      "  -h, --help            this text\n"
      "  --version             the program's version\n"
      "\n"
      "Exit status: 0 when every show reached its end; 1 when a file failed; 2 on bad\n"
      "arguments or settings a container cannot carry (nothing is converted); 3 when\n"
      "stopped by Ctrl-C, SIGTERM or --timeout (the current file is complete, no further\n"
      "file is started).\n";
  return text;
}

BatchOptions BatchOptions::parse(const std::vector<std::string>& args) {
  BatchOptions o;
  if (args.empty()) return o;

  QCommandLineParser parser;
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsCompactedShortOptions);
  parser.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsOptions);
  const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
  const QCommandLineOption version(QStringLiteral("version"));
  parser.addOption(help);
  parser.addOption(version);
  for (const OptionInfo& entry : Options()) {
    QCommandLineOption option(QString::fromLatin1(entry.name), QString::fromStdString(entry.help));
    if (entry.valueName != nullptr) option.setValueName(QString::fromLatin1(entry.valueName));
    parser.addOption(option);
  }
  QStringList arguments{QStringLiteral("kavreto")};
  for (const std::string& a : args) arguments << QString::fromLocal8Bit(a.c_str());
  if (!parser.parse(arguments)) return Fail(parser.errorText().toStdString(), true);

  const QStringList positional = parser.positionalArguments();
  if (parser.isSet(help)) {
    o.action = Action::Help;
    return o;
  }
  if (parser.isSet(version)) {
    o.action = Action::Version;
    return o;
  }
  if (positional.isEmpty()) return Fail("options need the command: kavreto convert ...", true);
  if (positional[0] == QLatin1String("help")) {
    o.action = Action::Help;
    return o;
  }
  if (positional[0] != QLatin1String("convert")) {
    // `kavreto FILE` (how a file manager opens a file with the program): the dialog.
    if (positional.size() == 1 && parser.optionNames().isEmpty()) {
      o.openPath = positional[0].toLocal8Bit().toStdString();
      return o;
    }
    return Fail("unknown command: " + positional[0].toStdString(), true);
  }
  o.action = Action::Convert;
  auto value = [&](const char* name) { return parser.value(QString::fromLatin1(name)); };
  auto isSet = [&](const char* name) { return parser.isSet(QString::fromLatin1(name)); };

  if (isSet("size")) {
    const std::string problem = ParseSize(value("size").toStdString(), o);
    if (!problem.empty()) return Fail(problem);
  }
  if (isSet("height")) {
    if (o.autoHeight == 0) return Fail("--height goes with --size auto");
    if (!ParseInt(value("height"), P::kMinHeight, P::kMaxHeight, o.autoHeight)) {
      return Fail("--height must be a whole number from " + std::to_string(P::kMinHeight) + " to " +
                  std::to_string(P::kMaxHeight));
    }
  }
  if (isSet("fps") && !ParseInt(value("fps"), P::kMinFrameRate, P::kMaxFrameRate, o.fps)) {
    return Fail("--fps must be a whole number from " + std::to_string(P::kMinFrameRate) + " to " +
                std::to_string(P::kMaxFrameRate));
  }
  if (isSet("quality") && !ParseInt(value("quality"), P::kMinQuality, P::kMaxQuality, o.quality)) {
    return Fail("--quality must be a whole number from " + std::to_string(P::kMinQuality) + " to " +
                std::to_string(P::kMaxQuality));
  }
  if (isSet("kbps") && !ParseInt(value("kbps"), P::kMinKbps, P::kMaxKbps, o.kbps)) {
    return Fail("--kbps must be a whole number from " + std::to_string(P::kMinKbps) + " to " +
                std::to_string(P::kMaxKbps));
  }
  if (isSet("hold")) {
    if (!ParseSeconds(value("hold"), o.holdSeconds) || o.holdSeconds < P::kMinHoldSeconds ||
        o.holdSeconds > P::kMaxHoldSeconds) {
      return Fail("--hold must be a number of seconds from " + Num(P::kMinHoldSeconds) + " to " +
                  Num(P::kMaxHoldSeconds));
    }
  }
  o.useTimings = isSet("timings");
  o.realtime = isSet("realtime");
  o.mute = isSet("mute");
  if (isSet("timeout") && (!ParseSeconds(value("timeout"), o.timeoutSeconds) || o.timeoutSeconds <= 0)) {
    return Fail("--timeout must be a positive number of seconds");
  }
  if (isSet("progress")) {
    const QString p = value("progress");
    if (p == QLatin1String("json")) {
      o.progress = Progress::Json;
    } else if (p != QLatin1String("bar")) {
      return Fail("--progress must be bar or json, not " + p.toStdString());
    }
  }
  o.printStats = isSet("stats");
  o.verbose = isSet("verbose");

  const QStringList files = positional.mid(1);
  if (isSet("output-dir")) {
    o.outputDir = value("output-dir").toStdString();
    if (o.outputDir.empty()) return Fail("--output-dir needs a directory");
    if (isSet("format")) {
      o.format = value("format").toLower().toStdString();
      bool known = false;
      for (const std::string& f : formats()) known = known || f == o.format;
      if (!known) return Fail("--format must be one of mp4, flv, swf, wmv, mov, mpg, not " + o.format);
    }
    if (files.isEmpty()) return Fail("convert --output-dir needs at least one INPUT", true);
    // Every input becomes DIR/<base name>.<format>; two that would share a name are refused.
    std::map<std::string, std::string> byOutput;
    const std::filesystem::path dir(o.outputDir);
    for (const QString& file : files) {
      const std::string input = file.toLocal8Bit().toStdString();
      const std::filesystem::path name = std::filesystem::path(input).filename();
      std::string base = name.stem().string();
      if (base.empty() || base == "." || base == "..") return Fail("not a presentation file name: " + input);
      const std::string output = (dir / (base + "." + o.format)).string();
      const auto [it, inserted] = byOutput.emplace(output, input);
      if (!inserted) {
        return Fail("two inputs would be written to the same file " + output + ": " + it->second + " and " + input);
      }
      o.jobs.push_back({input, output});
    }
  } else {
    if (isSet("format")) return Fail("--format goes with --output-dir (otherwise OUTPUT's extension picks it)");
    if (files.size() != 2) {
      return Fail("convert needs INPUT and OUTPUT, or INPUT... with --output-dir DIR", true);
    }
    o.jobs.push_back({files[0].toLocal8Bit().toStdString(), files[1].toLocal8Bit().toStdString()});
  }
  return o;
}
