#include "TextMask.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <utility>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
const char reverseOn[] = "\x1b[7m";
const char reverseOff[] = "\x1b[27m";
const char reset[] = "\x1b[0m";

// What Utf8 says besides a text character's length.
const int invalid = 0; // the lead byte is no text; judge the next on its own
const int cut = -1;    // the character goes on past the bytes there are
const int c1 = -2;     // U+0080..U+009F, two bytes, not text

// Writes how a byte that is not text shows at w, ^X for C0 and DEL, else
// <HH>; returns its length, which is also the columns it takes.
std::size_t Notation(unsigned char b, char *w) {
  if (b < 0x20 || b == 0x7f) {
    w[0] = '^';
    w[1] = static_cast<char>(b ^ 0x40);
    return 2;
  }
  const char digits[] = "0123456789ABCDEF";
  w[0] = '<';
  w[1] = digits[b >> 4];
  w[2] = digits[b & 0xf];
  w[3] = '>';
  return 4;
}

// Copies a sequence of the mask's own.
template <std::size_t N> void Put(char *&w, const char (&sequence)[N]) {
  std::memcpy(w, sequence, N - 1);
  w += N - 1;
}

// Copies bytes of the server's: most are a few words between two
// sequences, or a sequence, copied in one move. `readable` is how many
// bytes from `bytes` on may be read; the room at w has 16 bytes to spare.
inline void Copy(char *&w, const char *bytes, std::size_t length, std::size_t readable) {
#if defined(__SSE2__)
  if (length <= 16 && readable >= 16) {
    _mm_storeu_si128(reinterpret_cast<__m128i *>(w),
                     _mm_loadu_si128(reinterpret_cast<const __m128i *>(bytes)));
    w += length;
    return;
  }
#else
  (void)readable;
#endif
  std::memcpy(w, bytes, length);
  w += length;
}

#if defined(__SSE2__)
__m128i Bytes(unsigned char value) { return _mm_set1_epi8(static_cast<char>(value)); }

// The bytes that are not ASCII text: ASCII text is the printable bytes,
// line feeds, carriage returns and tabs.
__m128i NotAsciiText(__m128i bytes) {
  // Moved up by 0x60, 0x20..0x7E become 0x80..0xDE: as signed bytes, the
  // lowest there are, up to -34; every other byte lands above.
  const __m128i moved = _mm_add_epi8(bytes, Bytes(0x60));
  const __m128i notPrintable = _mm_cmpgt_epi8(moved, Bytes(0xde));
  const __m128i layout = _mm_or_si128(
      _mm_or_si128(_mm_cmpeq_epi8(bytes, Bytes('\n')), _mm_cmpeq_epi8(bytes, Bytes('\r'))),
      _mm_cmpeq_epi8(bytes, Bytes('\t')));
  return _mm_andnot_si128(layout, notPrintable);
}

// The bytes `count` places before those of the block at p + at, of the run
// that starts at p: nothing stands before the run.
template <int count> __m128i Earlier(const char *p, std::size_t at, __m128i bytes) {
  if (at == 0)
    return _mm_slli_si128(bytes, count);
  return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + at - count));
}

// Whether each byte begins a character of at least 2, 3 or 4 bytes (0xC2,
// 0xE0 and 0xF0 and above): with the top bit flipped, the high bytes
// compare in their order, above every ASCII byte.
template <unsigned char least> __m128i Begins(__m128i bytes) {
  return _mm_cmpgt_epi8(_mm_xor_si128(bytes, Bytes(0x80)), Bytes((least - 1) ^ 0x80));
}

