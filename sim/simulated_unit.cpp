#include "sim/simulated_unit.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

namespace stravon::sim {

namespace {

using Clock = std::chrono::steady_clock;

// Longest command line kept; the rest of a longer line is dropped and the
// line answered as unknown.
constexpr std::size_t kMaxLine = 256;
// The actuator's hard travel, far beyond any real stroke: an unlimited jog
// ends here instead of running off the number range.
constexpr double kHardTravel = 1.0e9;
constexpr double kStepTimerHz = 24'000'000.0;

void PutLe32(std::uint8_t* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void PutBe32(std::uint8_t* out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(value >> (8 * (3 - i)));
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Exactly the given text as hexadecimal digits, nothing else.
bool ParseHex(std::string_view text, std::uint32_t* value) {
  if (text.empty() || text.size() > 8) return false;
  std::uint32_t v = 0;
  for (char c : text) {
    const int d = HexValue(c);
    if (d < 0) return false;
    v = (v << 4) | static_cast<std::uint32_t>(d);
  }
  *value = v;
  return true;
}

// Exactly out.size() signed 32-bit decimal integers, each preceded by at
// least one blank; trailing blanks are allowed.
bool ParseArgs(std::string_view text, std::span<std::int64_t> out) {
  std::size_t i = 0;
  for (std::int64_t& value : out) {
    if (i >= text.size() || text[i] != ' ') return false;
    while (i < text.size() && text[i] == ' ') ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    if (i >= text.size() || !IsDigit(text[i])) return false;
    std::int64_t v = 0;
    while (i < text.size() && IsDigit(text[i])) {
      v = v * 10 + (text[i++] - '0');
      if (v > std::numeric_limits<std::int32_t>::max() + std::int64_t{1}) return false;
    }
    value = negative ? -v : v;
    if (value > std::numeric_limits<std::int32_t>::max()) return false;
  }
  while (i < text.size() && text[i] == ' ') ++i;
  return i == text.size();
}

// 0: still a possible variant query, 1: complete, -1: not one.
int VariantState(std::string_view text) {
  static constexpr std::string_view kHead =
      "\x1c"
      "c(";
  if (text.size() <= kHead.size()) return kHead.starts_with(text) ? 0 : -1;
  if (!text.starts_with(kHead)) return -1;
  const std::string_view digits = text.substr(kHead.size());
  const char last = digits.back();
  if (last == ')') return digits.size() > 1 ? 1 : -1;
  if (!IsDigit(last) || digits.size() > 9) return -1;
  return 0;
}

struct Classified {
  CommandKind kind;
  std::string_view rest;  // the text after the command letters
};

Classified Classify(std::string_view line) {
  if (VariantState(line) == 1) return {CommandKind::kVariantQuery, line.substr(3)};
  // The unit's address comes first; the simulated unit answers to any.
  std::size_t i = 0;
  while (i < line.size() && IsDigit(line[i])) ++i;
  if (i == 0) return {CommandKind::kUnknown, {}};
  const std::string_view rest = line.substr(i);
  static constexpr struct {
    std::string_view prefix;
    CommandKind kind;
  } kPrefixes[] = {
      {"?S", CommandKind::kStatus},     {"?h", CommandKind::kQueryH},
      {"?R", CommandKind::kIdentify},   {"F1", CommandKind::kPageLoad},
      {"F2", CommandKind::kPageCommit}, {"F3", CommandKind::kReadByte},
      {"S", CommandKind::kStop},        {"G", CommandKind::kGo},
      {"d", CommandKind::kDirection},   {"v", CommandKind::kSpeed},
      {"M", CommandKind::kMove},        {"P", CommandKind::kLimits},
  };
  for (const auto& p : kPrefixes) {
    if (rest.starts_with(p.prefix)) return {p.kind, rest.substr(p.prefix.size())};
  }
  return {CommandKind::kUnknown, {}};
}

std::string ErrorReply(int number) { return "Error " + std::to_string(number) + "\r"; }

bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  std::size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  // No fsync: the file guards against a simulator that is killed, not
  // against power loss, and page commits come many per second.
  if (close(fd) != 0) ok = false;
  if (ok && rename(temp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) unlink(temp.c_str());
  return ok;
}

timespec ToTimespec(Clock::duration d) {
  const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(d).count();
  return {static_cast<time_t>(ns / 1'000'000'000), static_cast<long>(ns % 1'000'000'000)};
}

}  // namespace

const char* CommandKindName(CommandKind kind) {
  switch (kind) {
    case CommandKind::kStop:
      return "stop";
    case CommandKind::kGo:
      return "go";
    case CommandKind::kDirection:
      return "direction";
    case CommandKind::kSpeed:
      return "speed";
    case CommandKind::kStatus:
      return "status";
    case CommandKind::kMove:
      return "move";
    case CommandKind::kLimits:
      return "limits";
    case CommandKind::kQueryH:
      return "query-h";
    case CommandKind::kIdentify:
      return "identify";
    case CommandKind::kPageLoad:
      return "page-load";
    case CommandKind::kPageCommit:
      return "page-commit";
    case CommandKind::kReadByte:
      return "read-byte";
    case CommandKind::kVariantQuery:
      return "variant-query";
    case CommandKind::kUnknown:
      break;
  }
  return "unknown";
}

std::array<std::uint8_t, kSettingsSize> DefaultSettingsBlock() {
  std::array<std::uint8_t, kSettingsSize> block{};
  PutLe32(&block[0], std::bit_cast<std::uint32_t>(0.003175f));
  PutLe32(&block[4], std::bit_cast<std::uint32_t>(0.0f));
  PutLe32(&block[8], std::bit_cast<std::uint32_t>(7.2f));
  block[12] = 'P';
  block[13] = '1';
  PutLe32(&block[16], 1);
  PutBe32(&block[56], static_cast<std::uint32_t>(-5000));
  PutBe32(&block[60], 630);
  return block;
}

Fault Fault::Error(int number) {
  Fault f;
  f.action = Action::kError;
  f.error_number = number;
  return f;
}

Fault Fault::Silence() {
  Fault f;
  f.action = Action::kSilence;
  return f;
}

Fault Fault::Reply(std::string text) {
  Fault f;
  f.action = Action::kReply;
  f.reply = std::move(text);
  return f;
}

Fault Fault::Overlong(std::size_t length) { return Reply(std::string(length, 'X')); }

Fault Fault::Split(std::size_t piece, std::chrono::milliseconds delay) {
  Fault f;
  f.piece_size = piece;
  f.piece_delay = delay;
  return f;
}

Fault Fault::DisconnectAfter(int after) {
  Fault f;
  f.action = Action::kDisconnect;
  f.skip = after;
  return f;
}

Fault Fault::CorruptStore(std::size_t offset) {
  Fault f;
  f.action = Action::kCorruptStore;
  f.corrupt_offset = offset % kPageSize;
  f.kind = CommandKind::kPageCommit;
  return f;
}

Fault Fault::For(CommandKind k) const {
  Fault f = *this;
  f.kind = k;
  return f;
}

Fault Fault::Times(int n) const {
  Fault f = *this;
  f.count = n;
  return f;
}

Fault Fault::Skip(int n) const {
  Fault f = *this;
  f.skip = n;
  return f;
}

SimulatedUnit::SimulatedUnit(UnitOptions options) : options_(std::move(options)) {
  if (!options_.unprogrammed) {
    const auto block = DefaultSettingsBlock();
    std::copy(block.begin(), block.end(), memory_.begin() + (kSettingsAddress - kMemoryAddress));
  }
}

SimulatedUnit::~SimulatedUnit() { Stop(); }

int SimulatedUnit::Start() {
  if (thread_.joinable()) {
    if (connected_) return EBUSY;
    thread_.join();  // it ended on an injected disconnect
  }
  if (wake_fd_ >= 0) {
    close(wake_fd_);
    wake_fd_ = -1;
  }
  {
    std::lock_guard lock(mutex_);
    if (!memory_loaded_ && !options_.memory_file.empty()) {
      const int fd = open(options_.memory_file.c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0 && errno != ENOENT) return errno;
      if (fd >= 0) {
        std::array<std::uint8_t, kMemorySize + 1> buffer{};
        std::size_t size = 0;
        while (size < buffer.size()) {
          const ssize_t n = read(fd, buffer.data() + size, buffer.size() - size);
          if (n < 0 && errno == EINTR) continue;
          if (n <= 0) break;
          size += static_cast<std::size_t>(n);
        }
        close(fd);
        if (size != kMemorySize) return EINVAL;
        std::copy_n(buffer.begin(), kMemorySize, memory_.begin());
      }
    }
    memory_loaded_ = true;
  }

  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) return errno;
  char name[128];
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
    const int error = errno;
    close(master);
    return error;
  }
  const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    const int error = errno;
    close(master);
    return error;
  }
  // Raw from the start, so that nothing the program sends before it sets
  // its own line settings is echoed or translated.
  termios tio{};
  if (tcgetattr(slave, &tio) == 0) {
    cfmakeraw(&tio);
    cfsetspeed(&tio, B115200);
    tcsetattr(slave, TCSANOW, &tio);
  }
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  const int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wake < 0) {
    const int error = errno;
    close(slave);
    close(master);
    return error;
  }

  master_fd_ = master;
  slave_hold_fd_ = slave;
  wake_fd_ = wake;
  line_.clear();
  line_overflow_ = false;
  in_variant_ = false;
  output_.clear();
  {
    std::lock_guard lock(mutex_);
    slave_path_ = name;
  }
  stop_ = false;
  connected_ = true;
  thread_ = std::thread(&SimulatedUnit::Serve, this);
  return 0;
}

