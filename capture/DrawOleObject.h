#pragma once
// Paints the current picture of a browser's document into the capture surface: the picture
// of the view that shows `document`, at the view's own pixel size, from the top-left corner,
// clipped at the surface's edges, in the frame format (blue-green-red, bottom row first).
// Pixels the picture does not cover keep what they held.
//
// Returns false, leaving the surface untouched, when the document is null, no view shows it,
// the view has no area, the surface does not exist or the picture cannot be taken.
//
// Threads: UI thread only (the browser belongs to it).

#include <cstdint>

class CaptureSurface;
class QImage;
class QWebEnginePage;

bool DrawOleObject(QWebEnginePage* document, CaptureSurface& surface);

// The conversion step on its own: writes `image` into the surface as above. Exposed for the
// benchmark and the tests. False when the image is null or the surface does not exist.
bool DrawImageIntoSurface(const QImage& image, CaptureSurface& surface);
