// SPDX-License-Identifier: GPL-3.0-or-later
// stravon-sim: a simulated control unit on a pseudo-terminal, optionally
// inside a fixture sysfs/dev tree so that the programs find it through their
// normal port detection.

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/fault_grammar.h"
#include "sim/fixture_tree.h"
#include "sim/simulated_unit.h"
#include "stravon/version.h"

namespace {

namespace fs = std::filesystem;
using stravon::sim::Fault;

constexpr const char* kUsage =
    R"(Usage: stravon-sim [options]

Serves a simulated control unit on a pseudo-terminal until interrupted
(SIGINT or SIGTERM). SIGUSR1 unplugs the unit, or plugs it in again.

  --dir DIR            build a fixture tree in DIR/sys and DIR/dev around the
                       unit and print the environment settings that make the
                       programs find it; the tree is removed at exit
  --as IDENTITY        unit (default), bridge, controller, tagged or board
  --answers A4,A6      answers to the variant queries 4 and 6 (default 1,4)
  --unprogrammed       a unit that was never programmed (settings all zero)
  --memory FILE        load the unit's memory from FILE when it exists; save it
                       after every page commit and at exit
  --revision TEXT      firmware revision in identification entry 2 (default 4.1)
  --software NUMBER    software number in identification entry 2 (default 74050)
  --identification TEXT  identification entry 2 verbatim
  --baud N             hold every reply for its wire time at N baud
  --motion-speed F     multiply every motion rate by F (default 1)
  --replug-ms N        after an injected disconnect, plug in again after N ms
  --fault FAULT        inject a fault (repeatable); FAULT is an action and
                       optional settings, comma-separated:
                         error=N | silence | reply=TEXT | overlong=N |
                         split=BYTES/MS | disconnect | corrupt=N
                         on=KIND      only commands of this kind
                         times=N      this many times (all: every time)
                         skip=N       let N matching commands pass first
                       KIND: stop go direction speed status move limits
                       query-h identify page-load page-commit read-byte
                       variant-query unknown. reply=TEXT gets a carriage
                       return added. corrupt=N stores byte N (0-63) of the
                       next committed page inverted and answers OK.
                       Examples: error=97,times=2   silence,on=status
                                 reply=ZZ,on=read-byte   disconnect,skip=40
  --help               show this text
  --version            show the version

Prints the environment settings as export lines, then a line "ready".
)";

int Fail(const std::string& message) {
  std::fprintf(stderr, "stravon-sim: %s\n", message.c_str());
  return 2;
}

// The fixture tree around the unit's pseudo-terminal. A marker file tells a
// tree left by an earlier run (killed before it could clean up) from folders
// that belong to someone else.
class Tree {
 public:
  Tree(std::string dir, stravon::sim::UsbIdentity identity)
      : dir_(std::move(dir)), identity_(std::move(identity)) {}
  ~Tree() { Remove(); }

  bool Create(std::string* error) {
    std::error_code ec;
    const fs::path dir(dir_);
    const fs::path marker = dir / kMarker;
    for (const char* sub : {"sys", "dev"}) {
      if (fs::exists(dir / sub, ec) && !fs::exists(marker, ec)) {
        *error = (dir / sub).string() + " exists and was not made by stravon-sim";
        return false;
      }
    }
    fs::remove_all(dir / "sys", ec);
    fs::remove_all(dir / "dev", ec);
    fs::create_directories(dir, ec);
    std::ofstream(marker) << "fixture tree of a running stravon-sim\n";
    tree_.emplace(dir_);
    created_ = true;
    if (!tree_->ok()) {
      *error = "cannot make the fixture tree in " + dir_;
      return false;
    }
    return true;
  }

  bool Plug(const std::string& slave) {
    tty_name_ = tree_->AddUsbPort(identity_, slave, tty_name_);
    return !tty_name_.empty();
  }
  void Unplug() { tree_->RemovePort(tty_name_); }

  std::string SysfsRoot() const { return tree_->SysfsRoot(); }
  std::string DevRoot() const { return tree_->DevRoot(); }
  const std::string& TtyName() const { return tty_name_; }

 private:
  static constexpr const char* kMarker = ".stravon-sim-tree";

  void Remove() {
    if (!created_) return;
    tree_.reset();
    std::error_code ec;
    const fs::path dir(dir_);
    fs::remove_all(dir / "sys", ec);
    fs::remove_all(dir / "dev", ec);
    fs::remove(dir / kMarker, ec);
    fs::remove(dir, ec);  // only when nothing else is left in it
  }

  std::string dir_;
  stravon::sim::UsbIdentity identity_;
  std::optional<stravon::sim::FixtureTree> tree_;
  std::string tty_name_;
  bool created_ = false;
};

}  // namespace

