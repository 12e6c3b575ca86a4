#include "tests/atspi_session.h"

#include <atspi/atspi.h>
#include <dbus/dbus.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>
#include <utility>

#include "runtime/descriptor.h"

namespace atspi_test {

namespace {

using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr char BusProgram[] = "/usr/bin/dbus-daemon";
constexpr char RegistryProgram[] = "/usr/libexec/at-spi2-registryd";
constexpr char RegistryName[] = "org.a11y.atspi.Registry";
// GTK 2's own module directory; the bridge comes with libatk-adaptor, the
// accessible widgets with libgail-common.
constexpr char BridgeModule[] = GTK2_MODULE_DIR "/libatk-bridge.so";
constexpr char GailModule[] = GTK2_MODULE_DIR "/libgail.so";

// A loaded machine can take long to start a daemon; nothing here waits
// longer than this for one step.
constexpr auto StepLimit = 60s;

// The bus of the session, with no service directory: nothing is started on
// it but what the session starts itself, so nothing can outlive it. Its
// socket is an abstract one, which goes with the daemon however the test
// process ends.
std::string bus_configuration(const std::string& socket_name) {
  return "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
         " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
         "<busconfig>\n"
         "  <type>accessibility</type>\n"
         "  <listen>unix:abstract=" + socket_name + "</listen>\n"
         "  <auth>EXTERNAL</auth>\n"
         "  <policy context=\"default\">\n"
         "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
         "    <allow eavesdrop=\"true\"/>\n"
         "    <allow own=\"*\"/>\n"
         "  </policy>\n"
         "</busconfig>\n";
}

using runtime::Descriptor;

struct DBusErrorHolder {
  DBusErrorHolder() { dbus_error_init(&error); }
  ~DBusErrorHolder() { dbus_error_free(&error); }
  DBusErrorHolder(const DBusErrorHolder&) = delete;
  DBusErrorHolder& operator=(const DBusErrorHolder&) = delete;
  DBusError error;
};

struct ConnectionClose {
  void operator()(DBusConnection* connection) const {
    dbus_connection_close(connection);
    dbus_connection_unref(connection);
  }
};
using Connection = std::unique_ptr<DBusConnection, ConnectionClose>;

// Whether a name has an owner on the bus, asked over a connection of its
// own so that libatspi's connection starts only once the bus is complete.
bool name_owned(const std::string& address, const char* name) {
  DBusErrorHolder error;
  Connection connection(dbus_connection_open_private(address.c_str(), &error.error));
  if (!connection) return false;
  if (!dbus_bus_register(connection.get(), &error.error)) return false;
  return dbus_bus_name_has_owner(connection.get(), name, &error.error);
}

bool wait_for(const std::function<bool()>& condition, std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  for (;;) {
    if (condition()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
}

bool ended(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WNOHANG) == pid;
}

std::string file_text(const fs::path& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Starts the program with its output in `log`; `keep` is given to the
// program as descriptor 3.
pid_t spawn(const std::vector<std::string>& arguments, const fs::path& log, int keep = -1) {
  std::vector<std::string> copy = arguments;
  std::vector<char*> argv;
  for (std::string& argument : copy) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid != 0) return pid;
  // A test process that is killed (a timeout) takes the daemons along.
  if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || getppid() != parent) _exit(126);
  const int nothing = open("/dev/null", O_RDONLY);
  const int output = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (nothing < 0 || output < 0) _exit(126);
  dup2(nothing, 0);
  dup2(output, 1);
  dup2(output, 2);
  if (keep >= 0) dup2(keep, 3);
  execv(argv[0], argv.data());
  _exit(127);
}

}  // namespace

bool process_gone(pid_t pid) {
  if (pid <= 0) return true;
  if (kill(pid, 0) != 0) return errno == ESRCH;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  // The state follows the command name in parentheses.
  const size_t close = text.rfind(')');
  return close != std::string::npos && close + 2 < text.size() && text[close + 2] == 'Z';
}

namespace {

// The process's start-up record of sessions: libatspi allows only one.
bool& session_made() {
  static bool made = false;
  return made;
}

}  // namespace

AtspiSession& AtspiSession::shared() {
  static AtspiSession session;
  return session;
}

bool AtspiSession::made_before() { return session_made(); }

AtspiSession::AtspiSession() {
  if (std::exchange(session_made(), true)) {
    problem_ = "a process has one AT-SPI session at most (libatspi cannot connect twice)";
    return;
  }
  if (!find_requirements()) return;
  std::string pattern = (fs::temp_directory_path() / "atspi-session-XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    problem_ = "cannot make a folder for the bus: " + std::string(std::strerror(errno));
    return;
  }
  folder_ = pattern;
  if (!start_bus()) return;

  set_environment("AT_SPI_BUS_ADDRESS", address_);
  // Anything that looks for a session bus finds this one rather than
  // starting a bus of its own.
  set_environment("DBUS_SESSION_BUS_ADDRESS", address_);
  set_environment("GTK_MODULES", "gail:atk-bridge");
  // The bridge would also offer each reader a connection of its own to the
  // program, made in the user's runtime folder; libatspi handles the events
  // that come over such a connection by calling the program back from
  // inside their dispatch, which deadlocks a reader without a main loop. A
  // runtime folder that cannot exist leaves the bridge on the bus alone,
  // where a reader hears only the signals it asked for.
  set_environment("XDG_RUNTIME_DIR", "/dev/null/no-runtime-folder");
  const char* no_bridge = getenv("NO_AT_BRIDGE");
  saved_.push_back({"NO_AT_BRIDGE", no_bridge ? std::optional<std::string>(no_bridge) : std::nullopt});
  unsetenv("NO_AT_BRIDGE");
  if (!start_registry()) return;
  // The daemons hold their logs open; nothing else needs the folder, so a
  // test process that is killed leaves nothing behind.
  remove_folder();

  // Calls into a program on a loaded machine may take seconds.
  atspi_set_timeout(30000, 60000);
  if (atspi_init() > 1) {
    problem_ = "libatspi could not reach the bus at " + address_;
    return;
  }
  atspi_started_ = true;
  // Every reading asks the program afresh (see atspi_reader.h), so the
  // events that keep libatspi's cache are not needed; and its handlers of
  // them call the program back from inside the dispatch that delivered the
  // event, which deadlocks a reader that runs no main loop of its own.
  if (DBusConnection* bus = atspi_get_a11y_bus()) {
    const std::pair<const char*, const char*> signals[] = {
        {"org.a11y.atspi.Event.Object", "ChildrenChanged"},
        {"org.a11y.atspi.Event.Object", "PropertyChange"},
        {"org.a11y.atspi.Event.Object", "StateChanged"},
        {"org.a11y.atspi.Cache", "AddAccessible"},
        {"org.a11y.atspi.Cache", "RemoveAccessible"},
    };
    for (const auto& [interface, member] : signals)
      dbus_bus_remove_match(bus,
                            (std::string("type='signal',interface='") + interface + "',member='" +
                             member + "'")
                                .c_str(),
                            nullptr);
    dbus_connection_flush(bus);
  }
}

AtspiSession::~AtspiSession() {
  if (atspi_started_) atspi_exit();
  stop(registry_);
  stop(bus_);
  for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
    if (it->value)
      setenv(it->name.c_str(), it->value->c_str(), 1);
    else
      unsetenv(it->name.c_str());
  }
  remove_folder();
}