// The bytes of the block at p + at, of the run that starts at p, that are
// not text of UTF-8; an ESC counts as text unless it stands where a
// character goes on. The run's blocks before it are text.
__m128i NotUtf8Text(const char *p, std::size_t at, __m128i bytes, __m128i escapes) {
  // Of the high bytes: 0x80..0xBF continue a character; 0xC2..0xDF,
  // 0xE0..0xEF and 0xF0..0xF4 begin one of two, three and four bytes;
  // 0xC0, 0xC1 and 0xF5..0xFF are in no character.
  const __m128i high = _mm_cmplt_epi8(bytes, _mm_setzero_si128());
  const __m128i continuation = _mm_cmplt_epi8(bytes, Bytes(0xc0));
  const __m128i none = _mm_or_si128(
      _mm_andnot_si128(_mm_or_si128(Begins<0xc2>(bytes), continuation), high), Begins<0xf5>(bytes));
  // Where the leads want a continuation byte: exactly there, and nowhere
  // else, may one stand.
  const __m128i before = Earlier<1>(p, at, bytes);
  const __m128i wanted =
      _mm_or_si128(_mm_or_si128(Begins<0xc2>(before), Begins<0xe0>(Earlier<2>(p, at, bytes))),
                   Begins<0xf0>(Earlier<3>(p, at, bytes)));
  // The second byte's narrower ranges: no overlong form after 0xE0 and
  // 0xF0, no surrogate after 0xED, nothing above U+10FFFF after 0xF4, and
  // after 0xC2 no C1 control (U+0080..U+009F), which is no text.
  const __m128i belowA0 = _mm_cmplt_epi8(bytes, Bytes(0xa0));
  const __m128i below90 = _mm_cmplt_epi8(bytes, Bytes(0x90));
  const __m128i wantsA0 =
      _mm_or_si128(_mm_cmpeq_epi8(before, Bytes(0xe0)), _mm_cmpeq_epi8(before, Bytes(0xc2)));
  const __m128i wantsBelowA0 = _mm_and_si128(_mm_cmpeq_epi8(before, Bytes(0xed)), continuation);
  const __m128i wantsBelow90 = _mm_and_si128(_mm_cmpeq_epi8(before, Bytes(0xf4)), continuation);
  const __m128i second =
      _mm_or_si128(_mm_or_si128(_mm_and_si128(wantsA0, belowA0),
                                _mm_and_si128(_mm_cmpeq_epi8(before, Bytes(0xf0)), below90)),
                   _mm_or_si128(_mm_andnot_si128(belowA0, wantsBelowA0),
                                _mm_andnot_si128(below90, wantsBelow90)));
  const __m128i notAscii = _mm_andnot_si128(_mm_or_si128(high, escapes), NotAsciiText(bytes));
  return _mm_or_si128(_mm_or_si128(notAscii, none),
                      _mm_or_si128(_mm_xor_si128(wanted, continuation), second));
}

// The bytes of the sixteen at p that are not plain text: plain text is
// printable ASCII and line feeds, most of what a server sends.
__m128i NotPlain(const char *p) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
  const __m128i moved = _mm_add_epi8(bytes, Bytes(0x60));
  return _mm_andnot_si128(_mm_cmpeq_epi8(bytes, Bytes('\n')), _mm_cmpgt_epi8(moved, Bytes(0xde)));
}

bool Plain16(const char *p) { return _mm_movemask_epi8(NotPlain(p)) == 0; }

bool Plain64(const char *p) {
  const __m128i found = _mm_or_si128(_mm_or_si128(NotPlain(p), NotPlain(p + 16)),
                                     _mm_or_si128(NotPlain(p + 32), NotPlain(p + 48)));
  return _mm_movemask_epi8(found) == 0;
}

// What a block of sixteen bytes holds for Verbatim: the bytes that need the
// table, and the ESCs that may start an SGR.
struct Block {
  unsigned other;
  unsigned escapes;
};

// The sixteen bytes at p + at, of the run that starts at p; `wasHigh`
// says whether the block before them held high bytes.
Block JudgeBlock(const char *p, std::size_t at, bool utf8, unsigned &wasHigh) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + at));
  const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(bytes));
  const __m128i escapes = _mm_cmpeq_epi8(bytes, Bytes(0x1b));
  // ASCII after ASCII needs no look at characters of several bytes.
  const __m128i other = !utf8 || (high | wasHigh) == 0
                            ? _mm_andnot_si128(escapes, NotAsciiText(bytes))
                            : NotUtf8Text(p, at, bytes, escapes);
  wasHigh = high;
  return {static_cast<unsigned>(_mm_movemask_epi8(other)),
          static_cast<unsigned>(_mm_movemask_epi8(escapes))};
}

