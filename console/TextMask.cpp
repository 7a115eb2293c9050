#include "TextMask.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {
const char reverse[] = "\x1b[0;7m";
const char reset[] = "\x1b[0m";

// What Utf8 says besides a text character's length.
const int invalid = 0; // the lead byte is no text; judge the next on its own
const int cut = -1;    // the character goes on past the bytes there are
const int c1 = -2;     // U+0080..U+009F, two bytes, not text

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

// Whether an SGR, ESC [ params m, leaves every attribute at its default:
// all its parameters are 0 or empty.
bool ResetsAll(const char *p, std::size_t n) {
  for (std::size_t i = 2; i + 1 < n; ++i)
    if (p[i] != '0' && p[i] != ';')
      return false;
  return true;
}

// Whether an SGR starts by resetting every attribute: its first parameter
// is 0 or empty, so that what came before it no longer counts.
bool StartsWithReset(const char *p, std::size_t n) {
  std::size_t i = 2;
  while (i + 1 < n && p[i] == '0')
    ++i;
  return p[i] == ';' || p[i] == 'm';
}
} // namespace

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
  if (masking) {
    out += reset;
    masking = false;
    restoring = !attributes.empty();
  } else if (!attributes.empty() && !restoring) {
    out += reset;
    restoring = true;
  }
}

void TextMask::End(std::string &out) {
  const std::size_t length = heldLength;
  heldLength = 0;
  Scan(held, length, true, out);
  if (masking || (!attributes.empty() && !restoring))
    out += reset;
  masking = false;
  restoring = false;
  attributes.clear();
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
        i += length;
        continue;
      }
    }
    if (i > run) {
      Plain(out);
      out.append(p + run, i - run);
    }
    if (c == Escape) {
      const long sgr = Sgr(p + i, n - i, complete);
      if (sgr < 0)
        return i;
      if (sgr > 0) {
        PassSgr(p + i, static_cast<std::size_t>(sgr), out);
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
    Plain(out);
    out.append(p + run, i - run);
  }
  return n;
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

long TextMask::Sgr(const char *p, std::size_t n, bool complete) {
  if (n < 2)
    return complete ? 0 : -1;
  if (p[1] != '[')
    return 0;
  std::size_t j = 2;
  while (j < n && IsSgrParameter(p[j]) && j < maxSgr - 1)
    ++j;
  if (j == n)
    return complete ? 0 : -1;
  return p[j] == 'm' ? static_cast<long>(j + 1) : 0;
}

void TextMask::PassSgr(const char *p, std::size_t n, std::string &out) {
  if (!keepColours)
    return;
  Plain(out);
  out.append(p, n);
  if (ResetsAll(p, n)) {
    attributes.clear();
    return;
  }
  if (StartsWithReset(p, n))
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
    out += reverse;
    masking = true;
    // The run's end sets the attributes anyway.
    restoring = false;
  }
  if (b < 0x20 || b == 0x7f) {
    out += '^';
    out += static_cast<char>(b ^ 0x40);
    return;
  }
  const char digits[] = "0123456789ABCDEF";
  const char notation[] = {'<', digits[b >> 4], digits[b & 0xf], '>'};
  out.append(notation, sizeof notation);
}

void TextMask::Plain(std::string &out) {
  if (masking) {
    out += reset;
    out += attributes;
    masking = false;
  } else if (restoring) {
    out += attributes;
  }
  restoring = false;
}
