#pragma once
// The texts that the player (C++) and the show's pages (JavaScript) must agree on, defined
// once. The page files under this directory name them as @kName@; the build replaces each
// with the text below when it embeds the files (EmbedPageFiles.cmake), so every text is
// written here only. Keep each one a plain string literal on one line whose escapes mean
// the same in C++ and in JavaScript (\x01 does).
//
// Threads: constants, any thread.

namespace PageTexts {

// Starts every console message that carries a `window.status` assignment.
constexpr char kStatusMarker[] = "\x01kavreto.status\x01";
// The page-number answer: the title "PAGE:" followed by the slide number.
constexpr char kPageTitlePrefix[] = "PAGE:";
// The title that marks the real end of the show (after the last shown slide).
constexpr char kEndTitle[] = "Endppt";
// The title that marks a show that could not be played to its end; a reason code follows
// ("engine" or "ended:" slide ":" count).
constexpr char kFailedTitlePrefix[] = "KAVRETO-FAILED:";
// The name of the film clock object in the top-level window of the slide-show page.
constexpr char kClockGlobal[] = "__kavretoClock";

}  // namespace PageTexts