int main(int argc, char** argv) {
  stravon::sim::UnitOptions options;
  std::string dir;
  std::string identity_name = "unit";
  long long replug_ms = -1;
  std::vector<Fault> faults;

  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const auto value = [&]() -> const char* {
      if (i + 1 >= argc) return nullptr;
      return argv[++i];
    };
    const char* v = nullptr;
    long long n = 0;
    if (arg == "--help" || arg == "-h") {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (arg == "--version") {
      std::printf("stravon-sim %s\n", std::string(stravon::kVersion).c_str());
      return 0;
    } else if (arg == "--unprogrammed") {
      options.unprogrammed = true;
    } else if (arg == "--dir" || arg == "--as" || arg == "--answers" || arg == "--memory" ||
               arg == "--revision" || arg == "--software" || arg == "--identification" ||
               arg == "--baud" || arg == "--motion-speed" || arg == "--replug-ms" ||
               arg == "--fault") {
      if ((v = value()) == nullptr) return Fail(std::string(arg) + " needs a value");
      const std::string_view text = v;
      if (arg == "--dir") {
        dir = v;
      } else if (arg == "--as") {
        identity_name = v;
      } else if (arg == "--answers") {
        const std::size_t comma = text.find(',');
        if (comma == std::string_view::npos) return Fail("--answers wants A4,A6");
        options.variant_answers = {{4, std::string(text.substr(0, comma))},
                                   {6, std::string(text.substr(comma + 1))}};
      } else if (arg == "--memory") {
        options.memory_file = v;
      } else if (arg == "--revision") {
        options.firmware_revision = v;
      } else if (arg == "--software") {
        options.software_number = v;
      } else if (arg == "--identification") {
        options.identification2 = v;
      } else if (arg == "--baud") {
        if (!stravon::sim::ParseInteger(text, 0, 100000000, &n)) {
          return Fail("--baud wants a number");
        }
        options.pacing_baud = static_cast<int>(n);
      } else if (arg == "--motion-speed") {
        char* end = nullptr;
        options.motion_speed = std::strtod(v, &end);
        if (*end != '\0' || !(options.motion_speed > 0)) {
          return Fail("--motion-speed wants a positive number");
        }
      } else if (arg == "--replug-ms") {
        if (!stravon::sim::ParseInteger(text, 0, 3600000, &replug_ms)) {
          return Fail("--replug-ms wants a number");
        }
      } else {
        Fault fault;
        std::string error;
        if (!stravon::sim::ParseFault(text, &fault, &error))
          return Fail("--fault " + std::string(text) + ": " + error);
        faults.push_back(std::move(fault));
      }
    } else {
      return Fail("unknown option '" + std::string(arg) + "' (see --help)");
    }
  }

  stravon::sim::UsbIdentity identity;
  if (!stravon::sim::IdentityByName(identity_name, &identity)) {
    return Fail("unknown identity '" + identity_name +
                "' (unit, bridge, controller, tagged, board)");
  }

  // Signals are taken synchronously; the serving thread inherits the mask.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  stravon::sim::SimulatedUnit unit(options);
  for (Fault& fault : faults) unit.InjectFault(std::move(fault));
  if (const int error = unit.Start(); error != 0) {
    if (error == EINVAL && !options.memory_file.empty()) {
      return Fail(options.memory_file + " is not a memory image of " +
                  std::to_string(stravon::sim::kMemorySize) + " bytes");
    }
    return Fail(std::string("cannot start the unit: ") + std::strerror(error));
  }

  std::optional<Tree> tree;
  if (!dir.empty()) {
    tree.emplace(dir, identity);
    std::string error;
    if (!tree->Create(&error)) return Fail(error);
    if (!tree->Plug(unit.SlavePath())) return Fail("cannot add the port to the fixture tree");
    std::printf("# %s on %s\n", tree->TtyName().c_str(), unit.SlavePath().c_str());
    std::printf("export STRAVON_SYSFS_ROOT=%s\n", fs::absolute(tree->SysfsRoot()).c_str());
    std::printf("export STRAVON_DEV_ROOT=%s\n", fs::absolute(tree->DevRoot()).c_str());
  } else {
    std::printf("# unit on %s\n", unit.SlavePath().c_str());
  }
  std::printf("ready\n");
  std::fflush(stdout);

  // Watch for an injected disconnect (the tree then shows the unit unplugged)
  // and for the signals, ten times a second.
  bool plugged = true;
  std::optional<std::chrono::steady_clock::time_point> replug_at;
  const auto plug = [&](bool in) {
    if (in) {
      if (unit.Reconnect() != 0) return;
      if (tree) tree->Plug(unit.SlavePath());
      std::fprintf(stderr, "stravon-sim: plugged in on %s\n", unit.SlavePath().c_str());
    } else {
      unit.Disconnect();
      if (tree) tree->Unplug();
      std::fprintf(stderr, "stravon-sim: unplugged\n");
    }
    plugged = in;
    replug_at.reset();
  };
  for (;;) {
    const timespec tick{0, 100'000'000};
    const int sig = sigtimedwait(&signals, nullptr, &tick);
    if (sig == SIGINT || sig == SIGTERM) break;
    if (sig == SIGUSR1) plug(!plugged);
    if (plugged && !unit.IsConnected()) {
      plug(false);
      if (replug_ms >= 0) {
        replug_at = std::chrono::steady_clock::now() + std::chrono::milliseconds(replug_ms);
      }
    }
    if (replug_at && std::chrono::steady_clock::now() >= *replug_at) plug(true);
  }

  unit.Stop();
  if (!options.memory_file.empty() && !unit.SaveMemory(options.memory_file)) {
    std::fprintf(stderr, "stravon-sim: cannot save the memory to %s\n",
                 options.memory_file.c_str());
    return 1;
  }
  return 0;
}