// Whether each byte is a digit: moved up by 0x50, '0'..'9' become the ten
// lowest signed bytes.
__m128i IsDigit(__m128i bytes) {
  return _mm_cmplt_epi8(_mm_add_epi8(bytes, Bytes(0x50)), Bytes(0x80 + 10));
}

// Of the ESCs of the sixteen bytes at p, with 20 bytes there, those that
// start an SGR of the two short forms, ESC [ d m and ESC [ d d m, whose
// parameter passes; and those of them that reset all. The others are
// judged one by one.
struct ShortSgrs {
  unsigned passing;
  unsigned resetting;
};

ShortSgrs FindShortSgrs(const char *p) {
  const auto at = [p](int k) { return _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + k)); };
  const __m128i first = at(2);
  const __m128i second = at(3);
  const __m128i opens = _mm_and_si128(
      _mm_and_si128(_mm_cmpeq_epi8(at(0), Bytes(0x1b)), _mm_cmpeq_epi8(at(1), Bytes('['))),
      IsDigit(first));
  const __m128i one = _mm_and_si128(opens, _mm_cmpeq_epi8(second, Bytes('m')));
  const __m128i two =
      _mm_and_si128(_mm_and_si128(opens, IsDigit(second)), _mm_cmpeq_epi8(at(4), Bytes('m')));
  // Of two digits these pass: 21-29, 30-37, 39-47, 49, 53, 55, 59, 90-97.
  const auto tens = [first](char digit) { return _mm_cmpeq_epi8(first, Bytes(digit)); };
  const auto units = [second](char digit) { return _mm_cmpeq_epi8(second, Bytes(digit)); };
  const __m128i twenties = _mm_andnot_si128(units('0'), tens('2'));
  const __m128i colours = _mm_andnot_si128(units('8'), _mm_or_si128(tens('3'), tens('4')));
  const __m128i fifties =
      _mm_and_si128(tens('5'), _mm_or_si128(_mm_or_si128(units('3'), units('5')), units('9')));
  const __m128i bright = _mm_and_si128(tens('9'), _mm_cmplt_epi8(second, Bytes('8')));
  const __m128i passes =
      _mm_or_si128(_mm_or_si128(twenties, colours), _mm_or_si128(fifties, bright));
  return {static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(one, _mm_and_si128(two, passes)))),
          static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(one, tens('0'))))};
}

// Where the text before p[at], judged and found right so far, last ends
// a character: `at` itself, or the start of a character that goes on
// there.
std::size_t Boundary(const char *p, std::size_t at) {
  for (std::size_t back = 1; back <= 3 && back <= at; ++back) {
    const unsigned char b = static_cast<unsigned char>(p[at - back]);
    if ((b & 0xc0) == 0x80)
      continue;
    const std::size_t length = b >= 0xf0 ? 4 : b >= 0xe0 ? 3 : b >= 0xc0 ? 2 : 1;
    return length > back ? at - back : at;
  }
  return at;
}
#endif

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
unsigned Digit(char c) { return static_cast<unsigned>(c - '0'); }

bool IsSgrParameter(char c) { return (c >= '0' && c <= '9') || c == ';' || c == ':'; }

// A parameter's value, capped so that a long one cannot overflow, and
// whether it is a subparameter (behind a ':').
struct Field {
  unsigned value;
  bool sub;
};

// A bit for each parameter below 128 that is a colour or a text attribute
// on its own: 0-9, 21-37, 39-47, 49, 53, 55, 59, 90-97, 100-107 (38, 48
// and 58 only with the colour behind them).
constexpr std::uint64_t Bits(unsigned first, unsigned last) {
  std::uint64_t bits = 0;
  for (unsigned v = first; v <= last; ++v)
    bits |= std::uint64_t{1} << v;
  return bits;
}
constexpr std::uint64_t attributeBits[] = {Bits(0, 9) | Bits(21, 37) | Bits(39, 47) | Bits(49, 49) |
                                               Bits(53, 53) | Bits(55, 55) | Bits(59, 59),
                                           Bits(90 - 64, 97 - 64) | Bits(100 - 64, 107 - 64)};

