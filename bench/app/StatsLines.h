// Reading what `kavreto convert --stats` prints: the whole of a pipe, and its "name: value"
// lines. Shared by the app benchmarks. Threads: pure functions, any thread.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <map>
#include <sstream>
#include <string>

// Everything `fd` gives until its end.
inline std::string ReadToEnd(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  return text;
}

// Every "name: value" line, by name; a later line of the same name replaces an earlier one.
inline std::map<std::string, double> StatsLines(const std::string& text) {
  std::map<std::string, double> stats;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const size_t colon = line.rfind(": ");
    if (colon != std::string::npos) stats[line.substr(0, colon)] = std::atof(line.c_str() + colon + 2);
  }
  return stats;
}
