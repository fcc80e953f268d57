#include "ScratchDirectory.h"

#include <stdlib.h>

#include <filesystem>

namespace fs = std::filesystem;

ScratchDirectory::ScratchDirectory() : path_(MakeTempDir()) {}

ScratchDirectory::~ScratchDirectory() { RemoveTree(path_); }

std::string ScratchDirectory::release() {
  std::string path;
  path.swap(path_);
  return path;
}

std::string MakeTempDir() {
  std::error_code ec;
  std::string pattern = (fs::temp_directory_path(ec) / "kavreto-test-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return {};
  return pattern;
}

void RemoveTree(const std::string& path) {
  std::error_code ec;
  if (!path.empty()) fs::remove_all(path, ec);
}