constexpr bool IsAttribute(unsigned v) {
  return v < 128 && (attributeBits[v >> 6] >> (v & 63) & 1) != 0;
}

// What an SGR of the one parameter v does, a bit each.
enum Effect : unsigned char { Passes = 1, Resets = 2, ReverseOn = 4, ReverseOff = 8 };

constexpr unsigned char EffectOf(unsigned v) {
  return static_cast<unsigned char>((IsAttribute(v) ? Passes : 0) | (v == 0 ? Resets : 0) |
                                    (v == 7 ? ReverseOn : 0) |
                                    (v == 0 || v == 27 ? ReverseOff : 0));
}

// The effects of the parameters below 100, which most SGRs have: one look
// each, without a branch on what the parameter was.
struct Effects {
  unsigned char of[100];
  constexpr Effects() : of() {
    for (unsigned v = 0; v < 100; ++v)
      of[v] = EffectOf(v);
  }
};
constexpr Effects shortEffects;

bool IsColourSpec(unsigned v) { return v == 38 || v == 48 || v == 58; }

// The fields behind 38, 48 or 58 that give its colour: 5 and an index, or
// 2 and red, green, blue (with ':' a colour space may come before them).
// Returns how many there are, 0 when they are no colour.
std::size_t ColourFields(const Field *f, std::size_t n, bool colons) {
  std::size_t need;
  if (n >= 2 && f[0].value == 5)
    need = 2;
  else if (n >= 4 && f[0].value == 2)
    need = colons && n == 5 ? 5 : 4;
  else
    return 0;
  if (colons && n != need)
    return 0;
  for (std::size_t k = 0; k < need; ++k)
    if (f[k].sub != colons || f[k].value > 255)
      return 0;
  return need;
}

} // namespace

// What an SGR's parameters do, as far as the mask is concerned.
struct TextMask::Rendition {
  bool resetsFirst = false; // its first parameter resets every attribute
  bool resetsAll = false;   // it does nothing else
  int reverse = 0;          // where it leaves reverse video: 1 on, -1 off, 0 as it was

  // What an SGR of one parameter with these effects does.
  static Rendition Of(unsigned char effect) {
    const bool resets = (effect & Resets) != 0;
    return {resets, resets, (effect >> 2 & 1) - (effect >> 3 & 1)};
  }
};

bool TextMask::Judge(const char *p, std::size_t n, Rendition &r) {
  r = Rendition{};
  if (n <= 3) {
    // One parameter of a few digits, as most SGRs have: judged at once.
    unsigned v = 0;
    std::size_t i = 0;
    while (i < n && p[i] >= '0' && p[i] <= '9')
      v = v * 10 + static_cast<unsigned>(p[i++] - '0');
    if (i == n) {
      const unsigned char effect = v < 100 ? shortEffects.of[v] : EffectOf(v);
      r = Rendition::Of(effect);
      return (effect & Passes) != 0;
    }
  }
  Field fields[maxParameters];
  std::size_t count = 0;
  Field field{0, false};
  for (std::size_t i = 0;; ++i) {
    if (i == n || p[i] == ';' || p[i] == ':') {
      if (count == maxParameters)
        return false;
      fields[count++] = field;
      if (i == n)
        break;
      field = Field{0, p[i] == ':'};
    } else {
      field.value = std::min(field.value * 10 + static_cast<unsigned>(p[i] - '0'), 1000u);
    }
  }
  r.resetsFirst = fields[0].value == 0;
  r.resetsAll = true;
  for (std::size_t k = 0; k < count;) {
    const unsigned v = fields[k].value;
    if (fields[k].sub)
      return false;
    r.resetsAll = r.resetsAll && v == 0;
    if (IsColourSpec(v)) {
      const bool colons = k + 1 < count && fields[k + 1].sub;
      std::size_t rest = count - k - 1;
      if (colons) {
        rest = 0;
        while (k + 1 + rest < count && fields[k + 1 + rest].sub)
          ++rest;
      }
      const std::size_t used = ColourFields(fields + k + 1, rest, colons);
      if (used == 0)
        return false;
      k += 1 + used;
      continue;
    }
    if (!IsAttribute(v) || (k + 1 < count && fields[k + 1].sub))
      return false;
    if (v == 7)
      r.reverse = 1;
    else if (v == 0 || v == 27)
      r.reverse = -1;
    ++k;
  }
  return true;
}

