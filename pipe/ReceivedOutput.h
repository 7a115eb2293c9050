#ifndef SKELLAN_PIPE_RECEIVEDOUTPUT_H
#define SKELLAN_PIPE_RECEIVEDOUTPUT_H

#include <cstddef>

// Where the receiver hands what the server sends: runs of bytes, each with
// how it stands in what was sent. How they look on the screen is the
// owner's business.
class ReceivedOutput {
public:
  enum Flags : unsigned {
    OpensPiece = 1,  // the first bytes of a piece
    ClosesPiece = 2, // the last bytes of a piece
    FromStream = 4,  // a byte-type pipe's text, which reads cut anywhere
    MoreFollows = 8, // another piece of the same read comes at once
  };

  // Shows the bytes; false once the output takes no more.
  virtual bool Show(const char *bytes, std::size_t length, unsigned flags) = 0;
  // Nothing more comes from this connection.
  virtual void Ended() = 0;

protected:
  ~ReceivedOutput() = default;
};

#endif