void SimulatedUnit::Stop() {
  if (thread_.joinable()) {
    stop_ = true;
    const std::uint64_t one = 1;
    if (write(wake_fd_, &one, sizeof one) < 0) {
      // The eventfd cannot be full; nothing else can fail here.
    }
    thread_.join();
  }
  CloseTerminal();
  if (wake_fd_ >= 0) {
    close(wake_fd_);
    wake_fd_ = -1;
  }
  {
    std::lock_guard lock(mutex_);
    Settle(Clock::now());
    moving_ = false;
    jogging_ = false;
  }
  if (memory_loaded_ && !options_.memory_file.empty()) SaveMemory(options_.memory_file);
}

bool SimulatedUnit::IsConnected() const { return connected_; }

std::string SimulatedUnit::SlavePath() const {
  std::lock_guard lock(mutex_);
  return slave_path_;
}

std::vector<std::uint8_t> SimulatedUnit::ReadMemory(std::uint16_t address,
                                                    std::size_t count) const {
  std::lock_guard lock(mutex_);
  if (address < kMemoryAddress) return {};
  const std::size_t start = address - kMemoryAddress;
  if (start >= kMemorySize) return {};
  const std::size_t n = std::min(count, kMemorySize - start);
  return {memory_.begin() + static_cast<std::ptrdiff_t>(start),
          memory_.begin() + static_cast<std::ptrdiff_t>(start + n)};
}

