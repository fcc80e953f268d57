#pragma once
// Finds, through the office, every sound and clip of an open presentation while it is
// exported: slide transition sounds ("loop until next sound", "stop previous sound"), sounds
// of effects, and media shapes (audio and video, embedded or linked) with the commands that
// start and stop them (one that no node starts plays from the start of its slide, as the
// office's show plays it), their place among the slide's media shapes (by which the page finds
// it), their loop setting and volume. The result is the show archive's sound
// table (SoundPlan's text, see media/SoundPlan.h) and the clips' bytes, which the archive
// carries as parts.
//
// Where clips come from: embedded media from the copies the office unpacks into its own work
// directory; linked media only from the presentation's own folder (and below it). A clip that
// cannot be found or read, or one from elsewhere, is left out with a warning in plain words
// in the table; the export goes on.
//
// Threads: the thread that holds the office connection, while the document is open.

#include <com/sun/star/lang/XComponent.hpp>
#include <string>
#include <vector>

struct DeckSounds {
  struct Part {
    std::string name;  // inside the archive's folder, e.g. "media/clip0.mp3"
    std::string mimeType;
    std::string bytes;
  };
  std::string table;  // empty: the deck has no sound
  std::vector<Part> clips;
};

// `sourcePath`: the presentation's absolute path; `officeDirectory`: the office's own work
// directory (where it unpacks embedded media). Never throws.
DeckSounds FindDeckSounds(const css::uno::Reference<css::lang::XComponent>& document, const std::string& sourcePath,
                          const std::string& officeDirectory);
