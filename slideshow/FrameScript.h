#pragma once
// A script of the slide-show browser's own, put into every frame of a page (the slide frame
// included) when its document is made, before any of the page's scripts, in the page's own
// JavaScript world so that it sees and changes the page's globals.
//
// Threads: UI thread only.

#include <QString>
#include <QWebEngineScript>

QWebEngineScript FrameScript(const QString& name, const QString& source);
