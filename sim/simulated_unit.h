#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace stravon::sim {

// The unit's memory as the simulator holds it: the program area followed
// directly by the settings block.
inline constexpr std::uint16_t kProgramAddress = 0x6E00;
inline constexpr std::size_t kProgramSize = 1408;
inline constexpr std::uint16_t kSettingsAddress = 0x7380;
inline constexpr std::size_t kSettingsSize = 64;
inline constexpr std::uint16_t kMemoryAddress = kProgramAddress;
inline constexpr std::size_t kMemorySize = kProgramSize + kSettingsSize;
inline constexpr std::size_t kPageSize = 64;

// Error numbers the simulated unit answers with on its own ("Error <n>\r").
inline constexpr int kErrorUnknownCommand = 20;  // also empty and over-long lines
inline constexpr int kErrorBadArgument = 21;
inline constexpr int kErrorBadAddress = 22;  // outside the memory above, or page offset > 60

// What a received command was. Faults can be aimed at one kind.
enum class CommandKind : int {
  kStop,          // 0S
  kGo,            // 0G
  kDirection,     // 0d <0|1>
  kSpeed,         // 0v <value>
  kStatus,        // 0?S
  kMove,          // 0M <position>
  kLimits,        // 0P <on> <lower> <upper>
  kQueryH,        // 0?h
  kIdentify,      // 0?R <index>
  kPageLoad,      // 0F1 OO DDDDDDDD
  kPageCommit,    // 0F2 AAAA
  kReadByte,      // 0F3 AAAA
  kVariantQuery,  // 1C 'c' '(' digits ')', no terminator
  kUnknown,
};
inline constexpr int kCommandKindCount = static_cast<int>(CommandKind::kUnknown) + 1;
const char* CommandKindName(CommandKind kind);

// The factory-fresh settings block: pitch 0.003175 mm, minimum size 0,
// soft limit 7.2 mm, series "P1", model 1, stroke -5000, offset position 630.
std::array<std::uint8_t, kSettingsSize> DefaultSettingsBlock();

struct UnitOptions {
  // Identification entry 2 is "SW#<software_number> REV <firmware_revision>"
  // unless identification2 is set, which replaces it verbatim.
  std::string firmware_revision = "4.1";
  std::string software_number = "74050";
  std::optional<std::string> identification2;
  // Answers to the five-byte variant queries, by query number, sent followed
  // by a carriage return. Numbers not listed are answered "0".
  std::map<int, std::string> variant_answers = {{4, "1"}, {6, "4"}};
  // A unit that was never programmed: the settings block all zeros instead
  // of the factory-fresh block. (The program area always starts as zeros.)
  bool unprogrammed = false;
  // When set: loaded by the first Start() if the file exists (exactly
  // kMemorySize bytes, the memory from kMemoryAddress on), and saved
  // atomically after every page commit and when the unit stops.
  std::string memory_file;
  // Non-zero: every reply is held back for the time its command and the
  // reply itself need on a wire at this baud rate (10 bits per byte).
  int pacing_baud = 0;
  // Motion rates: a jog runs at 24,000,000 / <speed value> steps per second,
  // a move at move_steps_per_second; both are multiplied by motion_speed
  // (tests use large factors so that moves finish at once).
  double move_steps_per_second = 2000.0;
  double motion_speed = 1.0;
  // Record every exchange (benchmarks turn it off to keep memory flat).
  bool keep_transcript = true;
  // Called on the serving thread after an injected disconnect closed the
  // pseudo-terminal.
  std::function<void()> on_disconnected;
};

// One injected fault. It applies to commands of `kind` (any kind when
// unset): the first `skip` matching commands pass normally, then the next
// `count` ones (every one after that when count < 0) get the fault.
struct Fault {
  enum class Action {
    kNormal,      // normal reply (useful with piece_size to split it)
    kError,       // "Error <error_number>\r"; the command is not carried out
    kSilence,     // no reply at all; the command is not carried out
    kReply,       // `reply` sent verbatim instead of the normal reply (add "\r"
                  // yourself); the command is carried out
    kDisconnect,  // the pseudo-terminal is closed instead of replying
    kCorruptStore,  // a page commit stores byte `corrupt_offset` of the page
                    // inverted, and answers as if all went well
  };
  Action action = Action::kNormal;
  int error_number = 97;
  std::string reply;
  std::size_t corrupt_offset = 0;
  // Non-zero: the reply goes out in pieces of this many bytes, piece_delay apart.
  std::size_t piece_size = 0;
  std::chrono::milliseconds piece_delay{0};
  std::optional<CommandKind> kind;
  int skip = 0;
  int count = 1;