TextMask::TextMask(bool utf8, const HighByteIsText &highByteIsText, Colours colours)
    : keepColours(colours == KeepColours), utf8(utf8), scratch(MostShown(sliceLength) + 16) {
  for (int b = 0; b < 256; ++b) {
    Class c = Text;
    if (b < 0x20 || b == 0x7f)
      c = Caret;
    else if (b < 0x80)
      c = Text;
    else if (!utf8)
      c = highByteIsText(static_cast<unsigned char>(b)) ? Text : Hex;
    else if (b >= 0xc2 && b <= 0xdf)
      c = Lead2;
    else if (b >= 0xe0 && b <= 0xef)
      c = Lead3;
    else if (b >= 0xf0 && b <= 0xf4)
      c = Lead4;
    else
      c = Hex;
    classes[b] = c;
  }
  classes[static_cast<unsigned char>('\t')] = Text;
  classes[static_cast<unsigned char>('\n')] = Text;
  classes[static_cast<unsigned char>('\r')] = Text;
  classes[0x1b] = Escape;
}

TextMask::TextMask(const HighByteIsText &highByteIsText, const IsLeadByte &isLeadByte,
                   PairIsText pairIsText, Colours colours)
    : TextMask(false, highByteIsText, colours) {
  for (int b = 0x80; b < 256; ++b) {
    if (isLeadByte(static_cast<unsigned char>(b)))
      classes[b] = LeadPair;
  }
  this->pairIsText = std::move(pairIsText);
}

void TextMask::Feed(const char *bytes, std::size_t length, std::string &out) {
  if (length == 0)
    return;
  if (heldLength > 0) {
    // The held item is at most maxSgr bytes long, so that many more decide it.
    char joined[2 * maxSgr];
    const std::size_t taken = std::min(length, maxSgr);
    std::memcpy(joined, held, heldLength);
    std::memcpy(joined + heldLength, bytes, taken);
    const std::size_t total = heldLength + taken;
    char *w = scratch.data();
    const std::size_t shown = Scan(joined, total, false, w);
    out.append(scratch.data(), static_cast<std::size_t>(w - scratch.data()));
    if (shown < heldLength) {
      // Still undecided, so all of `bytes` went into it.
      heldLength = total - shown;
      std::memmove(held, joined + shown, heldLength);
      return;
    }
    bytes += shown - heldLength;
    length -= shown - heldLength;
    heldLength = 0;
  }
  // A slice at a time into the scratch room, which holds what a slice can
  // become; what a slice cuts goes on in the next one.
  for (;;) {
    const std::size_t slice = std::min(length, sliceLength);
    char *w = scratch.data();
    const std::size_t shown = Scan(bytes, slice, false, w);
    out.append(scratch.data(), static_cast<std::size_t>(w - scratch.data()));
    bytes += shown;
    length -= shown;
    if (slice == shown + length)
      break;
  }
  heldLength = length;
  std::memcpy(held, bytes, heldLength);
}

void TextMask::Pause(std::string &out) {
  if (masking || applied) {
    char *w = scratch.data();
    Reset(w);
    out.append(scratch.data(), static_cast<std::size_t>(w - scratch.data()));
    restoring = attributesLength > 0 || reverse;
  }
}