bool SimulatedUnit::WriteMemory(std::uint16_t address, std::span<const std::uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  if (address < kMemoryAddress) return false;
  const std::size_t start = address - kMemoryAddress;
  if (start > kMemorySize || bytes.size() > kMemorySize - start) return false;
  std::copy(bytes.begin(), bytes.end(), memory_.begin() + static_cast<std::ptrdiff_t>(start));
  return true;
}

bool SimulatedUnit::SaveMemory(const std::string& path) const {
  std::array<std::uint8_t, kMemorySize> copy;
  {
    std::lock_guard lock(mutex_);
    copy = memory_;
  }
  return WriteFileAtomically(path, copy);
}

std::int32_t SimulatedUnit::Position() const {
  std::lock_guard lock(mutex_);
  return static_cast<std::int32_t>(std::floor(PositionAt(Clock::now())));
}

void SimulatedUnit::SetPosition(std::int32_t position) {
  std::lock_guard lock(mutex_);
  base_position_ = position;
  motion_start_ = Clock::now();
  moving_ = false;
  jogging_ = false;
}

bool SimulatedUnit::IsMoving() const {
  std::lock_guard lock(mutex_);
  return moving_ && PositionAt(Clock::now()) != EndPosition();
}

void SimulatedUnit::InjectFault(Fault fault) {
  std::lock_guard lock(mutex_);
  faults_.push_back(std::move(fault));
}

void SimulatedUnit::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_.clear();
}

std::vector<Exchange> SimulatedUnit::Transcript() const {
  std::lock_guard lock(mutex_);
  return transcript_;
}

void SimulatedUnit::ClearTranscript() {
  std::lock_guard lock(mutex_);
  transcript_.clear();
  counts_.fill(0);
}

