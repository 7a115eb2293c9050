#ifndef SKELLAN_TESTS_SUPPORT_TEMPDIRECTORY_H
#define SKELLAN_TESTS_SUPPORT_TEMPDIRECTORY_H

#include <string>

// A fresh directory under /tmp, of the test's own, that goes with all it
// holds when the object goes.
class TempDirectory {
public:
  // Its name begins with `stem`; throws if it cannot be made.
  explicit TempDirectory(const std::string &stem = "skellan-tmp");
  ~TempDirectory();
  TempDirectory(const TempDirectory &) = delete;
  TempDirectory &operator=(const TempDirectory &) = delete;

  // The directory, without a '/' at the end; it needs no quoting in a
  // shell.
  const std::string &Path() const { return path_; }

private:
  std::string path_;
};

#endif
