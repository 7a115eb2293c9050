#include "BuiltLocale.h"

#include "ChildProcess.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

BuiltLocale::BuiltLocale(const std::string &source, const std::string &charmap,
                         const std::string &name)
    : name_(name) {
  std::string folder = std::filesystem::temp_directory_path().string() + "/skellan-locale-XXXXXX";
  if (mkdtemp(folder.data()) == nullptr) {
    report_ = "cannot make a directory for the locale";
    return;
  }
  path_ = folder;
  // -c: the locale sources' warnings (a missing category's data) are no
  // failure; whether the locale is usable is read from what was built.
  ChildProcess localedef(
      {"/bin/sh", "-c",
       "exec localedef -c -i " + source + " -f " + charmap + " " + path_ + "/" + name + " 2>&1"});
  // Building a UTF-8 locale takes some seconds.
  const std::optional<int> status = localedef.WaitForExit(std::chrono::seconds(120));
  std::error_code error;
  built_ = status.has_value() && std::filesystem::exists(path_ + "/" + name + "/LC_CTYPE", error);
  if (!built_)
    report_ = "localedef -i " + source + " -f " + charmap + " failed: " + localedef.Output();
}

BuiltLocale::~BuiltLocale() {
  std::error_code error;
  if (!path_.empty())
    std::filesystem::remove_all(path_, error);
}

std::string BuiltLocale::Environment() const {
  return "LOCPATH=" + path_ + " LANG=" + name_ + " LC_ALL=" + name_;
}
