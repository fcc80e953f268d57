#pragma once
// Writes MHTML archives for the tests: the parts, base64 or quoted-printable, and the
// show-page archive that plays three slides of distinct colours, the second with three
// animation steps, with the page interface the slide-show window drives.
#include <string>
#include <vector>

#include "ScratchDirectory.h"

struct TestPart {
  std::string location;  // Content-Location
  std::string type;      // Content-Type
  std::string body;
  bool base64 = true;  // else quoted-printable
};

std::string EncodeBase64(const std::string& data);
std::string EncodeQuotedPrintable(const std::string& data);
std::string MakeMhtml(const std::vector<TestPart>& parts, const std::string& boundary = "----=_KavretoTestPart_0042");
bool WriteFile(const std::string& path, const std::string& data);


// The three-slide show at `dir`/`base`.tmp; returns the archive's path. Slide 1 is red,
// slide 2 green with three boxes that appear one per animation step (yellow at the
// top-left, magenta at the top-centre, cyan at the top-right, each a quarter of the page
// wide and high), slide 3 blue. Each slide, once loaded, assigns its address to a status
// text: slides 1 and 2 to top.status, slide 3 to its own frame's window.status.
std::string WriteShowArchive(const std::string& dir, const std::string& base);

// An archive whose fullscreen.htm is `html`, plus any extra parts (relative to BASE.files/).
std::string WritePageArchive(const std::string& dir, const std::string& base, const std::string& html,
                             const std::vector<TestPart>& extra = {});
