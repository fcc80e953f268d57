#include "BatchPrompts.h"

#include <unistd.h>

#include <cstdio>

QString BatchPrompts::openFileName(const QString& /*filter*/) { return {}; }

QString BatchPrompts::saveFileName(const QString& /*filter*/, const QString& /*defaultSuffix*/) { return {}; }

void BatchPrompts::messageBox(const QString& text) {
  messages_ << text;
  // On a terminal the message replaces the progress bar's line.
  std::fprintf(stderr, isatty(2) ? "\r\033[K%s\n" : "%s\n", text.toUtf8().constData());
  std::fflush(stderr);
}
