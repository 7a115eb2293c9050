#ifndef SKELLAN_TESTS_SUPPORT_FAKECODEPAGES_H
#define SKELLAN_TESTS_SUPPORT_FAKECODEPAGES_H

#include "CodePage.h"

// Code pages for the console decoder's tests, standing in for what
// WideCharToMultiByte and MultiByteToWideChar do with them.

// UTF-8 (code page 65001).
class Utf8Page : public CodePage {
public:
  std::string Encode(const std::u16string &text) const override;
  std::u16string Decode(const std::string &bytes) const override;
};

// A single-byte page holding the first 256 code points (ISO 8859-1);
// anything else becomes '?', as the system substitutes it.
class Latin1Page : public CodePage {
public:
  std::string Encode(const std::u16string &text) const override;
  std::u16string Decode(const std::string &bytes) const override;
};

#endif
