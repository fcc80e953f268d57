#include "TemporaryDirectory.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <vector>

TemporaryDirectory::TemporaryDirectory(const std::string& prefix) {
  std::error_code ec;
  std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  if (ec || base.empty()) base = "/tmp";
  std::string pattern = (base / (prefix + "XXXXXX")).string();
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
}

TemporaryDirectory::~TemporaryDirectory() { remove(); }

void TemporaryDirectory::remove() {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
  path_.clear();
}
