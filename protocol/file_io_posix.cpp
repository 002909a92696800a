// SPDX-License-Identifier: GPL-3.0-or-later
#include "protocol/file_io.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "protocol/retry_on_eintr.h"

namespace stravon {
namespace {

std::string ErrnoText(int error_number) { return std::generic_category().message(error_number); }

// Sets `error` to "<what> <path>: <reason>" and returns false.
bool Fail(std::string* error, std::string_view what, const std::string& path, int error_number) {
  if (error) {
    *error = std::string(what);
    *error += ' ';
    *error += path;
    *error += ": ";
    *error += ErrnoText(error_number);
  }
  return false;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t written = RetryOnEintr([&] { return ::write(fd, data.data(), data.size()); });
    if (written < 0) return false;
    data.remove_prefix(static_cast<std::size_t>(written));
  }
  return true;
}

// Runs `produce` into `fd`; `write_error` is the errno of a failed write.
bool Produce(int fd, const ContentProducer& produce, int* write_error) {
  return produce([&](std::string_view piece) {
    if (WriteAll(fd, piece)) return true;
    *write_error = errno;
    return false;
  });
}

// The file to replace: the target of a symbolic link, so saving through a
// link updates what it points to instead of turning the link into a file.
// False with `error` set for a link that leads nowhere: replacing it by a
// file would silently break what the link stood for.
bool ResolveTarget(const std::string& path, std::string* target, std::string* error) {
  *target = path;
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) {
    if (error) {
      *error = "Cannot write " + path +
               (errno == ELOOP ? ": it is a loop of symbolic links"
                               : ": it is a symbolic link to a file that does not exist");
    }
    return false;
  }
  *target = resolved;
  ::free(resolved);
  return true;
}

// Creates a new temporary file next to `target`; returns its descriptor, or
// -1 with errno set.
int CreateTemporary(const std::string& target, std::string* temporary_path) {
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path target_path(target);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string name = "." + target_path.filename().string() + ".tmp-" +
                       std::to_string(::getpid()) + "-" + std::to_string(counter++);
    *temporary_path = (target_path.parent_path() / name).string();
    const int fd = ::open(temporary_path->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// Makes the rename itself durable. Best effort: the new file is already in
// place when this runs, so a failure here is not reported.
void SyncFolder(const std::string& target) {
  std::string folder = std::filesystem::path(target).parent_path().string();
  if (folder.empty()) folder = ".";
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool WriteInPlace(const std::string& path, const std::string& target,
                  const ContentProducer& produce, std::string* error) {
  const int fd =
      RetryOnEintr([&] { return ::open(target.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC); });
  if (fd < 0) return Fail(error, "Cannot write", path, errno);
  int write_error = 0;
  const bool produced = Produce(fd, produce, &write_error);
  if (write_error != 0) {
    ::close(fd);
    return Fail(error, "Cannot write", path, write_error);
  }
  if (::close(fd) != 0) return Fail(error, "Cannot write", path, errno);
  return produced;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* contents, std::string* error,
                   std::size_t limit) {
  const int fd = RetryOnEintr([&] { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); });
  if (fd < 0) return Fail(error, "Cannot open", path, errno);
  const auto too_large = [&](const std::string& what) {
    ::close(fd);
    if (error) {
      *error = "Cannot read " + path + ": " + what + " more than the " + std::to_string(limit) +
               " bytes allowed";
    }
    return false;
  };
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      static_cast<unsigned long long>(info.st_size) > limit) {
    return too_large("it is " + std::to_string(info.st_size) + " bytes,");
  }
  std::string data;
  char buffer[8192];
  for (;;) {
    const ssize_t got = RetryOnEintr([&] { return ::read(fd, buffer, sizeof buffer); });
    if (got == 0) break;
    if (got < 0) {
      const int read_error = errno;  // e.g. EISDIR for a folder
      ::close(fd);
      return Fail(error, "Cannot read", path, read_error);
    }
    if (data.size() + static_cast<std::size_t>(got) > limit) return too_large("it holds");
    data.append(buffer, static_cast<std::size_t>(got));
  }
  ::close(fd);
  *contents = std::move(data);
  return true;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view contents, std::string* error) {
  return ReplaceFileAtomically(
      path, [contents](const PieceWriter& write) { return write(contents); }, error);
}

bool ReplaceFileAtomically(const std::string& path, const ContentProducer& produce,
                           std::string* error) {
  std::string target;
  if (!ResolveTarget(path, &target, error)) return false;
  struct stat existing {};
  const bool exists = ::stat(target.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) return Fail(error, "Cannot write", path, EISDIR);
  // A device, a FIFO or a socket is written to, never replaced by a file:
  // renaming over /dev/null, or over a pipe a reader waits on, would break
  // it for everyone.
  if (exists && !S_ISREG(existing.st_mode)) return WriteInPlace(path, target, produce, error);
  const bool keep_mode = exists;

  std::string temporary;
  const int fd = CreateTemporary(target, &temporary);
  if (fd < 0) return Fail(error, "Cannot write", path, errno);

  // From here on, every failure removes the temporary file.
  auto abandon = [&](std::string_view what, int error_number) {
    ::unlink(temporary.c_str());
    return Fail(error, what, path, error_number);
  };
  if (keep_mode) ::fchmod(fd, existing.st_mode & 07777);  // best effort
  int write_error = 0;
  const bool produced = Produce(fd, produce, &write_error);
  if (write_error == 0 && produced && ::fsync(fd) != 0) write_error = errno;
  if (write_error != 0 || !produced) {
    ::close(fd);
    if (write_error != 0) return abandon("Cannot write", write_error);
    ::unlink(temporary.c_str());
    return false;  // the producer reported its own reason
  }
  if (::close(fd) != 0) return abandon("Cannot write", errno);  // never retried
  if (::rename(temporary.c_str(), target.c_str()) != 0) return abandon("Cannot replace", errno);
  SyncFolder(target);
  return true;
}

}  // namespace stravon
