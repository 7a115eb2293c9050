#ifndef SKELLAN_FRAMEWORK_PPROCESS_H
#define SKELLAN_FRAMEWORK_PPROCESS_H

#include "PString.h"

#include <vector>

// The application object: its identity, the program's arguments and the
// main routine that runs Main.
class PProcess {
public:
  enum CodeStatus { AlphaCode, BetaCode, ReleaseCode };

  PProcess(const char *manufacturer, const char *name, unsigned majorVersion, unsigned minorVersion,
           CodeStatus status, unsigned buildNumber);
  virtual ~PProcess() = default;
  PProcess(const PProcess &) = delete;
  PProcess &operator=(const PProcess &) = delete;

  // Keeps the arguments for the process object that is built afterwards.
  static void PreInitialise(int argc, char **argv, char **envp);

  // Runs Main and returns the termination value, the program's exit status.
  int InternalMain();
  void SetTerminationValue(int value) { terminationValue = value; }

  const PString &GetManufacturer() const { return manufacturer; }
  const PString &GetName() const { return productName; }
  // Major.minor, the code status and the build number, e.g. "0.1alpha0".
  PString GetVersion() const;
  const std::vector<PString> &GetArguments() const { return arguments; }

protected:
  virtual void Main() = 0;

private:
  PString manufacturer;
  PString productName;
  unsigned majorVersion;
  unsigned minorVersion;
  CodeStatus status;
  unsigned buildNumber;
  std::vector<PString> arguments;
  int terminationValue = 0;
};

#endif
