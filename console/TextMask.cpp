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

// Appends how a byte that is not text shows: ^X for C0 and DEL, else <HH>;
// returns the columns that takes.
std::size_t Notation(unsigned char b, std::string &out) {
  if (b < 0x20 || b == 0x7f) {
    out += '^';
    out += static_cast<char>(b ^ 0x40);
    return 2;
  }
  const char digits[] = "0123456789ABCDEF";
  const char notation[] = {'<', digits[b >> 4], digits[b & 0xf], '>'};
  out.append(notation, sizeof notation);
  return 4;
}

#if defined(__SSE2__)
// A bit for each of the sixteen bytes at p that is not plainly text: plain
// text is printable ASCII and line feeds, most of what a server sends; the
// other bytes, tabs and carriage returns among them, go through the table.
unsigned NotPlain(const char *p) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(p));
  // Moved up by 0x60, 0x20..0x7E become 0x80..0xDE: as signed bytes, the
  // lowest there are, up to -34; every other byte lands above.
  const __m128i moved = _mm_add_epi8(bytes, _mm_set1_epi8(0x60));
  const __m128i notPrintable = _mm_cmpgt_epi8(moved, _mm_set1_epi8(-34));
  const __m128i lineFeed = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n'));
  return static_cast<unsigned>(_mm_movemask_epi8(_mm_andnot_si128(lineFeed, notPrintable)));
}
#endif

// How many bytes from p on, of the n there are, are plain text. Where SSE2
// is there they are found sixteen at a time, then, in a long run, forty-eight
// at a time; it may stop short of the run's end, and elsewhere it finds none:
// the table goes on from there.
std::size_t PlainRun(const char *p, std::size_t n) {
  std::size_t i = 0;
#if defined(__SSE2__)
  while (n - i >= 16) {
    const unsigned first = NotPlain(p + i);
    if (first != 0)
      return i + static_cast<std::size_t>(__builtin_ctz(first));
    i += 16;
    if (n - i < 48)
      continue;
    const std::uint64_t found = NotPlain(p + i) | std::uint64_t{NotPlain(p + i + 16)} << 16 |
                                std::uint64_t{NotPlain(p + i + 32)} << 32;
    if (found != 0)
      return i + static_cast<std::size_t>(__builtin_ctzll(found));
    i += 48;
  }
#else
  (void)p;
  (void)n;
#endif
  return i;
}

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

bool IsAttribute(unsigned v) { return v < 128 && (attributeBits[v >> 6] >> (v & 63) & 1) != 0; }

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
      r.resetsFirst = r.resetsAll = v == 0;
      r.reverse = v == 7 ? 1 : v == 0 || v == 27 ? -1 : 0;
      return IsAttribute(v);
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
    : keepColours(colours == KeepColours) {
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
  attributes.reserve(maxAttributes);
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
    const std::size_t shown = Scan(joined, total, false, out);
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
  const std::size_t shown = Scan(bytes, length, false, out);
  heldLength = length - shown;
  std::memcpy(held, bytes + shown, heldLength);
}

void TextMask::Pause(std::string &out) {
  if (masking || applied) {
    Reset(out);
    restoring = !attributes.empty() || reverse;
  }
}

void TextMask::End(std::string &out) {
  const std::size_t length = heldLength;
  heldLength = 0;
  Scan(held, length, true, out);
  if (masking || applied)
    Reset(out);
  restoring = false;
  reverse = false;
  attributes.clear();
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
    for (size = size == c1 ? 2 : 1; size > 0; --size)
      columns += Notation(u[i++], out);
  }
  if (inRun && keepColours)
    out += reverseOff;
  return columns;
}

std::size_t TextMask::Scan(const char *p, std::size_t n, bool complete, std::string &out) {
  const unsigned char *u = reinterpret_cast<const unsigned char *>(p);
  std::size_t i = 0;
  std::size_t run = 0; // where the text not yet appended starts
  while (i < n) {
    // Not behind a byte of a character of several, which goes on below.
    if (u[i] < 0x80) {
      i += PlainRun(p + i, n - i);
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
      EnterText(out);
      out.append(p + run, i - run);
    }
    if (c == Escape) {
      Rendition rendition;
      const long sgr = Sgr(p + i, n - i, complete, rendition);
      if (sgr < 0)
        return i;
      if (sgr > 0) {
        PassSgr(p + i, static_cast<std::size_t>(sgr), rendition, out);
        i += static_cast<std::size_t>(sgr);
        run = i;
        continue;
      }
    }
    if (length == cut)
      return i;
    MaskByte(u[i], out);
    if (length == c1)
      MaskByte(u[++i], out);
    run = ++i;
  }
  if (i > run) {
    EnterText(out);
    out.append(p + run, i - run);
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

long TextMask::Sgr(const char *p, std::size_t n, bool complete, Rendition &rendition) {
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

void TextMask::PassSgr(const char *p, std::size_t n, const Rendition &rendition, std::string &out) {
  if (!keepColours)
    return;
  EnterText(out);
  out.append(p, n);
  applied = true;
  if (rendition.reverse != 0)
    reverse = rendition.reverse > 0;
  if (rendition.resetsAll) {
    attributes.clear();
    return;
  }
  if (rendition.resetsFirst)
    attributes.clear();
  // Forget the oldest whole SGRs until this one fits.
  std::size_t drop = 0;
  while (attributes.size() - drop + n > maxAttributes)
    drop = attributes.find('\x1b', drop + 1);
  attributes.erase(0, drop);
  attributes.append(p, n);
}

void TextMask::MaskByte(unsigned char b, std::string &out) {
  if (keepColours && !masking) {
    Restore(out);
    // Set apart from the server's text whatever its own reverse video.
    out += reverse ? reverseOff : reverseOn;
    masking = true;
  }
  Notation(b, out);
}

void TextMask::EnterText(std::string &out) {
  if (masking) {
    // Only reverse video changed: the server's attributes are still on.
    out += reverse ? reverseOn : reverseOff;
    masking = false;
  } else {
    Restore(out);
  }
}

void TextMask::Restore(std::string &out) {
  if (!restoring)
    return;
  out += attributes;
  // Where the SGR that turned it on was forgotten.
  if (reverse)
    out += reverseOn;
  applied = true;
  restoring = false;
}

void TextMask::Reset(std::string &out) {
  out += reset;
  masking = false;
  applied = false;
}
