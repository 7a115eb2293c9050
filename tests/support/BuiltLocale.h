#ifndef SKELLAN_TESTS_SUPPORT_BUILTLOCALE_H
#define SKELLAN_TESTS_SUPPORT_BUILTLOCALE_H

#include "TempDirectory.h"

#include <string>

// A locale that a test builds for itself with localedef, from the system's
// locale sources and charmaps, into a fresh directory of its own: a
// program finds it with LOCPATH set to Path(). The directory goes when the
// object goes.
class BuiltLocale {
public:
  // Builds locale `source` (as "ru_RU") in `charmap` (as "KOI8-R") under
  // the name `name` (as "ru_RU.KOI8-R").
  BuiltLocale(const std::string &source, const std::string &charmap, const std::string &name);

  // Whether the locale is there to use; if not, Report() says why.
  bool Built() const { return built_; }
  const std::string &Report() const { return report_; }
  // The directory, which needs no quoting in a shell.
  const std::string &Path() const { return directory_.Path(); }
  // The variables that give a program the locale: LOCPATH, LANG and
  // LC_ALL.
  std::string Environment() const;

private:
  std::string name_;
  TempDirectory directory_;
  std::string report_;
  bool built_ = false;
};

#endif
