#include "ReceivedText.h"

#include "TextMask.h"

#include <algorithm>
#include <cstring>

// A part, its room included (a string's grows to at most twice what it
// holds), stays within the 64 KiB the client promises to hold.
static_assert(2 * TextMask::MostShown(ReceivedText::sliceLength) <= 64 * 1024);

ReceivedText::ReceivedText(TextMask *mask) : mask(mask) {}

void ReceivedText::Take(const ReceivedOutput::Piece &piece) {
  bytes = piece.bytes;
  remaining = piece.length;
  endsText = piece.ends && !piece.cut;
  given = false;
  rest = false;
}

bool ReceivedText::TakeRest() {
  masked.clear();
  if (mask != nullptr)
    mask->End(masked);
  remaining = 0;
  given = masked.empty();
  rest = true;
  return !given;
}

bool ReceivedText::Next(std::string_view &part) {
  if (given)
    return false;
  if (mask == nullptr || rest) {
    part = rest ? std::string_view(masked) : std::string_view(bytes, remaining);
    remaining = 0;
    given = true;
    return true;
  }
  // A slice at a time, so that what masking makes of many masked bytes
  // needs no more room than the promised 64 KiB.
  const std::size_t slice = std::min(remaining, sliceLength);
  masked.clear();
  mask->Feed(bytes, slice, masked);
  bytes += slice;
  remaining -= slice;
  if (remaining == 0 && endsText)
    mask->End(masked);
  else
    mask->Pause(masked);
  given = remaining == 0;
  part = masked;
  return true;
}

std::string ReceivedText::Quoted(const char *text) const {
  if (mask == nullptr)
    return text;
  std::string shown;
  mask->Quote(text, std::strlen(text), shown);
  return shown;
}
