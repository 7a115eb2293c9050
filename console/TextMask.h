#ifndef SKELLAN_CONSOLE_TEXTMASK_H
#define SKELLAN_CONSOLE_TEXTMASK_H

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Makes the bytes a server sends safe to show on a terminal. Servers are not
// trusted, so nothing they send may drive the terminal: text, LF, CR, TAB
// and the SGR sequences that set colours and text attributes pass (every
// parameter one of 0-9, 21-29, 30-49 with 38 and 48 taking their 5;N and
// 2;R;G;B forms, 53, 55, 58 (its forms too), 59, 90-97, 100-107, and at
// most maxParameters of them); every other control byte, the ESC of every
// other sequence and every byte that is not text in the encoding is shown
// instead of obeyed, C0 and DEL as ^X, the rest as <HH> per byte, in
// reverse video. The bytes after a masked ESC are judged as text on their
// own, so that the output holds no ESC but the server's SGRs and the
// mask's own: ESC[7m and ESC[27m around a masked run (the other way round
// while the server has reverse video on), ESC[0m, and the server's SGRs
// set again after a Pause.
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
  // Whether a byte 0x80..0xFF begins a character of two in a double-byte
  // code page.
  using IsLeadByte = std::function<bool(unsigned char)>;
  // Whether a lead byte and the byte after it make one character of text.
  using PairIsText = std::function<bool(unsigned char lead, unsigned char trail)>;

  // In single-byte mode `highByteIsText` is asked once for each byte
  // 0x80..0xFF here; in UTF-8 mode it is not used and may be empty.
  TextMask(bool utf8, const HighByteIsText &highByteIsText, Colours colours);
  // A double-byte code page: `isLeadByte` and `highByteIsText` (for the
  // bytes that lead nothing) are asked once for each byte 0x80..0xFF here,
  // `pairIsText` for each lead byte that comes with a byte behind it.
  TextMask(const HighByteIsText &highByteIsText, const IsLeadByte &isLeadByte,
           PairIsText pairIsText, Colours colours);

  // Appends the shown form of the bytes to `out`; first the server's
  // attributes again if a Pause took them off. It appends at most
  // MostShown(length) bytes, a Pause or an End behind it included.
  void Feed(const char *bytes, std::size_t length, std::string &out);
  // Appends what puts the terminal back to the default attributes, so that
  // the program's own output is not in the server's colours: a reset of
  // the mask's own whenever a server's SGR passed since the last, since a
  // terminal may not have obeyed the server's own reset. The next Feed sets
  // the attributes again. Whatever is held stays held.
  void Pause(std::string &out);
  // The text ends: what is held is judged as it stands, the attributes are
  // reset and forgotten, and the next Feed starts afresh.
  void End(std::string &out);

  // Text of the program's that it did not write itself, such as a pipe's
  // name: every byte that is not text is shown in the same notation, the
  // ESC of an SGR too, and the attributes are the default again behind a
  // masked run. Nothing is held and the state of Feed is left alone.
  // Returns the columns the notation takes (0 when all is text).
  std::size_t Quote(const char *bytes, std::size_t length, std::string &out) const;

  // The longest SGR that passes, ESC [ and m included; a longer one is
  // masked, so that a server cannot make the mask hold bytes back.
  static constexpr std::size_t maxSgr = 64;
  // The most parameters an SGR that passes has, subparameters counted:
  // terminals drop longer ones (the Linux console past 16), and a reset
  // dropped would leave the server's attributes on.
  static constexpr std::size_t maxParameters = 16;
  // Room for the server's attributes. When its SGRs since the last full
  // reset take more, the oldest whole ones are forgotten: the text after a
  // Pause may then miss one of the oldest attributes, which is harmless.
  static constexpr std::size_t maxAttributes = 256;
  // The most a byte costs: a lone masked byte between text, ESC[7m <HH>
  // ESC[27m.
  static constexpr std::size_t maxPerByte = 13;
  // The most a Feed with its Pause or End costs: the attributes set again,
  // reverse video with them, and the reset; and the bytes held from before.
  static constexpr std::size_t MostShown(std::size_t length) {
    return maxPerByte * (length + maxSgr - 1) + maxAttributes + 8;
  }

