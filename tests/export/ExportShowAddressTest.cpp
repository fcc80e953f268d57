// The exporter and the slide-show window agree on where the show page is in an archive,
// whatever the archive's name: the part the window's address names is in the archive.
#include <gtest/gtest.h>

#include "CSlideShowDlg.h"
#include "ExportTestSupport.h"
#include "FixtureFiles.h"
#include "OfficeExporter.h"

namespace {

TEST(ExportShowAddressTest, ThePageTheWindowOpensIsInTheArchive) {
  const std::string source = FixtureFiles::Converted("one-slide.fodp");
  ASSERT_FALSE(source.empty());
  ScratchDirectory dir;
  OfficeExporter exporter;
  for (const char* name : {"nn1a2b.tmp", ".tmp", "show.v2.tmp", "x."}) {
    SCOPED_TRACE(name);
    const std::string archive = dir.file(name);
    ASSERT_EQ(exporter.exportPresentation(source, archive, {}), 1);
    const std::string address = CSlideShowDlg::ShowAddress(archive);
    const auto bang = address.rfind('!');
    ASSERT_NE(bang, std::string::npos) << address;
    std::vector<MhtmlPartRead> parts;
    std::string error;
    ASSERT_TRUE(ReadMhtml(ReadWholeFile(archive), parts, error)) << error;
    bool found = false;
    for (const auto& part : parts) found = found || part.location == address.substr(bang + 1);
    EXPECT_TRUE(found) << "no part " << address.substr(bang + 1);
  }
}

}  // namespace