int SimulatedUnit::CommandCount(CommandKind kind) const {
  std::lock_guard lock(mutex_);
  return counts_[static_cast<std::size_t>(kind)];
}

int SimulatedUnit::TotalCommands() const {
  std::lock_guard lock(mutex_);
  int total = 0;
  for (int c : counts_) total += c;
  return total;
}

void SimulatedUnit::Serve() {
  char buffer[4096];
  while (!stop_ && master_fd_ >= 0) {
    const Clock::time_point now = Clock::now();
    if (!FlushOutput(now)) break;
    short events = POLLIN;
    timespec wait{};
    timespec* timeout = nullptr;
    if (!output_.empty()) {
      if (output_.front().due <= now) {
        events |= POLLOUT;  // the program is not reading; wait until it does
      } else {
        wait = ToTimespec(output_.front().due - now);
        timeout = &wait;
      }
    }
    pollfd fds[2] = {{master_fd_, events, 0}, {wake_fd_, POLLIN, 0}};
    if (ppoll(fds, 2, timeout, nullptr) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents != 0) {
      std::uint64_t count = 0;
      if (read(wake_fd_, &count, sizeof count) < 0) {
        // Already drained; the loop condition decides.
      }
      continue;
    }
    if ((fds[0].revents & POLLIN) == 0 && (fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
      CloseTerminal();  // not expected while the slave is held open; never spin on it
      break;
    }
    if ((fds[0].revents & POLLIN) != 0) {
      for (;;) {
        const ssize_t n = read(master_fd_, buffer, sizeof buffer);
        if (n > 0) {
          HandleInput(buffer, static_cast<std::size_t>(n));
          if (master_fd_ < 0) break;
          continue;
        }
        if (n < 0 && errno == EINTR) continue;
        break;
      }
    }
  }
}

void SimulatedUnit::HandleInput(const char* bytes, std::size_t count) {
  for (std::size_t i = 0; i < count && master_fd_ >= 0; ++i) {
    const char c = bytes[i];
    if (c == '\r') {
      in_variant_ = false;
      EndLine();
      continue;
    }
    if (c == '\n') continue;  // tolerated after a carriage return
    if (line_.empty() && c == '\x1c') in_variant_ = true;
    if (line_.size() >= kMaxLine) {
      line_overflow_ = true;
      continue;
    }
    line_ += c;
    if (in_variant_) {
      // The variant query has no terminator: it is complete at its ')'.
      const int state = VariantState(line_);
      if (state == 1) {
        in_variant_ = false;
        HandleCommand(line_, false);
        line_.clear();
      } else if (state < 0) {
        in_variant_ = false;  // not one; the bytes stay an ordinary line
      }
    }
  }
}

void SimulatedUnit::EndLine() {
  HandleCommand(line_, line_overflow_);
  line_.clear();
  line_overflow_ = false;
}

void SimulatedUnit::HandleCommand(const std::string& command, bool overflow) {
  const Clock::time_point now = Clock::now();
  const CommandKind kind = overflow ? CommandKind::kUnknown : Classify(command).kind;
  std::string reply;
  bool disconnect = false;
  bool committed = false;
  std::size_t piece_size = 0;
  std::chrono::milliseconds piece_delay{0};
  {
    std::lock_guard lock(mutex_);
    ++counts_[static_cast<std::size_t>(kind)];
    // Every rule counts the commands it matches; the first one past its
    // skip count applies.
    Fault* applied = nullptr;
    for (Fault& fault : faults_) {
      if (fault.kind && *fault.kind != kind) continue;
      if (fault.skip > 0) {
        --fault.skip;
        continue;
      }
      if (applied == nullptr && fault.count != 0) applied = &fault;
    }
    Fault::Action action = Fault::Action::kNormal;
    if (applied != nullptr) {
      action = applied->action;
      piece_size = applied->piece_size;
      piece_delay = applied->piece_delay;
      switch (action) {
        case Fault::Action::kError:
          reply = ErrorReply(applied->error_number);
          break;
        case Fault::Action::kReply:
          Execute(kind, command, &committed);
          reply = applied->reply;
          break;
        case Fault::Action::kDisconnect:
          disconnect = true;
          break;
        case Fault::Action::kSilence:
          break;
        case Fault::Action::kCorruptStore:
          reply = Execute(kind, command, &committed);
          if (committed) memory_[last_commit_ + applied->corrupt_offset] ^= 0xFF;
          break;
        case Fault::Action::kNormal:
          reply = Execute(kind, command, &committed);
          break;
      }
      if (applied->count > 0) --applied->count;
      std::erase_if(faults_, [](const Fault& f) { return f.count == 0; });
    } else {
      reply = Execute(kind, command, &committed);
    }
    if (options_.keep_transcript) transcript_.push_back({kind, command, reply});
  }
  if (committed && !options_.memory_file.empty()) SaveMemory(options_.memory_file);

  Clock::time_point due = now;
  if (!output_.empty()) due = std::max(due, output_.back().due);
  if (options_.pacing_baud > 0) {
    const double bytes = static_cast<double>(command.size() + 1 + reply.size());
    due += std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double>(bytes * 10.0 / options_.pacing_baud));
  }
  if (disconnect) {
    output_.push_back({{}, due, true});
  } else if (piece_size > 0) {
    for (std::size_t at = 0; at < reply.size(); at += piece_size) {
      output_.push_back({reply.substr(at, piece_size), due, false});
      due += piece_delay;
    }
  } else if (!reply.empty()) {
    output_.push_back({std::move(reply), due, false});
  }
  FlushOutput(now);
}

