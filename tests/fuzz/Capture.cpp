#include "Capture.h"

Capture::int_type Capture::overflow(int_type c) {
  if (c != traits_type::eof())
    text += static_cast<char>(c);
  return traits_type::not_eof(c);
}

std::streamsize Capture::xsputn(const char *bytes, std::streamsize count) {
  text.append(bytes, static_cast<std::size_t>(count));
  return count;
}
