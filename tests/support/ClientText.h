#ifndef SKELLAN_TESTS_SUPPORT_CLIENTTEXT_H
#define SKELLAN_TESTS_SUPPORT_CLIENTTEXT_H

#include <cstddef>
#include <string>
#include <vector>

// What the client prints and the server sends, as the tests expect it.
namespace clienttext {

extern const std::string kConnected;
extern const std::string kClosed;
extern const std::string kNotConnected;
extern const std::string kCannotWrite;
extern const std::string kNoName;

std::string CannotConnect(const std::string &name);

// The bytes of the server's --send-size N: 'a' to 'z' over and over.
std::string Pattern(std::size_t size);
// The server's first `count` --tick messages, one after another.
std::string Ticks(std::size_t count);
// Server options that send `count` messages of `size` bytes each.
std::vector<std::string> Messages(std::size_t count, std::size_t size);
// Where `stream` first leaves the bytes of messages of `size` bytes each
// sent one after another; stream.size() when it never does.
std::size_t PatternBreak(const std::string &stream, std::size_t size);

} // namespace clienttext

#endif