bool SimulatedUnit::FlushOutput(Clock::time_point now) {
  while (!output_.empty() && output_.front().due <= now) {
    Chunk& chunk = output_.front();
    if (chunk.disconnect) {
      output_.clear();
      CloseTerminal();
      if (options_.on_disconnected) options_.on_disconnected();
      return false;
    }
    const ssize_t n = write(master_fd_, chunk.bytes.data(), chunk.bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return true;  // EAGAIN: the loop waits for room
    }
    chunk.bytes.erase(0, static_cast<std::size_t>(n));
    if (!chunk.bytes.empty()) return true;
    output_.pop_front();
  }
  return true;
}

void SimulatedUnit::CloseTerminal() {
  connected_ = false;  // before the program can see the hang-up
  if (master_fd_ >= 0) close(master_fd_);
  if (slave_hold_fd_ >= 0) close(slave_hold_fd_);
  master_fd_ = -1;
  slave_hold_fd_ = -1;
}

std::string SimulatedUnit::Execute(CommandKind kind, const std::string& command, bool* committed) {
  static const std::string kOk = "OK\r";
  const Clock::time_point now = Clock::now();
  const std::string_view rest = Classify(command).rest;
  std::int64_t args[3] = {};
  switch (kind) {
    case CommandKind::kStop:
    case CommandKind::kGo:
    case CommandKind::kStatus:
    case CommandKind::kQueryH:
      if (!ParseArgs(rest, {})) return ErrorReply(kErrorBadArgument);
      if (kind == CommandKind::kStatus) {
        return std::to_string(static_cast<std::int64_t>(std::floor(PositionAt(now)))) + "\r";
      }
      if (kind == CommandKind::kQueryH) {
        return (moving_ && PositionAt(now) != EndPosition()) ? "1\r" : "0\r";
      }
      Settle(now);
      moving_ = jogging_ = kind == CommandKind::kGo;
      if (jogging_) SetJogRate();
      return kOk;
    case CommandKind::kDirection:
    case CommandKind::kSpeed:
      if (!ParseArgs(rest, std::span(args, 1))) return ErrorReply(kErrorBadArgument);
      if (kind == CommandKind::kDirection && args[0] != 0 && args[0] != 1) {
        return ErrorReply(kErrorBadArgument);
      }
      if (kind == CommandKind::kSpeed && args[0] <= 0) return ErrorReply(kErrorBadArgument);
      Settle(now);
      if (kind == CommandKind::kDirection) {
        direction_ = static_cast<int>(args[0]);
      } else {
        speed_value_ = args[0];
      }
      if (jogging_) SetJogRate();
      return kOk;
    case CommandKind::kMove: {
      if (!ParseArgs(rest, std::span(args, 1))) return ErrorReply(kErrorBadArgument);
      Settle(now);
      jogging_ = false;
      target_ = args[0];
      const double distance = static_cast<double>(target_) - base_position_;
      moving_ = distance != 0.0;
      rate_ = std::copysign(options_.move_steps_per_second * options_.motion_speed, distance);
      return kOk;
    }
    case CommandKind::kLimits:
      if (!ParseArgs(rest, std::span(args, 3))) return ErrorReply(kErrorBadArgument);
      if (args[0] != 0 && args[0] != 1) return ErrorReply(kErrorBadArgument);
      if (args[0] == 1 && args[1] > args[2]) return ErrorReply(kErrorBadArgument);
      Settle(now);
      limits_on_ = args[0] == 1;
      lower_limit_ = args[1];
      upper_limit_ = args[2];
      return kOk;
    case CommandKind::kIdentify: {
      if (!ParseArgs(rest, std::span(args, 1))) return ErrorReply(kErrorBadArgument);
      switch (args[0]) {
        case 0:
          return "SIMULATED CONTROL UNIT\r";
        case 1:
          return "SN 000001\r";
        case 2:
          if (options_.identification2) return *options_.identification2 + "\r";
          return "SW#" + options_.software_number + " REV " + options_.firmware_revision + "\r";
        case 3:
          return "READY\r";
        default:
          return ErrorReply(kErrorBadArgument);
      }
    }
    case CommandKind::kPageLoad: {
      std::uint32_t offset = 0;
      std::uint32_t data = 0;
      if (rest.size() != 10 || !ParseHex(rest.substr(0, 2), &offset) ||
          !ParseHex(rest.substr(2), &data)) {
        return ErrorReply(kErrorBadArgument);
      }
      if (offset > kPageSize - 4) return ErrorReply(kErrorBadAddress);
      PutBe32(&page_[offset], data);  // the digits are in memory order
      return kOk;
    }
    case CommandKind::kPageCommit:
    case CommandKind::kReadByte: {
      std::uint32_t address = 0;
      if (rest.size() != 4 || !ParseHex(rest, &address)) return ErrorReply(kErrorBadArgument);
      const std::size_t span = kind == CommandKind::kPageCommit ? kPageSize : 1;
      if (address < kMemoryAddress || address - kMemoryAddress + span > kMemorySize) {
        return ErrorReply(kErrorBadAddress);
      }
      const std::size_t at = address - kMemoryAddress;
      if (kind == CommandKind::kPageCommit) {
        std::copy(page_.begin(), page_.end(), memory_.begin() + static_cast<std::ptrdiff_t>(at));
        last_commit_ = at;
        *committed = true;
        return kOk;
      }
      static constexpr char kDigits[] = "0123456789ABCDEF";
      return {kDigits[memory_[at] >> 4], kDigits[memory_[at] & 0xF], '\r'};
    }
    case CommandKind::kVariantQuery: {
      const int number = std::atoi(std::string(rest).c_str());
      const auto it = options_.variant_answers.find(number);
      return (it == options_.variant_answers.end() ? std::string("0") : it->second) + "\r";
    }
    case CommandKind::kUnknown:
      break;
  }
  return ErrorReply(kErrorUnknownCommand);
}

