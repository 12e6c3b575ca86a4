// A private accessibility bus for the tests of one process, as a desktop
// with a screen reader has one: a D-Bus daemon with AT-SPI's bus
// configuration, the AT-SPI registry on it, and the environment that makes
// a GTK 2 program started from here load the accessibility bridge
// (GTK_MODULES=gail:atk-bridge) and find the bus. The test process reads
// over the same bus with libatspi.
//
// Everything it starts ends with it, and the environment is put back.
// libatspi connects once per process and cannot connect again after it has
// let go, so a process has one session at most: the tests of a process
// share AtspiSession::shared(), and a session made after another in the
// same process reports a problem instead of starting.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace atspi_test {

class AtspiSession {
 public:
  // Starts the bus and the registry and waits until the registry answers.
  AtspiSession();
  ~AtspiSession();
  AtspiSession(const AtspiSession&) = delete;
  AtspiSession& operator=(const AtspiSession&) = delete;

  // The process's session, started on the first call and ended when the
  // process exits.
  static AtspiSession& shared();
  // Whether a session has been made in this process before.
  static bool made_before();

  // Empty once ready; otherwise what is missing (a program, a file, a
  // toolkit module) or what went wrong.
  const std::string& problem() const { return problem_; }
  bool ready() const { return problem_.empty(); }
  // True when the problem is something this machine lacks (a package not
  // installed) rather than a failure.
  bool missing() const { return missing_; }

  const std::string& address() const { return address_; }
  // The processes it started, while they run.
  std::vector<pid_t> processes() const;

 private:
  // A variable of the environment, set for the session and put back after.
  struct SavedVariable {
    std::string name;
    std::optional<std::string> value;
  };

  bool find_requirements();
  bool start_bus();
  bool start_registry();
  void set_environment(const char* name, const std::string& value);
  void stop(pid_t& pid);
  void remove_folder();

  std::string problem_;
  bool missing_ = false;
  std::filesystem::path folder_;
  std::string address_;
  pid_t bus_ = -1;
  pid_t registry_ = -1;
  bool atspi_started_ = false;
  std::vector<SavedVariable> saved_;
};

// Whether the process has ended or is only left as a zombie of a parent
// that is gone; true also for a pid that never existed.
bool process_gone(pid_t pid);

}  // namespace atspi_test
