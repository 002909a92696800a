// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim/simulated_unit.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <utility>

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include "protocol/retry_on_eintr.h"

namespace stravon::sim {

namespace {

using Clock = std::chrono::steady_clock;

bool WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
  std::string temp = path + ".XXXXXX";
  const int fd = mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) return false;
  std::size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    const ssize_t n =
        RetryOnEintr([&] { return write(fd, bytes.data() + done, bytes.size() - done); });
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

SimulatedUnit::SimulatedUnit(UnitOptions options)
    : options_(std::move(options)), model_(options_) {}

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
          const ssize_t n =
              RetryOnEintr([&] { return read(fd, buffer.data() + size, buffer.size() - size); });
          if (n <= 0) break;
          size += static_cast<std::size_t>(n);
        }
        close(fd);
        if (size != kMemorySize) return EINVAL;
        UnitMemory memory;
        std::copy_n(buffer.begin(), kMemorySize, memory.begin());
        model_.SetMemory(memory);
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
  framer_.Reset();
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
    model_.Halt(Clock::now());
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
  return model_.ReadMemory(address, count);
}

bool SimulatedUnit::WriteMemory(std::uint16_t address, std::span<const std::uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  return model_.WriteMemory(address, bytes);
}

bool SimulatedUnit::SaveMemory(const std::string& path) const {
  UnitMemory copy;
  {
    std::lock_guard lock(mutex_);
    copy = model_.Memory();
  }
  return WriteFileAtomically(path, copy);
}

std::int32_t SimulatedUnit::Position() const {
  std::lock_guard lock(mutex_);
  return model_.Position(Clock::now());
}

void SimulatedUnit::SetPosition(std::int32_t position) {
  std::lock_guard lock(mutex_);
  model_.SetPosition(position, Clock::now());
}

bool SimulatedUnit::IsMoving() const {
  std::lock_guard lock(mutex_);
  return model_.IsMoving(Clock::now());
}

void SimulatedUnit::InjectFault(Fault fault) {
  std::lock_guard lock(mutex_);
  faults_.Add(std::move(fault));
}

void SimulatedUnit::ClearFaults() {
  std::lock_guard lock(mutex_);
  faults_.Clear();
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
      if (errno == EINTR) continue;  // the wait is worked out again from the clock
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
        const ssize_t n = RetryOnEintr([&] { return read(master_fd_, buffer, sizeof buffer); });
        if (n <= 0) break;
        for (const LineFramer::Line& line :
             framer_.Feed(std::string_view(buffer, static_cast<std::size_t>(n)))) {
          HandleCommand(line.text, line.overlong);
          if (master_fd_ < 0) break;  // an injected disconnect: the rest is lost
        }
        if (master_fd_ < 0) break;
      }
    }
  }
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
    const std::optional<Fault> applied = faults_.Next(kind);
    Fault::Action action = Fault::Action::kNormal;
    if (applied) {
      action = applied->action;
      piece_size = applied->piece_size;
      piece_delay = applied->piece_delay;
      switch (action) {
        case Fault::Action::kError:
          reply = ErrorReply(applied->error_number);
          break;
        case Fault::Action::kReply:
          model_.Execute(kind, command, now, &committed);
          reply = applied->reply;
          break;
        case Fault::Action::kDisconnect:
          disconnect = true;
          break;
        case Fault::Action::kSilence:
          break;
        case Fault::Action::kCorruptStore:
          reply = model_.Execute(kind, command, now, &committed);
          if (committed) model_.InvertByte(model_.LastCommitOffset() + applied->corrupt_offset);
          break;
        case Fault::Action::kNormal:
          reply = model_.Execute(kind, command, now, &committed);
          break;
      }
    } else {
      reply = model_.Execute(kind, command, now, &committed);
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
    const ssize_t n =
        RetryOnEintr([&] { return write(master_fd_, chunk.bytes.data(), chunk.bytes.size()); });
    if (n < 0) return true;  // EAGAIN: the loop waits for room
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

}  // namespace stravon::sim
