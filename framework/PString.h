#ifndef SKELLAN_FRAMEWORK_PSTRING_H
#define SKELLAN_FRAMEWORK_PSTRING_H

#include <cstddef>
#include <iosfwd>
#include <string>

typedef std::size_t PINDEX;
constexpr PINDEX P_MAX_INDEX = static_cast<PINDEX>(-1);

// A NUL-terminated character string. Its size counts the terminating NUL,
// as the framework's strings do; its length does not.
class PString {
public:
  PString() = default;
  PString(const char *text);
  virtual ~PString() = default;

  PString(const PString &) = default;
  PString &operator=(const PString &) = default;
  PString &operator=(const char *text);

  bool IsEmpty() const { return text.empty(); }
  PINDEX GetSize() const { return text.size() + 1; }
  PINDEX GetLength() const { return text.size(); }
  const char *GetPointer() const { return text.c_str(); }
  operator const char *() const { return text.c_str(); }

  PString &operator+=(char c);
  PString &operator+=(const PString &other);
  PString operator+(const PString &other) const;
  friend PString operator+(const char *left, const PString &right);

  // Zero when equal, otherwise the sign of the first differing byte.
  virtual int Compare(const PString &other) const;
  bool operator==(const PString &other) const { return Compare(other) == 0; }
  bool operator!=(const PString &other) const { return Compare(other) != 0; }

  // Reads one line: up to a line feed (not stored) or the end of input. One
  // carriage return just before the line's end is dropped; a NUL ends the
  // text and the rest of the line is read and dropped. The stream's failbit
  // is set only when nothing at all was left to read.
  std::istream &ReadFrom(std::istream &stream);

private:
  std::string text;
};

#endif
