#pragma once
// The office's physics effects (fall, shoot and return...) kept in the exported show. Its SVG
// export leaves their nodes out (nothing of them reaches the show), so before the export each
// one is put in the form of plain animations of the shape's x and y (and its rotation, when
// it turns), the path the shape takes in the office's own show (PhysicsFall.h) sampled over
// the effect's time: they start
// and last as the physics node did, with its fill, and the effect's other parts (a fade, the
// return of "shoot and return") follow them as before.
//
// Threads: the thread that holds the office connection, while the document is open.

#include <com/sun/star/lang/XComponent.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>

class PhysicsEffects {
 public:
  // Replaces every physics node of the document's slides whose target is a shape; returns
  // how many. A node that cannot be replaced stays (and is left out by the export, as
  // before). Never throws.
  static int Replace(const css::uno::Reference<css::lang::XComponent>& document,
                     const css::uno::Reference<css::uno::XComponentContext>& context);
};
