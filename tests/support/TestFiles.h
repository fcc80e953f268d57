// Whole-file reads and writes and directory listings for the tests.
#pragma once

#include <string>
#include <vector>

// Names of the entries of `directory`, sorted.
std::vector<std::string> ListDirectory(const std::string& directory);

std::string ReadWholeFile(const std::string& path);
void WriteWholeFile(const std::string& path, const std::string& data);
