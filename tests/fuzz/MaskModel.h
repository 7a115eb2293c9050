#ifndef SKELLAN_TESTS_FUZZ_MASKMODEL_H
#define SKELLAN_TESTS_FUZZ_MASKMODEL_H

#include <cstddef>
#include <string>

// What a terminal must show of a server's text once it is masked, worked
// out the plain way: a byte at a time over the whole text, with nothing
// held and no colours. Text passes as it is; an SGR (ESC [ digits ; : m, at
// most 64 bytes) of colours and text attributes alone, at most 16
// parameters, shows nothing; C0 controls but TAB, LF and CR, and DEL,
// show as ^X; every other byte that is no text as <HH>, each on its own.
class MaskModel {
public:
  // Whether a byte 0x80..0xFF is text in a single-byte code page.
  using HighByteIsText = bool (*)(unsigned char);

  // UTF-8 when `highByteIsText` is null.
  explicit MaskModel(HighByteIsText highByteIsText);

  // What `masked` holds for a byte shown.
  enum Marks : char {
    Masked = 1,  // part of a masked byte's notation
    Reverse = 2, // the server's SGRs have reverse video on there
  };
  // Appends what shows of `text` to `shown`, and for each byte of it to
  // `masked` its marks.
  void Show(const std::string &text, std::size_t begin, std::size_t end, std::string &shown,
            std::string &masked) const;

  // Windows-1252: the bytes 0x80..0x9F it leaves undefined are no text.
  static bool Windows1252(unsigned char byte);

  static constexpr std::size_t longestSgr = 64;

private:
  HighByteIsText highByteIsText;
};

#endif
