#include "ProcessCensus.h"

#include <dirent.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

namespace {

constexpr std::chrono::milliseconds kPoll{10};

std::string Folder(pid_t pid, const char *what) {
  return "/proc/" + std::to_string(pid) + "/" + what;
}

} // namespace

std::size_t ProcessCensus::Descriptors(pid_t pid) { return Entries(Folder(pid, "fd")).size(); }

std::size_t ProcessCensus::Threads(pid_t pid) { return Entries(Folder(pid, "task")).size(); }

std::size_t ProcessCensus::Receivers(pid_t pid) {
  std::size_t count = 0;
  for (const std::string &task : Entries(Folder(pid, "task"))) {
    std::ifstream comm(Folder(pid, "task/") + task + "/comm");
    std::string name;
    std::getline(comm, name);
    count += name == "PipeRxThread" ? 1 : 0;
  }
  return count;
}

bool ProcessCensus::WaitForReceivers(pid_t pid, std::size_t count, ChildProcess::Duration timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (Receivers(pid) != count) {
    if (std::chrono::steady_clock::now() >= deadline) {
      return false;
    }
    std::this_thread::sleep_for(kPoll);
  }
  return true;
}

std::vector<std::string> ProcessCensus::Entries(const std::string &folder) {
  std::vector<std::string> names;
  DIR *listing = opendir(folder.c_str());
  if (listing == nullptr) {
    return names;
  }
  while (const dirent *entry = readdir(listing)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") {
      names.push_back(name);
    }
  }
  closedir(listing);
  return names;
}
