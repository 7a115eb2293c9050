#include "PCaselessString.h"

#include <cctype>

int PCaselessString::Compare(const PString &other) const {
  const unsigned char *left = reinterpret_cast<const unsigned char *>(GetPointer());
  const unsigned char *right = reinterpret_cast<const unsigned char *>(other.GetPointer());
  for (;; ++left, ++right) {
    int l = std::toupper(*left);
    int r = std::toupper(*right);
    if (l != r)
      return l < r ? -1 : 1;
    if (l == 0)
      return 0;
  }
}
