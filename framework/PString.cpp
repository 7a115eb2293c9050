#include "PString.h"

#include <cstring>
#include <istream>

PString::PString(const char *value) : text(value != nullptr ? value : "") {}

PString &PString::operator=(const char *value) {
  text = value != nullptr ? value : "";
  return *this;
}

PString &PString::operator+=(char c) {
  if (c != '\0')
    text += c;
  return *this;
}

PString &PString::operator+=(const PString &other) {
  text += other.text;
  return *this;
}

PString PString::operator+(const PString &other) const {
  PString result(*this);
  result += other;
  return result;
}

PString operator+(const char *left, const PString &right) {
  PString result(left);
  result += right;
  return result;
}

int PString::Compare(const PString &other) const {
  return std::strcmp(text.c_str(), other.text.c_str());
}

std::istream &PString::ReadFrom(std::istream &stream) {
  // Into the string's own room, which a caller that reads line after line
  // into one string reuses instead of growing a new one each time.
  std::getline(stream, text);
  if (!text.empty() && text.back() == '\r')
    text.pop_back();
  std::string::size_type nul = text.find('\0');
  if (nul != std::string::npos)
    text.resize(nul);
  return stream;
}
