#include "ReceivedText.h"

#include "ReceivedOutput.h"
#include "TextMask.h"

ReceivedText::ReceivedText(TextMask *mask) : mask(mask) {}

std::string_view ReceivedText::Of(const char *bytes, std::size_t length, unsigned flags) {
  if (mask == nullptr)
    return std::string_view(bytes, length);
  masked.clear();
  mask->Feed(bytes, length, masked);
  if ((flags & ReceivedOutput::ClosesPiece) && !(flags & ReceivedOutput::FromStream))
    mask->End(masked);
  else
    mask->Pause(masked);
  return masked;
}

std::string_view ReceivedText::Rest() {
  masked.clear();
  if (mask != nullptr)
    mask->End(masked);
  return masked;
}
