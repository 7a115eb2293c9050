#ifndef SKELLAN_TESTS_FUZZ_SERVERSCRIPT_H
#define SKELLAN_TESTS_FUZZ_SERVERSCRIPT_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What a server does to the client in one fuzz input, and what the client
// must show for it.
//
// The first byte: bit 0 a byte-type pipe (a stream), bit 1 the end is a
// reset (the server leaves a message of the client's unread as it closes)
// rather than a plain close; the harness reads its other bits. Then
// events, each starting with a byte E:
//   E & 3 == 0: a message of the next byte's count of bytes, taken from the
//               input;
//   E & 3 == 1: a generated message: the next two bytes (little-endian),
//               N, give its length: N / 4, or N * 4 when E >> 2 is 63
//               (320 KiB in all the generated messages of an input at
//               most); the byte after them how often a NUL comes (0: never);
//               the text 'a' to 'z' from where N's low byte says;
//   E & 3 == 2: an empty message; but when E >> 2 is 63 (E is 0xfe) a
//               repeated message, so that escape sequences and characters
//               fall on every read's and every part's edge: the next two
//               bytes (little-endian), N, give its length N / 4, 64 KiB
//               more when the top bit of the byte after them, K, is set
//               (counted with the generated messages); the K & 127 bytes
//               after K (fewer where the input ends) are repeated to fill
//               it; none at all make it empty;
//   E & 3 == 3: the server ends the connection there; the rest is ignored.
// The input running out ends the connection too. On a byte-type pipe a
// message is a chunk of the stream.
class ServerScript {
public:
  ServerScript(const std::uint8_t *data, std::size_t size);

  bool IsByteType() const { return byteType; }
  bool EndsInReset() const { return reset; }
  std::size_t Messages() const { return messages.size(); }
  // Puts message `index` into `bytes`, replacing what was there.
  void Fill(std::size_t index, std::string &bytes) const;

  // What the receiver must show when the kernel took the messages that
  // `sent` marks. A stream's reads may cut it anywhere, and each read is
  // shown on its own: `readSizes` are the counts the client's reads
  // returned. False when those counts do not add up to the stream.
  bool Expected(const std::vector<bool> &sent, const std::vector<std::size_t> &readSizes,
                std::string &output) const;
  // The texts a terminal judges each on its own, of the messages that
  // `sent` marks: a message pipe's pieces between NULs; a stream's bytes,
  // which NULs only cut into pieces, as one. They go into `text` one after
  // the other, `ends` where each ends.
  void Texts(const std::vector<bool> &sent, std::string &text,
             std::vector<std::size_t> &ends) const;

private:
  // The message is `unit` repeated to `length`: the input's own bytes, or
  // when `unit` is null the alphabet from 'a' + `start`, a NUL at every
  // `nulEvery`th byte.
  struct Message {
    const std::uint8_t *unit;
    std::size_t unitLength;
    std::size_t length;
    std::size_t nulEvery;
    unsigned start;
  };

  bool byteType = false;
  bool reset = false;
  std::vector<Message> messages;
};

#endif
