// What the system's lock table (/proc/locks) shows about a file's locks, for
// tests that must know a run is waiting for, or holding, an output's lock.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <fstream>
#include <string>
#include <thread>

inline ino_t inode_of(const std::string& path) {
  struct stat status;
  return ::stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

// Whether, within a minute, the lock table shows a whole-file lock on the
// inode that is awaited (`waiting`) or held by someone.
inline bool lock_shows(ino_t inode, bool waiting) {
  // Built by appending: GCC 12 warns falsely of an overlap in "…" + string.
  std::string mark = ":";
  mark += std::to_string(inode);
  mark += ' ';
  for (auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(1);
       std::chrono::steady_clock::now() < deadline;) {
    std::ifstream locks("/proc/locks");
    for (std::string line; std::getline(locks, line);)
      if (line.find("FLOCK") != std::string::npos && line.find(mark) != std::string::npos &&
          (line.find("-> ") != std::string::npos) == waiting)
        return true;
    std::this_thread::yield();
  }
  return false;
}

// Whether a blocked lock request on the inode shows up within a minute.
inline bool lock_request_waits(ino_t inode) { return lock_shows(inode, true); }
