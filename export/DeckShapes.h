#pragma once
// Walks every shape on a presentation's slides and master pages, with its page numbered as
// ShowPages numbers the exported show's: what the readers of what the export drops go over.
//
// Threads: the thread that uses the office connection.

#include <com/sun/star/drawing/XShape.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <functional>

class DeckShapes {
 public:
  // `page`: the slide's index from 0, or ShowPages::kMaster.
  using Visit = std::function<void(const css::uno::Reference<css::drawing::XShape>& shape, int page)>;

  // Calls `visit` for each shape, slides first; a shape whose visit throws a UNO exception
  // is passed over. False when the document's pages cannot be read (what was visited may then
  // be incomplete).
  static bool ForEach(const css::uno::Reference<css::lang::XComponent>& document, const Visit& visit);
};
