#include "Transcript.h"

namespace {

const std::string kPieceEnd = "$ ";

} // namespace

Transcript::Transcript(const std::string &output) {
  std::size_t at = 0;
  while (at < output.size()) {
    if (output[at] == '\r') {
      const std::size_t end = output.find(kPieceEnd, at + 1);
      if (end == std::string::npos) {
        break;
      }
      if (end == at + 1) {
        ++prompts_;
      } else {
        pieces_.push_back(output.substr(at + 1, end - at - 1));
      }
      at = end + kPieceEnd.size();
    } else {
      const std::size_t end = output.find('\n', at);
      if (end == std::string::npos) {
        break;
      }
      replies_.push_back(output.substr(at, end + 1 - at));
      at = end + 1;
    }
  }
  rest_ = output.substr(at);
}

std::string Transcript::Joined() const {
  std::string joined;
  for (const std::string &piece : pieces_) {
    joined += piece;
  }
  return joined;
}
