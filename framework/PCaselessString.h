#ifndef SKELLAN_FRAMEWORK_PCASELESSSTRING_H
#define SKELLAN_FRAMEWORK_PCASELESSSTRING_H

#include "PString.h"

// A string that compares without regard to letter case: both sides are
// taken to upper case one character at a time.
class PCaselessString : public PString {
public:
  PCaselessString() = default;
  PCaselessString(const char *text) : PString(text) {}
  PCaselessString(const PString &text) : PString(text) {}

  int Compare(const PString &other) const override;
};

#endif
