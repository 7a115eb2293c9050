#ifndef SKELLAN_APP_LINETOKENIZER_H
#define SKELLAN_APP_LINETOKENIZER_H

// Splits its own copy of a line into tokens, the way strtok does, cutting
// the copy in place.
class LineTokenizer {
public:
  // mode 0 skips delimiters before each token; any other mode does not.
  LineTokenizer(const char *text, const char *delimiters, int mode);
  ~LineTokenizer();
  LineTokenizer(const LineTokenizer &) = delete;
  LineTokenizer &operator=(const LineTokenizer &) = delete;

  // Moves on to the next token and returns the one that was current.
  const char *NextToken();
  // The current token; null when there is none.
  const char *Token() const { return token; }

private:
  int mode;
  const char *delimiters;
  char *token = nullptr;
  char *cursor = nullptr;
  char *copy = nullptr;
};

#endif
