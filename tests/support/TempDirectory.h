#ifndef SKELLAN_TESTS_SUPPORT_TEMPDIRECTORY_H
#define SKELLAN_TESTS_SUPPORT_TEMPDIRECTORY_H

#include <optional>
#include <string>

// A fresh directory that TMPDIR names while the object lives, so that the
// programs a test starts meanwhile keep their pipes there. The previous
// TMPDIR comes back, and the directory goes with all it holds, when the
// object goes.
class TempDirectory {
public:
  // TMPDIR is the directory's path, with a '/' at the end if `trailingSlash`.
  explicit TempDirectory(bool trailingSlash = false, const std::string &stem = "skellan-tmpdir");
  ~TempDirectory();
  TempDirectory(const TempDirectory &) = delete;
  TempDirectory &operator=(const TempDirectory &) = delete;

  // The directory, without a '/' at the end.
  const std::string &Path() const { return path_; }
  // What TMPDIR is set to.
  const std::string &Value() const { return value_; }

private:
  std::string path_;
  std::string value_;
  std::optional<std::string> saved_;
};

#endif