private:
  // Lead2 to Lead4 last, so that one comparison finds a lead byte of UTF-8.
  enum Class : unsigned char { Text, Caret, Hex, Escape, LeadPair, Lead2, Lead3, Lead4 };

  // The most bytes judged into the scratch room at once.
  static constexpr std::size_t sliceLength = 1024;

  // Writes the shown form of p[0..n) at w, which has room for MostShown(n)
  // and 16 bytes more, up to a character or an SGR that n cuts, unless
  // `complete`; returns the bytes shown, the rest to be held.
  std::size_t Scan(const char *p, std::size_t n, bool complete, char *&w);
  // What an SGR's parameters do (TextMask.cpp).
  struct Rendition;

  // The length of the character at p[0], a lead byte, when it is text;
  // otherwise why not (TextMask.cpp): UTF-8, and a double-byte code page's.
  int Utf8(const unsigned char *p, std::size_t n, bool complete) const;
  int Pair(const unsigned char *p, std::size_t n, bool complete) const;
  // The length of the SGR at p[0] (an ESC) when it passes, `rendition`
  // what it does: 0 when it is no SGR or not one that passes, -1 when n
  // cuts it and it is not `complete`.
  static long Sgr(const char *p, std::size_t n, bool complete, Rendition &rendition);
  // Sgr for all but the short forms that most SGRs take.
  static long LongSgr(const char *p, std::size_t n, bool complete, Rendition &rendition);
  // Judges the parameters p[0..n) of an SGR into `rendition`; whether it
  // passes.
  static bool Judge(const char *p, std::size_t n, Rendition &rendition);
  // How many bytes from p on, of the n there are, go out as they are,
  // ending where a character ends: text, and while no masked run is open
  // and no Pause took the attributes off, the SGRs that pass, whose effect
  // is remembered here. Where SSE2 is there they are judged sixteen at a
  // time; it may stop short of the run's end, and elsewhere it finds none:
  // the table goes on from there.
  std::size_t Verbatim(const char *p, std::size_t n, bool complete);
  // Remembers what the SGRs in p[from..end), all passing, do; n bytes from
  // p on may be read.
  void Replay(const char *p, std::size_t from, std::size_t end, std::size_t n);
  // Passes the SGR p[0..n), of which `readable` bytes may be read.
  void PassSgr(const char *p, std::size_t n, std::size_t readable, const Rendition &rendition,
               char *&w);
  // Keeps what the passing SGR p[0..n) does to the attributes.
  void Remember(const char *p, std::size_t n, std::size_t readable, const Rendition &rendition);
  // Forgets the oldest attributes until `room` bytes are free.
  void Forget(std::size_t room);
  void MaskByte(unsigned char b, char *&w);
  // Before the server's own text or SGR: ends a reverse-video run, or sets
  // again the attributes a Pause took off.
  void EnterText(char *&w) {
    if (masking)
      EndMaskedRun(w);
    else if (restoring)
      Restore(w);
  }
  void EndMaskedRun(char *&w);
  void Restore(char *&w);
  void Reset(char *&w);

  Class classes[256];
  PairIsText pairIsText;
  bool keepColours;
  bool utf8;
  // Where the shown form is made before it is appended, a slice at a time:
  // one append a slice instead of one for every piece of it. 16 bytes more
  // than a slice can become, for copies that move 16 bytes at once.
  std::vector<char> scratch;
  char held[maxSgr];
  std::size_t heldLength = 0;
  // The server's SGRs since the last that reset all; room for a copy that
  // moves 16 bytes at once behind them.
  char attributes[maxAttributes + 16];
  std::size_t attributesLength = 0;
  bool reverse = false;   // the server's reverse video is on
  bool applied = false;   // an SGR of the server's went out since our reset
  bool masking = false;   // a reverse-video run is open
  bool restoring = false; // Pause took the attributes off
};

#endif
