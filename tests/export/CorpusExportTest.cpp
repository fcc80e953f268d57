// Every presentation of the shared corpus: the ones LibreOffice opens export with the slide
// count of their manifest row, the others fail with a message; never a crash or a stray
// office process.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "ExportPresentation.h"
#include "ExportTestSupport.h"

namespace {

struct Row {
  std::string file;
  int slides = 0;
  bool converts = false;
};

std::vector<Row> ReadManifest() {
  std::ifstream in(kCorpusDir + "MANIFEST.tsv");
  std::vector<Row> rows;
  std::string line;
  std::vector<std::string> header;
  while (std::getline(in, line)) {
    std::vector<std::string> fields;
    std::stringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    if (header.empty()) {
      header = fields;
      continue;
    }
    auto column = [&](const char* name) -> std::string {
      for (size_t i = 0; i < header.size() && i < fields.size(); ++i)
        if (header[i] == name) return fields[i];
      return {};
    };
    Row row;
    row.file = column("file");
    row.converts = column("converts") == "yes";
    const std::string slides = column("slides_pdf");
    row.slides = slides.empty() ? 0 : std::stoi(slides);
    if (!row.file.empty()) rows.push_back(row);
  }
  return rows;
}

TEST(CorpusExportTest, EveryFileExportsWithItsCountOrFailsWithAMessage) {
  const std::vector<Row> rows = ReadManifest();
  if (rows.empty()) GTEST_SKIP() << "no corpus at " << kCorpusDir;
  ScratchDirectory out;
  int converted = 0;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.file);
    PrivateTmpDir tmp;
    const std::string archive = out.file("nn" + std::to_string(converted) + ".tmp");
    const ExportRun run = RunExport(kCorpusDir + "ppt/" + row.file, archive);
    if (row.converts) {
      EXPECT_EQ(run.result, row.slides);
      EXPECT_TRUE(run.messages.empty()) << run.messages.front();
      std::vector<MhtmlPartRead> parts;
      std::string error;
      EXPECT_TRUE(ReadMhtml(ReadWholeFile(archive), parts, error)) << error;
      EXPECT_EQ(parts.size(), 2u);
      ++converted;
    } else {
      EXPECT_EQ(run.result, 0);
      ASSERT_EQ(run.messages.size(), 1u);
      EXPECT_EQ(run.messages.front(), kUnknownExceptionMessage);
    }
    for (pid_t pid : run.officePids) EXPECT_FALSE(IsOfficeProcess(pid)) << "office process " << pid << " still runs";
    EXPECT_TRUE(ListDirectory(tmp.path()).empty());
    std::remove(archive.c_str());
  }
  EXPECT_TRUE(LeftoverPipeFiles().empty());
  RecordProperty("converted", converted);
}

}  // namespace