void TextMask::End(std::string &out) {
  const std::size_t length = heldLength;
  heldLength = 0;
  char *w = scratch.data();
  Scan(held, length, true, w);
  if (masking || applied)
    Reset(w);
  out.append(scratch.data(), static_cast<std::size_t>(w - scratch.data()));
  restoring = false;
  reverse = false;
  attributesLength = 0;
}

std::size_t TextMask::Quote(const char *bytes, std::size_t length, std::string &out) const {
  const unsigned char *u = reinterpret_cast<const unsigned char *>(bytes);
  std::size_t columns = 0;
  bool inRun = false;
  for (std::size_t i = 0; i < length;) {
    const Class c = classes[u[i]];
    int size = c == Text ? 1 : invalid;
    if (c == LeadPair)
      size = Pair(u + i, length - i, true);
    else if (c >= Lead2)
      size = Utf8(u + i, length - i, true);
    if (size > 0) {
      if (inRun && keepColours)
        out += reverseOff;
      inRun = false;
      out.append(bytes + i, static_cast<std::size_t>(size));
      i += static_cast<std::size_t>(size);
      continue;
    }
    if (!inRun && keepColours)
      out += reverseOn;
    inRun = true;
    for (size = size == c1 ? 2 : 1; size > 0; --size) {
      char shown[4];
      const std::size_t width = Notation(u[i++], shown);
      out.append(shown, width);
      columns += width;
    }
  }
  if (inRun && keepColours)
    out += reverseOff;
  return columns;
}

inline long TextMask::Sgr(const char *p, std::size_t n, bool complete, Rendition &rendition) {
  // Most are one parameter of one or two digits, which is judged at once.
  if (n >= 5 && p[1] == '[' && IsDigit(p[2])) {
    // Both forms at once, without a branch between them.
    const bool oneDigit = p[3] == 'm';
    const bool twoDigits = IsDigit(p[3]) & (p[4] == 'm');
    if (oneDigit | twoDigits) {
      const unsigned char effect =
          shortEffects.of[oneDigit ? Digit(p[2]) : Digit(p[2]) * 10 + Digit(p[3])];
      rendition = Rendition::Of(effect);
      return (effect & Passes) != 0 ? 4 + twoDigits : 0;
    }
  }
  return LongSgr(p, n, complete, rendition);
}

long TextMask::LongSgr(const char *p, std::size_t n, bool complete, Rendition &rendition) {
  if (n < 2)
    return complete ? 0 : -1;
  if (p[1] != '[')
    return 0;
  std::size_t j = 2;
  while (j < n && IsSgrParameter(p[j]) && j < maxSgr - 1)
    ++j;
  if (j == n)
    return complete ? 0 : -1;
  if (p[j] != 'm')
    return 0;
  if (!Judge(p + 2, j - 2, rendition))
    return 0;
  return static_cast<long>(j + 1);
}

inline void TextMask::PassSgr(const char *p, std::size_t n, std::size_t readable,
                              const Rendition &rendition, char *&w) {
  if (!keepColours)
    return;
  EnterText(w);
  Copy(w, p, n, readable);
  Remember(p, n, readable, rendition);
}

inline void TextMask::Remember(const char *p, std::size_t n, std::size_t readable,
                               const Rendition &rendition) {
  applied = true;
  // Without a branch: a log alternates colours and resets.
  reverse = rendition.reverse != 0 ? rendition.reverse > 0 : reverse;
  attributesLength = rendition.resetsFirst ? 0 : attributesLength;
  if (attributesLength + n > maxAttributes)
    Forget(n);
  char *end = attributes + attributesLength;
  Copy(end, p, n, readable);
  attributesLength = rendition.resetsAll ? 0 : attributesLength + n;
}

void TextMask::Forget(std::size_t room) {
  // The oldest whole SGRs, until `room` is left.
  std::size_t drop = 0;
  while (attributesLength - drop + room > maxAttributes) {
    const void *next = std::memchr(attributes + drop + 1, '\x1b', attributesLength - drop - 1);
    drop = next != nullptr ? static_cast<std::size_t>(static_cast<const char *>(next) - attributes)
                           : attributesLength;
  }
  attributesLength -= drop;
  std::memmove(attributes, attributes + drop, attributesLength);
}

