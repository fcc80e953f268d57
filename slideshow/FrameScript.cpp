#include "FrameScript.h"

QWebEngineScript FrameScript(const QString& name, const QString& source) {
  QWebEngineScript script;
  script.setName(name);
  script.setInjectionPoint(QWebEngineScript::DocumentCreation);
  script.setWorldId(QWebEngineScript::MainWorld);
  script.setRunsOnSubFrames(true);
  script.setSourceCode(source);
  return script;
}