  static Fault Error(int number);
  static Fault Silence();
  static Fault Reply(std::string text);
  // `length` bytes of text and no carriage return.
  static Fault Overlong(std::size_t length);
  static Fault Split(std::size_t piece, std::chrono::milliseconds delay);
  // Answers `after` commands normally, then closes on the next one.
  static Fault DisconnectAfter(int after);
  // The next page commit stores byte `offset` (0 to 63) of its page wrongly.
  static Fault CorruptStore(std::size_t offset);
  // Copies with the scope changed, for chaining: Fault::Error(97).Times(2).
  Fault For(CommandKind k) const;
  Fault Times(int n) const;
  Fault Skip(int n) const;
};

// One command as received (without its terminator) and the bytes sent back
// (empty when the unit stayed silent or disconnected).
struct Exchange {
  CommandKind kind = CommandKind::kUnknown;
  std::string command;
  std::string reply;
};

// A simulated control unit on the master side of a pseudo-terminal. The
// program under test opens SlavePath() like any serial port. All public
// operations are safe to call from any thread while the unit serves;
// Start, Stop, Disconnect and Reconnect belong to one controlling thread.
class SimulatedUnit {
 public:
  explicit SimulatedUnit(UnitOptions options = {});
  ~SimulatedUnit();  // stops and joins the serving thread
  SimulatedUnit(const SimulatedUnit&) = delete;
  SimulatedUnit& operator=(const SimulatedUnit&) = delete;

  // Opens a new pseudo-terminal (its slave side in raw mode, so the
  // program's own line settings are what count) and starts serving.
  // Returns 0 or an errno value (EINVAL for a memory file of the wrong size).
  int Start();
  // Stops serving and closes the pseudo-terminal: the program's reads fail
  // at once. Memory and position stay; a motion in progress ends.
  void Stop();
  // Unplug and re-plug. Reconnect opens a new pseudo-terminal, whose slave
  // path may differ from the previous one.
  void Disconnect() { Stop(); }
  int Reconnect() { return Start(); }
  bool IsConnected() const;
  // e.g. "/dev/pts/7"; empty before the first Start.
  std::string SlavePath() const;

  std::vector<std::uint8_t> ReadMemory(std::uint16_t address, std::size_t count) const;
  // False (and nothing written) when the range leaves the unit's memory.
  bool WriteMemory(std::uint16_t address, std::span<const std::uint8_t> bytes);
  // Writes the memory to `path` atomically (temporary file and rename).
  bool SaveMemory(const std::string& path) const;

  // Position in steps relative to the offset position, at this moment.
  std::int32_t Position() const;
  void SetPosition(std::int32_t position);
  bool IsMoving() const;

  void InjectFault(Fault fault);
  void ClearFaults();

  // Every exchange since the start or the last ClearTranscript, which also
  // sets the command counts back to zero.
  std::vector<Exchange> Transcript() const;
  void ClearTranscript();
  int CommandCount(CommandKind kind) const;
  int TotalCommands() const;

 private:
  using Clock = std::chrono::steady_clock;
  struct Chunk {
    std::string bytes;
    Clock::time_point due;
    bool disconnect = false;  // close the terminal here instead of sending
  };

  // Serving thread.
  void Serve();
  void HandleInput(const char* bytes, std::size_t count);
  void EndLine();
  void HandleCommand(const std::string& command, bool overflow);
  bool FlushOutput(Clock::time_point now);
  void CloseTerminal();

  // Under mutex_.
  std::string Execute(CommandKind kind, const std::string& command, bool* committed);
  double EndPosition() const;
  double PositionAt(Clock::time_point now) const;
  void Settle(Clock::time_point now);
  void SetJogRate();

  const UnitOptions options_;

  mutable std::mutex mutex_;
  std::array<std::uint8_t, kMemorySize> memory_{};
  std::array<std::uint8_t, kPageSize> page_{};
  std::size_t last_commit_ = 0;  // where the last page commit went in memory_
  bool memory_loaded_ = false;
  std::vector<Fault> faults_;
  std::vector<Exchange> transcript_;
  std::array<int, kCommandKindCount> counts_{};
  std::string slave_path_;
  // Motion: the position was base_position_ at motion_start_; while moving_
  // it runs at rate_ steps per second towards target_ (a move) or, for a
  // jog, until Stop (a limit holds it but the jog stays active, so that a
  // change of direction moves away from the limit).
  // The position is held with its fraction of a step so that frequent
  // commands during a jog do not slow it down by rounding.
  double base_position_ = 0.0;
  Clock::time_point motion_start_{};
  bool moving_ = false;
  bool jogging_ = false;
  double rate_ = 0.0;
  std::int64_t target_ = 0;
  int direction_ = 0;
  std::int64_t speed_value_ = 64000;
  bool limits_on_ = false;
  std::int64_t lower_limit_ = 0;
  std::int64_t upper_limit_ = 0;

  // Owned by the serving thread while it runs.
  int master_fd_ = -1;
  int slave_hold_fd_ = -1;  // keeps the terminal alive while the program has it closed
  int wake_fd_ = -1;
  std::string line_;
  bool line_overflow_ = false;
  bool in_variant_ = false;
  std::deque<Chunk> output_;

  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> connected_{false};
};

}  // namespace stravon::sim
