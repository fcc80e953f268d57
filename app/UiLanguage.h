// The language of the dialogs and message boxes. Their source texts are Chinese; every other
// language gets the English translation (res/kavreto_en.ts, compiled into the program).
// The locale is the one gettext would use for messages: LC_ALL, else LC_MESSAGES, else LANG;
// unless it is C or POSIX, LANGUAGE's first entry overrides its language.
//
// Threads: UI thread; Install() before the first dialog is made.
#pragma once

#include <QString>

class QProcessEnvironment;

class UiLanguage {
 public:
  // The language code ("zh", "en", "C", ...) the environment asks for.
  static QString Language(const QProcessEnvironment& environment);
  static bool IsChinese(const QProcessEnvironment& environment);
  // Installs the English translation unless the environment asks for Chinese; a second call
  // replaces the first (tests switch languages). True when the texts are Chinese.
  static bool Install(const QProcessEnvironment& environment);
};
