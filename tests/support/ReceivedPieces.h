#ifndef SKELLAN_TESTS_SUPPORT_RECEIVEDPIECES_H
#define SKELLAN_TESTS_SUPPORT_RECEIVEDPIECES_H

#include "ReceivedOutput.h"

#include <initializer_list>
#include <string_view>
#include <vector>

// Pieces as the receiver hands them on, for the outputs' tests. The text
// must outlive the call that shows it.
namespace receivedpieces {
using Piece = ReceivedOutput::Piece;

// A message's piece, whole; its first and its last part.
inline Piece Whole(std::string_view text) { return {text.data(), text.size(), true, true, false}; }
inline Piece First(std::string_view text) { return {text.data(), text.size(), true, false, false}; }
inline Piece Last(std::string_view text) { return {text.data(), text.size(), false, true, false}; }
// A byte-type pipe's read.
inline Piece Read(std::string_view text) { return {text.data(), text.size(), true, true, true}; }

// Shows the pieces as one read.
inline bool Show(ReceivedOutput &output, std::initializer_list<Piece> pieces) {
  const std::vector<Piece> read(pieces);
  return output.Show(read.data(), read.size());
}
} // namespace receivedpieces

#endif
