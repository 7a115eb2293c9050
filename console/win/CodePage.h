#ifndef SKELLAN_CONSOLE_WIN_CODEPAGE_H
#define SKELLAN_CONSOLE_WIN_CODEPAGE_H

#include <string>

// A console code page: how UTF-16 text becomes the bytes a program reads
// or writes, and back. The Windows console has one for input and one for
// output.
class CodePage {
public:
  // Characters the page lacks become what the system substitutes for them.
  virtual std::string Encode(const std::u16string &text) const = 0;
  virtual std::u16string Decode(const std::string &bytes) const = 0;

protected:
  ~CodePage() = default;
};

#endif
