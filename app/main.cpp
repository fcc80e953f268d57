// kavreto: the dialog, or `kavreto convert ...` without a display.
#include <QApplication>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <QLoggingCategory>
#include <cstdio>
#include <string>
#include <vector>

#include "BatchCommand.h"
#include "BatchOptions.h"
#include "BrowserEnvironment.h"
#include "CConverterApp.h"
#include "FfmpegLog.h"
#include "UiLanguage.h"

namespace {

QtMessageHandler gQtHandler = nullptr;

// Two warnings that every run without a desktop session gets and that say
// nothing about the conversion; everything else goes to Qt's own handler.
void QuietBatchMessages(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtWarningMsg && (message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")) ||
                               message.startsWith(QLatin1String("No suitable graphics backend found")))) {
    return;
  }
  gQtHandler(type, context, message);
}

}  // namespace

int main(int argc, char** argv) {
  const BatchOptions options = BatchOptions::parse(std::vector<std::string>(argv + 1, argv + argc));
  switch (options.action) {
    case BatchOptions::Action::Help:
      std::fputs(BatchOptions::usage().c_str(), stdout);
      return 0;
    case BatchOptions::Action::Version:
      std::printf("kavreto %s\n", KAVRETO_VERSION);
      return 0;
    case BatchOptions::Action::Error:
      std::fprintf(stderr, "kavreto: %s\n", options.error.c_str());
      if (options.errorWantsUsage) {
        std::fputs(BatchOptions::usage().c_str(), stderr);
      } else {
        std::fputs("Try 'kavreto --help' for more information.\n", stderr);
      }
      return 2;
    case BatchOptions::Action::RunDialog:
    case BatchOptions::Action::Convert:
      break;
  }
  const bool batch = options.action == BatchOptions::Action::Convert;
  if (!options.openPath.empty() && !QFileInfo(QString::fromLocal8Bit(options.openPath.c_str())).isFile()) {
    // Not a file to open: a mistyped command as often as a missing file.
    std::fprintf(stderr, "kavreto: %s: no such file, and no command of that name\n%s", options.openPath.c_str(),
                 BatchOptions::usage().c_str());
    return 2;
  }
  if (!batch && qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
      qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    // The dialog would run where nobody can see it.
    std::fprintf(stderr, "kavreto: no display for the dialog; without one use `kavreto convert`\n%s",
                 BatchOptions::usage().c_str());
    return 2;
  }
  PrepareBrowserEnvironment(/*offscreen=*/batch, /*unpacedFrames=*/batch && !options.realtime);
  // FFmpeg's and the encoder's informational output only with --verbose.
  FfmpegLog::Install(options.verbose);
  // The browser engine's start-up report is noise on the command's progress output.
  if (batch && !options.verbose) {
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    gQtHandler = qInstallMessageHandler(QuietBatchMessages);
  }
  int qtArgc = 1;  // the command line is ours, not Qt's
  QApplication app(qtArgc, argv);
  QApplication::setApplicationName(QStringLiteral("kavreto"));
  QApplication::setApplicationVersion(QStringLiteral(KAVRETO_VERSION));
  UiLanguage::Install(QProcessEnvironment::systemEnvironment());
  if (batch) {
    BatchCommand command(options);
    return command.run();
  }
  return CConverterApp().InitInstance(QString::fromLocal8Bit(options.openPath.c_str()));
}