void AtspiSession::remove_folder() {
  if (folder_.empty()) return;
  std::error_code ignored;
  fs::remove_all(folder_, ignored);
  folder_.clear();
}

std::vector<pid_t> AtspiSession::processes() const {
  std::vector<pid_t> running;
  for (const pid_t pid : {bus_, registry_})
    if (pid > 0) running.push_back(pid);
  return running;
}

bool AtspiSession::find_requirements() {
  const std::pair<const char*, const char*> needed[] = {
      {BusProgram, "dbus-daemon"},
      {RegistryProgram, "at-spi2-core"},
      {BridgeModule, "libatk-adaptor"},
      {GailModule, "libgail-common"},
  };
  for (const auto& [path, package] : needed) {
    if (access(path, R_OK) != 0) {
      problem_ = std::string(path) + " is missing (package " + package + ")";
      missing_ = true;
      return false;
    }
  }
  return true;
}

bool AtspiSession::start_bus() {
  const fs::path configuration = folder_ / "bus.conf";
  std::ofstream(configuration) << bus_configuration(folder_.filename().string());
  int address_pipe[2];
  if (pipe2(address_pipe, O_CLOEXEC) != 0) {
    problem_ = "no pipe for the bus's address";
    return false;
  }
  Descriptor read_end(address_pipe[0]);
  Descriptor write_end(address_pipe[1]);
  bus_ = spawn({BusProgram, "--config-file=" + configuration.string(), "--nofork", "--nopidfile",
                "--print-address=3"},
               folder_ / "bus.log", write_end.get());
  write_end.reset();
  if (bus_ < 0) {
    problem_ = "cannot start " + std::string(BusProgram);
    return false;
  }
  // The daemon writes its address, then a line end, once it listens.
  const auto deadline = std::chrono::steady_clock::now() + StepLimit;
  std::string text;
  while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
    pollfd wait{read_end.get(), POLLIN, 0};
    if (poll(&wait, 1, 100) <= 0) continue;
    char buffer[512];
    const ssize_t n = read(read_end.get(), buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  if (text.find('\n') == std::string::npos) {
    problem_ = "the bus gave no address; its output: " + file_text(folder_ / "bus.log");
    return false;
  }
  address_ = text.substr(0, text.find('\n'));
  return true;
}

void AtspiSession::set_environment(const char* name, const std::string& value) {
  const char* old = getenv(name);
  saved_.push_back({name, old ? std::optional<std::string>(old) : std::nullopt});
  setenv(name, value.c_str(), 1);
}

bool AtspiSession::start_registry() {
  // The registry finds the bus through the environment, as every AT-SPI
  // program does.
  registry_ = spawn({RegistryProgram}, folder_ / "registry.log");
  if (registry_ < 0) {
    problem_ = "cannot start " + std::string(RegistryProgram);
    return false;
  }
  bool died = false;
  const bool owned = wait_for(
      [&] {
        if (ended(registry_)) {
          died = true;
          registry_ = -1;
          return true;
        }
        return name_owned(address_, RegistryName);
      },
      StepLimit);
  if (died || !owned) {
    problem_ = std::string("the registry ") + (died ? "ended" : "did not take its name in time") +
               "; its output: " + file_text(folder_ / "registry.log");
    return false;
  }
  return true;
}

void AtspiSession::stop(pid_t& pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  if (!wait_for([&] { return ended(pid); }, 20s)) {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  pid = -1;
}

}  // namespace atspi_test
