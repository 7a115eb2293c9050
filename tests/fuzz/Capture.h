#ifndef SKELLAN_TESTS_FUZZ_CAPTURE_H
#define SKELLAN_TESTS_FUZZ_CAPTURE_H

#include <streambuf>
#include <string>

// Keeps what is written to a stream in a string whose room stays from one
// input to the next. Nothing is buffered: after each write `text` holds it.
class Capture : public std::streambuf {
public:
  std::string text;

protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char *bytes, std::streamsize count) override;
};

#endif