void TextMask::Replay(const char *p, std::size_t from, std::size_t end, std::size_t n) {
  // An SGR holds no ESC, and the last may go on past `end`.
  const char *q = p + from;
  while ((q = static_cast<const char *>(
              std::memchr(q, 0x1b, end - static_cast<std::size_t>(q - p)))) != nullptr) {
    const std::size_t readable = n - static_cast<std::size_t>(q - p);
    Rendition rendition;
    const long length = Sgr(q, readable, true, rendition);
    if (length > 0)
      Remember(q, static_cast<std::size_t>(length), readable, rendition);
    ++q;
  }
}

std::size_t TextMask::Verbatim(const char *p, std::size_t n, bool complete) {
  std::size_t i = 0;
#if defined(__SSE2__)
  // While a masked run is open or a Pause took the attributes off, the
  // table goes first, at the next SGR too.
  const bool sgrs = keepColours && !masking && !restoring;
  constexpr std::size_t none = ~std::size_t{0};
  // What the SGRs of the run do is taken at its end, from the last that
  // reset all on: what came before it no longer counts.
  bool escapesSeen = false;
  std::size_t lastReset = none;
  std::size_t end = none;
  unsigned wasHigh = 0;
  while (n - i >= 16 && Plain16(p + i))
    i += 16;
  while (end == none && n - i >= 16) {
    // Plain text, the most common, needs no closer look where no character
    // goes on into it (wasHigh): sixteen bytes at a time at first, then
    // sixty-four.
    if (i > 0 && wasHigh == 0) {
      while (n - i >= 64 && Plain64(p + i))
        i += 64;
      if (n - i < 16)
        break;
    }
    // Four blocks at a time where there are as many: their ESCs are then
    // looked at together, without a test for each block. The first alone:
    // among masked bytes a run is seldom longer.
    const std::size_t blocks = i > 0 && n - i >= 64 ? 4 : 1;
    std::uint64_t other = 0;
    std::uint64_t escapes = 0;
    std::uint64_t passing = 0;
    std::uint64_t resetting = 0;
    for (std::size_t k = 0; k < blocks; ++k) {
      const std::size_t at = i + 16 * k;
      const Block block = JudgeBlock(p, at, utf8, wasHigh);
      other |= std::uint64_t{block.other} << (16 * k);
      escapes |= std::uint64_t{block.escapes} << (16 * k);
      if (sgrs && block.escapes != 0 && n - at >= 20) {
        const ShortSgrs found = FindShortSgrs(p + at);
        passing |= std::uint64_t{found.passing} << (16 * k);
        resetting |= std::uint64_t{found.resetting} << (16 * k);
      }
    }
    if (!sgrs)
      other |= escapes;
    std::uint64_t before = ~std::uint64_t{0};
    if (other != 0) {
      before = (std::uint64_t{1} << __builtin_ctzll(other)) - 1;
      end = i + static_cast<std::size_t>(__builtin_ctzll(other));
    }
    for (std::uint64_t e = escapes & ~passing & before; e != 0; e &= e - 1) {
      const unsigned k = static_cast<unsigned>(__builtin_ctzll(e));
      Rendition rendition;
      if (Sgr(p + i + k, n - i - k, complete, rendition) <= 0) {
        // Not one that passes: the table masks it.
        before = (std::uint64_t{1} << k) - 1;
        end = i + k;
        break;
      }
      if (rendition.resetsFirst)
        resetting |= std::uint64_t{1} << k;
    }
    escapesSeen = escapesSeen || (escapes & before) != 0;
    if ((resetting & before) != 0)
      lastReset = i + 63 - static_cast<std::size_t>(__builtin_clzll(resetting & before));
    if (end == none)
      i += 16 * blocks;
  }
  if (end == none)
    end = i;
  // The table judges from the start of the character that holds the first
  // byte that is no text, or that goes on past the last block.
  if (utf8)
    end = Boundary(p, end);
  if (escapesSeen)
    Replay(p, lastReset != none ? lastReset : 0, end, n);
  return end;
#else
  (void)p;
  (void)n;
  (void)complete;
  return i;
#endif
}

