#ifndef SKELLAN_TESTS_SUPPORT_TRANSCRIPT_H
#define SKELLAN_TESTS_SUPPORT_TRANSCRIPT_H

#include <cstddef>
#include <string>
#include <vector>

// The client's output taken apart into what makes it up: the "\r$ " prompts
// of its reads, the replies of its commands (lines that do not begin with
// "\r") and the pieces it received ("\r" TEXT "$ "). It holds for outputs
// whose received texts are not empty and contain no "$ ", which the tests
// that use it make sure of; replies and pieces may come in any mix.
class Transcript {
public:
  explicit Transcript(const std::string &output);

  // False when the output ends inside a reply or a piece.
  bool Complete() const { return rest_.empty(); }
  // The bytes after the last whole prompt, reply or piece.
  const std::string &Rest() const { return rest_; }
  std::size_t Prompts() const { return prompts_; }
  const std::vector<std::string> &Replies() const { return replies_; }
  const std::vector<std::string> &Pieces() const { return pieces_; }
  // The received texts joined: a byte stream as it came.
  std::string Joined() const;

private:
  std::size_t prompts_ = 0;
  std::vector<std::string> replies_;
  std::vector<std::string> pieces_;
  std::string rest_;
};

#endif
