#ifndef SKELLAN_BENCH_FEEDTEXT_H
#define SKELLAN_BENCH_FEEDTEXT_H

#include <cstddef>
#include <string>

// What the benchmark's feeding server sends: lines of text of one kind, the
// same bytes on every run. None of it holds a carriage return, a '$' or the
// end mark, so that a reader can tell Skellan's frames ("\r" before a piece,
// "$ " after it) and the end from the text by counting single bytes.
class FeedText {
public:
  enum class Kind {
    Plain,    // printable ASCII words and line feeds
    Utf8,     // words in several scripts, two- to four-byte characters
    Coloured, // a log with SGR colours and attributes around its words
  };

  // The last byte of every workload but its line feed: a reader that has
  // seen it has seen all the rest.
  static constexpr char endMark = '~';

  // Whole lines of `kind`, at most `bytes` long and as near to it as the
  // lines allow; each coloured line ends with every attribute reset.
  static std::string Block(Kind kind, std::size_t bytes);
  // The last `bytes` (at least 2) of a stream: whole lines from the start
  // of `block`, dots up to the end, then the end mark and a line feed.
  static std::string Tail(const std::string &block, std::size_t bytes);
  // Message number `index` of `bytes` bytes (at least 2): printable ASCII
  // and a line feed; the last one ends with the end mark.
  static std::string Message(std::size_t index, std::size_t bytes, bool last);
};

#endif