void SimulatedUnit::SetJogRate() {
  // Direction 1 goes with the negative speed codes, which the program uses
  // for jog plus: it stretches, towards larger positions.
  const double rate = kStepTimerHz / static_cast<double>(speed_value_) * options_.motion_speed;
  rate_ = direction_ == 1 ? rate : -rate;
}

double SimulatedUnit::EndPosition() const {
  if (!moving_) return base_position_;
  const bool up = rate_ > 0;
  double end = jogging_ ? (up ? kHardTravel : -kHardTravel) : static_cast<double>(target_);
  if (limits_on_) {
    // A limit stops motion that runs into it; motion already beyond it
    // and heading back is left alone.
    const double lower = static_cast<double>(lower_limit_);
    const double upper = static_cast<double>(upper_limit_);
    end = up ? std::min(end, std::max(base_position_, upper))
             : std::max(end, std::min(base_position_, lower));
  }
  return end;
}

double SimulatedUnit::PositionAt(Clock::time_point now) const {
  if (!moving_) return base_position_;
  const double elapsed = std::chrono::duration<double>(now - motion_start_).count();
  const double position = base_position_ + rate_ * elapsed;
  const double end = EndPosition();
  return rate_ > 0 ? std::min(position, end) : std::max(position, end);
}

void SimulatedUnit::Settle(Clock::time_point now) {
  const double position = PositionAt(now);
  if (moving_ && !jogging_ && position == EndPosition()) moving_ = false;
  base_position_ = position;
  motion_start_ = now;
}

}  // namespace stravon::sim
