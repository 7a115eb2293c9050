#ifndef SKELLAN_CONSOLE_CONTROLSTRING_H
#define SKELLAN_CONSOLE_CONTROLSTRING_H

// The strings a terminal puts on its input when it answers a query: device
// control (DCS), operating system command (OSC), application program
// command (APC), privacy message (PM) and start of string (SOS). Nobody
// typed what one holds, and a server can choose the query, so the key
// decoders read over it whole. It is fed one character at a time and keeps
// none of them: a string costs no memory however long it is, and its rest is
// dropped as it comes until its terminator.
class ControlString {
public:
  // With `c1`, the 8-bit control characters count as well: where a
  // character is a code point or a byte of a single-byte encoding, never
  // where it could be part of a UTF-8 sequence.
  explicit ControlString(bool c1) : c1(c1) {}

  // Starts a string if `c`, right behind an ESC, introduces one
  // (P ] _ ^ X); otherwise false, and nothing changed.
  bool StartBehindEscape(char32_t c);
  // Starts a string if `c` is one's 8-bit introducer.
  bool StartAlone(char32_t c);
  bool Inside() const { return inside; }
  // Takes the string's next character; true when that ends it: ST (ESC \,
  // or its 8-bit form), or BEL for an OSC.
  bool Take(char32_t c);
  // Ends the string unfinished: the rest of it is not coming.
  void Abandon() { inside = false; }

private:
  void Start(bool operatingSystemCommand);

  bool c1;
  bool inside = false;
  bool bellEnds = false;
  // The last character taken was an ESC: a backslash now ends the string.
  bool escaped = false;
};

#endif
