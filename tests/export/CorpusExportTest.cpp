// Every presentation of the shared corpus, through one warm office: the ones LibreOffice opens
// export with the slide count of their manifest row, the others fail with the dialog's text
// and a report of what the office refused; never a crash or a stray office process.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "ExportPresentation.h"
#include "ExportTestSupport.h"
#include "OfficeExporter.h"

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
  PrivateTmpDir tmp;
  std::vector<pid_t> started;
  ExportOptions options;
  options.officeStarted = [&started](pid_t pid) { started.push_back(pid); };
  int converted = 0, linkFailures = 0;
  {
    OfficeExporter exporter(options);
    for (const Row& row : rows) {
      SCOPED_TRACE(row.file);
      const std::string archive = out.file("nn" + std::to_string(converted) + ".tmp");
      std::vector<std::string> messages;
      ExportReport report;
      const int result = exporter.exportPresentation(
          kCorpusDir + "ppt/" + row.file, archive, [&](const std::string& message) { messages.push_back(message); },
          &report);
      if (row.converts) {
        EXPECT_EQ(result, row.slides);
        EXPECT_TRUE(messages.empty()) << messages.front() << ": " << report.detail;
        std::vector<MhtmlPartRead> parts;
        std::string error;
        EXPECT_TRUE(ReadMhtml(ReadWholeFile(archive), parts, error)) << error;
        // The page and the show; a deck with sounds also gets their table and the clips.
        EXPECT_GE(parts.size(), 2u);
        for (size_t i = 2; i < parts.size(); ++i)
          EXPECT_TRUE(parts[i].location.find(".files/sounds.txt") != std::string::npos ||
                      parts[i].location.find(".files/media/clip") != std::string::npos)
              << parts[i].location;
        ++converted;
      } else {
        EXPECT_EQ(result, 0);
        EXPECT_EQ(messages, std::vector<std::string>{kUnknownExceptionMessage});
        // A refusal of the file, in the office's words, not a failure of the office.
        EXPECT_NE(report.problem, ExportProblem::None);
        EXPECT_NE(report.problem, ExportProblem::OfficeFailed) << report.detail;
        EXPECT_FALSE(report.detail.empty());
        if (row.file == "poi__Password_Protected-hello.ppt") {
          EXPECT_EQ(report.problem, ExportProblem::Encrypted);
        }
        RecordProperty(row.file, PlainWords(report.problem) + " " + report.detail);
      }
      for (const std::string& message : messages) linkFailures += message == kOleExceptionMessage;
      std::remove(archive.c_str());
    }
  }
  // One office for the corpus (another only after one that died).
  EXPECT_GE(started.size(), 1u);
  EXPECT_LE(started.size(), 1u + linkFailures);
  for (pid_t pid : started) EXPECT_FALSE(IsOfficeProcess(pid)) << "office process " << pid << " still runs";
  EXPECT_TRUE(ListDirectory(tmp.path()).empty());
  EXPECT_TRUE(LeftoverPipeFiles().empty());
  RecordProperty("converted", converted);
}

}  // namespace
