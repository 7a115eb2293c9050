#pragma once

#include <chrono>
#include <string>

// What both ways of driving a child process do with the ends of its pipes.
class PipeEnd {
public:
  // Closes fd unless it is closed already, and marks it closed (-1).
  static void CloseIfOpen(int &fd);
  // Reads what a non-blocking fd has; closes it at end of file.
  static void Drain(int &fd, std::string &into);
  // Milliseconds left until deadline, 0 once it has passed.
  static int Remaining(std::chrono::steady_clock::time_point deadline);
};
