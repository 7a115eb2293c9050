#ifndef SKELLAN_CONSOLE_TEXTMASK_H
#define SKELLAN_CONSOLE_TEXTMASK_H

#include <cstddef>
#include <functional>
#include <string>

// Makes the bytes a server sends safe to show on a terminal. Servers are not
// trusted, so nothing they send may drive the terminal: text, LF, CR, TAB
// and SGR sequences (ESC [ digits ; : m, colours and the like) pass; every
// other control byte, the ESC of every other sequence and every byte that is
// not text in the encoding is shown instead of obeyed, C0 and DEL as ^X,
// the rest as <HH> per byte, in reverse video. The bytes after a masked ESC
// are judged as text on their own, so that the output holds no ESC but the
// server's SGRs and the mask's own ESC[0;7m, ESC[0m and the server's
// attributes set again.
//
// A character or an SGR cut between two Feeds is held and judged whole with
// the next one: the output is the same however the bytes are split. Because
// of that a reverse-video run and the server's attributes may stay on
// after a Feed; Pause before drawing anything else.
class TextMask {
public:
  enum Colours {
    KeepColours, // SGR passes; masked bytes in reverse video
    DropColours, // a console without sequences: SGR is dropped, none of ours
  };
  // Whether a byte 0x80..0xFF is text in a single-byte encoding.
  using HighByteIsText = std::function<bool(unsigned char)>;

  // In single-byte mode `highByteIsText` is asked once for each byte
  // 0x80..0xFF here; in UTF-8 mode it is not used and may be empty.
  TextMask(bool utf8, const HighByteIsText &highByteIsText, Colours colours);

  // Appends the shown form of the bytes to `out`; first the server's
  // attributes again if a Pause took them off.
  void Feed(const char *bytes, std::size_t length, std::string &out);
  // Appends what puts the terminal back to the default attributes, so that
  // the program's own output is not in the server's colours; the next Feed
  // sets them again. Whatever is held stays held.
  void Pause(std::string &out);
  // The text ends: what is held is judged as it stands, the attributes are
  // reset and forgotten, and the next Feed starts afresh.
  void End(std::string &out);

  // The longest SGR that passes, ESC [ and m included; a longer one is
  // masked, so that a server cannot make the mask hold bytes back.
  static constexpr std::size_t maxSgr = 64;
  // Room for the server's attributes. When its SGRs since the last full
  // reset take more, the oldest whole ones are forgotten: the text after a
  // Pause may then miss one of the oldest attributes, which is harmless.
  static constexpr std::size_t maxAttributes = 256;

private:
  enum Class : unsigned char { Text, Caret, Hex, Escape, Lead2, Lead3, Lead4 };

  // Shows p[0..n) up to a character or an SGR that n cuts, unless
  // `complete`; returns the bytes shown, the rest to be held.
  std::size_t Scan(const char *p, std::size_t n, bool complete, std::string &out);
  // The length of the UTF-8 character at p[0], a lead byte, when it is
  // text; otherwise why not (TextMask.cpp).
  int Utf8(const unsigned char *p, std::size_t n, bool complete) const;
  // The length of the SGR at p[0] (an ESC): 0 when it is no SGR, -1 when
  // n cuts it and it is not `complete`.
  static long Sgr(const char *p, std::size_t n, bool complete);
  void PassSgr(const char *p, std::size_t n, std::string &out);
  void MaskByte(unsigned char b, std::string &out);
  // Ends a reverse-video run, or sets the attributes a Pause took off.
  void Plain(std::string &out);

  Class classes[256];
  bool keepColours;
  char held[maxSgr];
  std::size_t heldLength = 0;
  // The server's SGRs since the last that reset all.
  std::string attributes;
  bool masking = false;   // a reverse-video run is open
  bool restoring = false; // Pause took the attributes off
};

#endif
