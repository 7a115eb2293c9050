#include "BuiltLocale.h"

#include "ChildProcess.h"

#include <filesystem>
#include <system_error>

BuiltLocale::BuiltLocale(const std::string &source, const std::string &charmap,
                         const std::string &name)
    : name_(name), directory_("skellan-locale") {
  // -c: the locale sources' warnings (a missing category's data) are no
  // failure; whether the locale is usable is read from what was built.
  ChildProcess localedef(
      {"/bin/sh", "-c",
       "exec localedef -c -i " + source + " -f " + charmap + " " + Path() + "/" + name + " 2>&1"});
  // Building a UTF-8 locale takes some seconds.
  const std::optional<int> status = localedef.WaitForExit(std::chrono::seconds(120));
  std::error_code error;
  built_ = status.has_value() && std::filesystem::exists(Path() + "/" + name + "/LC_CTYPE", error);
  if (!built_)
    report_ = "localedef -i " + source + " -f " + charmap + " failed: " + localedef.Output();
}

std::string BuiltLocale::Environment() const {
  return "LOCPATH=" + Path() + " LANG=" + name_ + " LC_ALL=" + name_;
}
