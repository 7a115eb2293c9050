#include "TempDirectory.h"

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <vector>

TempDirectory::TempDirectory(bool trailingSlash, const std::string &stem) {
  std::string pattern = "/tmp/" + stem + "-XXXXXX";
  std::vector<char> buffer(pattern.begin(), pattern.end());
  buffer.push_back('\0');
  if (mkdtemp(buffer.data()) == nullptr) {
    throw std::runtime_error("cannot make a directory like " + pattern);
  }
  path_ = buffer.data();
  value_ = trailingSlash ? path_ + "/" : path_;
  if (const char *old = std::getenv("TMPDIR")) {
    saved_ = old;
  }
  setenv("TMPDIR", value_.c_str(), 1);
}

TempDirectory::~TempDirectory() {
  if (saved_) {
    setenv("TMPDIR", saved_->c_str(), 1);
  } else {
    unsetenv("TMPDIR");
  }
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}
