#pragma once
// Fonts the deck names but the machine lacks. The office then draws the text in the font
// fontconfig offers in their place; the browser instead falls to the next family the
// exported show lists, and for a family the export gives no generic one (script and
// decorative faces: font-family="Script MT Bold") to its default serif. So each font-family
// whose first family is not installed gets the office's stand-in put right after it, before
// any generic family: the film draws the text in the face the office draws it in.
//
// Threads: pure functions, any thread (`standIn` is called on the caller's thread).

#include <functional>
#include <string>

class FontFallbacks {
 public:
  // The family drawn for `family` when it is not installed; empty when it is (or when
  // nothing stands in for it).
  using StandIn = std::function<std::string(const std::string& family)>;

  // `svg` with every font-family attribute's stand-in added. Families of fonts the show
  // carries itself ("… embedded") and generic families are left alone.
  static std::string Apply(const std::string& svg, const StandIn& standIn);
};