std::size_t TextMask::Scan(const char *p, std::size_t n, bool complete, char *&w) {
  const unsigned char *u = reinterpret_cast<const unsigned char *>(p);
  std::size_t i = 0;
  std::size_t run = 0; // where the text not yet copied starts
  while (i < n) {
    // Not behind a byte of a character of several, which goes on below.
    // A byte that is masked whatever comes behind it needs no look at them.
    if (classes[u[i]] != Caret && classes[u[i]] != Hex) {
      i += Verbatim(p + i, n - i, complete);
      if (i == n)
        break;
    }
    const Class c = classes[u[i]];
    int length = 1;
    if (c == Text) {
      ++i;
      continue;
    }
    if (c >= Lead2) {
      length = Utf8(u + i, n - i, complete);
      if (length > 0) {
        i += static_cast<std::size_t>(length);
        continue;
      }
    } else if (c == LeadPair) {
      length = Pair(u + i, n - i, complete);
      if (length > 0) {
        i += static_cast<std::size_t>(length);
        continue;
      }
    }
    if (i > run) {
      EnterText(w);
      Copy(w, p + run, i - run, n - run);
    }
    if (c == Escape) {
      Rendition rendition;
      const long sgr = Sgr(p + i, n - i, complete, rendition);
      if (sgr < 0)
        return i;
      if (sgr > 0) {
        PassSgr(p + i, static_cast<std::size_t>(sgr), n - i, rendition, w);
        i += static_cast<std::size_t>(sgr);
        run = i;
        continue;
      }
    }
    if (length == cut)
      return i;
    MaskByte(u[i], w);
    if (length == c1)
      MaskByte(u[++i], w);
    run = ++i;
  }
  if (i > run) {
    EnterText(w);
    Copy(w, p + run, i - run, n - run);
  }
  return n;
}

int TextMask::Pair(const unsigned char *p, std::size_t n, bool complete) const {
  if (n < 2)
    return complete ? invalid : cut;
  return pairIsText(p[0], p[1]) ? 2 : invalid;
}

int TextMask::Utf8(const unsigned char *p, std::size_t n, bool complete) const {
  const int length = classes[p[0]] - Lead2 + 2;
  // The second byte's range rules out overlong forms, surrogates and
  // code points above U+10FFFF.
  unsigned char low = 0x80, high = 0xbf;
  if (p[0] == 0xe0)
    low = 0xa0;
  else if (p[0] == 0xed)
    high = 0x9f;
  else if (p[0] == 0xf0)
    low = 0x90;
  else if (p[0] == 0xf4)
    high = 0x8f;
  for (int k = 1; k < length; ++k) {
    if (static_cast<std::size_t>(k) == n)
      return complete ? invalid : cut;
    if (p[k] < low || p[k] > high)
      return invalid;
    low = 0x80;
    high = 0xbf;
  }
  return p[0] == 0xc2 && p[1] < 0xa0 ? c1 : length;
}

void TextMask::MaskByte(unsigned char b, char *&w) {
  if (keepColours && !masking) {
    Restore(w);
    // Set apart from the server's text whatever its own reverse video.
    if (reverse)
      Put(w, reverseOff);
    else
      Put(w, reverseOn);
    masking = true;
  }
  w += Notation(b, w);
}

void TextMask::EndMaskedRun(char *&w) {
  // Only reverse video changed: the server's attributes are still on.
  if (reverse)
    Put(w, reverseOn);
  else
    Put(w, reverseOff);
  masking = false;
}

void TextMask::Restore(char *&w) {
  if (!restoring)
    return;
  std::memcpy(w, attributes, attributesLength);
  w += attributesLength;
  // Where the SGR that turned it on was forgotten.
  if (reverse)
    Put(w, reverseOn);
  applied = true;
  restoring = false;
}

void TextMask::Reset(char *&w) {
  Put(w, reset);
  masking = false;
  applied = false;
}
