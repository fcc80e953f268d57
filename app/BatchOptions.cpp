#include "BatchOptions.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

bool ParseInt(const std::string& text, int low, int high, int& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < low || v > high) return false;
  value = static_cast<int>(v);
  return true;
}

BatchOptions Fail(std::string message) {
  BatchOptions o;
  o.action = BatchOptions::Action::Error;
  o.error = std::move(message);
  return o;
}

}  // namespace

std::string BatchOptions::usage() {
  return "usage: kavreto                     start the dialog\n"
         "       kavreto convert INPUT OUTPUT [--size 720x540|640x480|352x288]\n"
         "                       [--fps 1-30] [--quality 1-100] [--timeout SECONDS]\n"
         "       kavreto --help | --version\n"
         "\n"
         "convert turns a presentation (any file LibreOffice opens: .ppt, .pptx, .odp, ...)\n"
         "into a video without a display. The output's extension picks the container:\n"
         ".flv .swf .wmv .mp4, and at 352x288 with 25 fps also .mpg .mov.\n"
         "Defaults: --size 352x288 --fps 25 --quality 10 (200 kbps), no timeout.\n"
         "Exit status: 0 when the show reached its end; 1 on a failure; 2 on bad\n"
         "arguments; 3 when stopped by Ctrl-C, SIGTERM or --timeout (the file is complete).\n";
}

BatchOptions BatchOptions::parse(const std::vector<std::string>& args) {
  BatchOptions o;
  if (args.empty()) return o;
  if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
    o.action = Action::Help;
    return o;
  }
  if (args[0] == "--version") {
    o.action = Action::Version;
    return o;
  }
  if (args[0] != "convert") return Fail("unknown command: " + args[0]);
  o.action = Action::Convert;
  std::vector<std::string> positional;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= args.size()) return false;
      out = args[++i];
      return true;
    };
    std::string v;
    if (a == "--help" || a == "-h") {
      o.action = Action::Help;
      return o;
    } else if (a == "--size") {
      if (!value(v)) return Fail("--size needs a value");
      if (v == "720x540") {
        o.width = 720, o.height = 540;
      } else if (v == "640x480") {
        o.width = 640, o.height = 480;
      } else if (v == "352x288") {
        o.width = 352, o.height = 288;
      } else {
        return Fail("--size must be 720x540, 640x480 or 352x288, not " + v);
      }
    } else if (a == "--fps") {
      if (!value(v) || !ParseInt(v, 1, 30, o.fps)) return Fail("--fps must be a whole number from 1 to 30");
    } else if (a == "--quality") {
      if (!value(v) || !ParseInt(v, 1, 100, o.quality)) return Fail("--quality must be a whole number from 1 to 100");
    } else if (a == "--timeout") {
      char* end = nullptr;
      if (!value(v)) return Fail("--timeout needs a value");
      o.timeoutSeconds = std::strtod(v.c_str(), &end);
      if (end == v.c_str() || *end != '\0' || !std::isfinite(o.timeoutSeconds) || o.timeoutSeconds <= 0) {
        return Fail("--timeout must be a positive number of seconds");
      }
    } else if (a == "--stats") {
      o.printStats = true;
    } else if (a.size() > 1 && a[0] == '-' && a != "-") {
      return Fail("unknown option: " + a);
    } else {
      positional.push_back(a);
    }
  }
  if (positional.size() != 2) return Fail("convert needs INPUT and OUTPUT");
  o.input = positional[0];
  o.output = positional[1];
  return o;
}
