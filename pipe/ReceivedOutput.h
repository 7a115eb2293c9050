#ifndef SKELLAN_PIPE_RECEIVEDOUTPUT_H
#define SKELLAN_PIPE_RECEIVEDOUTPUT_H

#include <cstddef>

// Where the receiver hands what the server sends: the pieces of each read
// (the runs between NUL bytes), each with where it stands in what was
// sent. How they look, and when the output is flushed, is the owner's
// business.
class ReceivedOutput {
public:
  struct Piece {
    const char *bytes;
    std::size_t length;
    bool starts; // the piece's first bytes
    bool ends;   // the piece's last bytes
    // Its text goes on in the next read's: a byte-type pipe's read, which
    // may cut a character or a sequence anywhere.
    bool cut;
  };

  // Shows the pieces of one read, in order; false once the output takes no
  // more.
  virtual bool Show(const Piece *pieces, std::size_t count) = 0;
  // Nothing more comes from this connection.
  virtual void Ended() = 0;

protected:
  ~ReceivedOutput() = default;
};

#endif
