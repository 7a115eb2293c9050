#include "ServerScript.h"

#include <algorithm>
#include <cstring>

namespace {
// All generated messages of one input together, to keep each run short.
constexpr std::size_t maxGenerated = 320 * 1024;

// Each piece between NULs behind a carriage return with a prompt after it;
// a NUL at the very end opens no empty piece.
void AppendPieces(std::string &out, const char *bytes, std::size_t length) {
  std::size_t offset = 0;
  while (offset < length) {
    const char *nul = static_cast<const char *>(std::memchr(bytes + offset, '\0', length - offset));
    std::size_t end = nul == nullptr ? length : static_cast<std::size_t>(nul - bytes);
    out += '\r';
    out.append(bytes + offset, end - offset);
    out += "$ ";
    offset = end + 1;
  }
}
} // namespace

ServerScript::ServerScript(const std::uint8_t *data, std::size_t size) {
  if (size == 0)
    return;
  byteType = (data[0] & 1) != 0;
  reset = (data[0] & 2) != 0;
  std::size_t at = 1;
  std::size_t total = 0;
  while (at < size) {
    const std::uint8_t event = data[at++];
    switch (event & 3) {
    case 0: {
      std::size_t length = at < size ? data[at++] : 0;
      length = std::min(length, size - at);
      messages.push_back({data + at, length, length, 0, 0});
      at += length;
      break;
    }
    case 1: {
      std::size_t low = at < size ? data[at++] : 0;
      std::size_t high = at < size ? data[at++] : 0;
      std::size_t every = at < size ? data[at++] : 0;
      // Mostly up to 16 KiB, past the read buffer; one in 64 up to
      // 256 KiB, past the receiver's held piece. Longer ones only slow the
      // runs down: they take no other path (the end-to-end tests send the
      // longest).
      const std::size_t given = (high << 8) | low;
      const std::size_t wanted = (event >> 2) == 63 ? given << 2 : given >> 2;
      std::size_t length = std::min(wanted, maxGenerated - total);
      total += length;
      messages.push_back({nullptr, 0, length, every, static_cast<unsigned>(low)});
      break;
    }
    case 2: {
      if ((event >> 2) != 63) {
        messages.push_back({data + at, 0, 0, 0, 0});
        break;
      }
      std::size_t low = at < size ? data[at++] : 0;
      std::size_t high = at < size ? data[at++] : 0;
      const std::size_t count = at < size ? data[at++] : 0;
      const std::size_t unit = std::min<std::size_t>(count & 127, size - at);
      // Past the receiver's held piece, the one edge a longer message
      // adds, only when asked: long messages slow the runs down.
      const std::size_t wanted = (((high << 8) | low) >> 2) + (count & 128 ? 64 * 1024 : 0);
      const std::size_t length = unit == 0 ? 0 : std::min(wanted, maxGenerated - total);
      total += length;
      messages.push_back({data + at, unit, length, 0, 0});
      at += unit;
      break;
    }
    default:
      return;
    }
  }
}

void ServerScript::Fill(std::size_t index, std::string &bytes) const {
  const Message &message = messages[index];
  bytes.resize(message.length);
  if (message.length == 0)
    return;
  char *out = &bytes[0];
  std::size_t unit;
  if (message.unit != nullptr) {
    unit = std::min(message.unitLength, message.length);
    std::memcpy(out, message.unit, unit);
  } else {
    unit = std::min<std::size_t>(26, message.length);
    for (std::size_t i = 0; i < unit; ++i)
      out[i] = static_cast<char>('a' + (i + message.start) % 26);
  }
  // Copy whole units of what is there, doubling.
  for (std::size_t have = unit; have < message.length;) {
    const std::size_t more = std::min(have - have % unit, message.length - have);
    std::memcpy(out + have, out, more);
    have += more;
  }
  if (message.nulEvery != 0) {
    for (std::size_t i = message.nulEvery - 1; i < message.length; i += message.nulEvery)
      out[i] = '\0';
  }
}

bool ServerScript::Expected(const std::vector<bool> &sent,
                            const std::vector<std::size_t> &readSizes, std::string &output) const {
  output.clear();
  static std::string bytes, stream;
  if (!byteType) {
    for (std::size_t i = 0; i < messages.size(); ++i) {
      if (!sent[i])
        continue;
      Fill(i, bytes);
      AppendPieces(output, bytes.data(), bytes.size());
    }
    return true;
  }
  stream.clear();
  for (std::size_t i = 0; i < messages.size(); ++i) {
    if (!sent[i])
      continue;
    Fill(i, bytes);
    stream += bytes;
  }
  std::size_t offset = 0;
  for (std::size_t count : readSizes) {
    if (count == 0 || count > stream.size() - offset)
      return false;
    AppendPieces(output, stream.data() + offset, count);
    offset += count;
  }
  // Every byte of the stream was read before the end was seen.
  return offset == stream.size();
}

void ServerScript::Texts(const std::vector<bool> &sent, std::string &text,
                         std::vector<std::size_t> &ends) const {
  text.clear();
  ends.clear();
  static std::string bytes;
  for (std::size_t i = 0; i < messages.size(); ++i) {
    if (!sent[i])
      continue;
    Fill(i, bytes);
    std::size_t offset = 0;
    while (offset < bytes.size()) {
      std::size_t end = bytes.find('\0', offset);
      if (end == std::string::npos)
        end = bytes.size();
      text.append(bytes, offset, end - offset);
      if (!byteType)
        ends.push_back(text.size());
      offset = end + 1;
    }
  }
  if (byteType)
    ends.push_back(text.size());
}
