#include "BatchPrompts.h"

#include <unistd.h>

#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>

QString BatchPrompts::openFileName(const QString& /*filter*/) { return input_; }

QStringList BatchPrompts::filterExtensions(const QString& filter) {
  QStringList extensions;
  static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9]+)"));
  auto it = pattern.globalMatch(filter);
  while (it.hasNext()) extensions << it.next().captured(1).toLower();
  return extensions;
}

QString BatchPrompts::saveFileName(const QString& filter, const QString& /*defaultSuffix*/) {
  const QString suffix = QFileInfo(output_).suffix().toLower();
  const QStringList offered = filterExtensions(filter);
  if (!offered.contains(suffix)) {
    messageBox(QStringLiteral("不支持的输出文件类型“.%1”：这个大小和帧率下可用 %2")
                   .arg(suffix, offered.join(QStringLiteral(", "))));
    return {};
  }
  return output_;
}

void BatchPrompts::messageBox(const QString& text) {
  messages_ << text;
  // On a terminal the message replaces the progress bar's line.
  std::fprintf(stderr, isatty(2) ? "\r\033[K%s\n" : "%s\n", text.toUtf8().constData());
  std::fflush(stderr);
}
