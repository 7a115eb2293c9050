#ifndef SKELLAN_TESTS_SUPPORT_ENVIRONMENTSETTING_H
#define SKELLAN_TESTS_SUPPORT_ENVIRONMENTSETTING_H

#include <optional>
#include <string>

// An environment variable set, or unset (no value), while the object lives,
// for the test and the programs it starts meanwhile; what was there before
// comes back when the object goes.
class EnvironmentSetting {
public:
  EnvironmentSetting(const std::string &name, const std::optional<std::string> &value);
  ~EnvironmentSetting();
  EnvironmentSetting(const EnvironmentSetting &) = delete;
  EnvironmentSetting &operator=(const EnvironmentSetting &) = delete;

private:
  std::string name_;
  std::optional<std::string> saved_;
};

#endif
