#include "EnvironmentSetting.h"

#include <cstdlib>

EnvironmentSetting::EnvironmentSetting(const std::string &name,
                                       const std::optional<std::string> &value)
    : name_(name) {
  if (const char *old = std::getenv(name.c_str())) {
    saved_ = old;
  }
  if (value) {
    setenv(name.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name.c_str());
  }
}

EnvironmentSetting::~EnvironmentSetting() {
  if (saved_) {
    setenv(name_.c_str(), saved_->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}
