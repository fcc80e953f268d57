#include "UiLanguage.h"

#include <QCoreApplication>
#include <QProcessEnvironment>
#include <QTranslator>

namespace {

// "zh_CN.UTF-8@variant" -> "zh"
QString LanguageOf(const QString& locale) {
  QString language = locale;
  for (const QChar stop : {QLatin1Char('_'), QLatin1Char('.'), QLatin1Char('@'), QLatin1Char('-')}) {
    const qsizetype at = language.indexOf(stop);
    if (at >= 0) language.truncate(at);
  }
  return language;
}

}  // namespace

QString UiLanguage::Language(const QProcessEnvironment& environment) {
  QString locale;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    locale = environment.value(QString::fromLatin1(name));
    if (!locale.isEmpty()) break;
  }
  const QString language = LanguageOf(locale);
  if (language.isEmpty() || language == QLatin1String("C") || language == QLatin1String("POSIX"))
    return QStringLiteral("C");
  const QString first = environment.value(QStringLiteral("LANGUAGE")).section(QLatin1Char(':'), 0, 0);
  if (!LanguageOf(first).isEmpty()) return LanguageOf(first);
  return language;
}

bool UiLanguage::IsChinese(const QProcessEnvironment& environment) {
  return Language(environment) == QLatin1String("zh");
}

bool UiLanguage::Install(const QProcessEnvironment& environment) {
  static QTranslator* english = nullptr;
  if (english != nullptr) {
    QCoreApplication::removeTranslator(english);
    delete english;
    english = nullptr;
  }
  if (IsChinese(environment)) return true;
  english = new QTranslator;
  if (!english->load(QStringLiteral(":/i18n/kavreto_en.qm")) || !QCoreApplication::installTranslator(english)) {
    delete english;
    english = nullptr;
  }
  return false;
}
