// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/recovery_store.h"

#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

#include "protocol/protocol_file.h"

namespace stravon {
namespace {

namespace fs = std::filesystem;

constexpr const char* kExtension = ".tmt";

bool Set(const char* value) { return value != nullptr && *value != '\0'; }

// Local time first, so that names sort in the order the files were kept.
std::string KeptName(int count) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  return std::string(stamp) + "-" + std::to_string(::getpid()) + "-" + std::to_string(count) +
         kExtension;
}

}  // namespace

std::optional<std::string> RecoveryFolder(const char* xdg_state_home, const char* home) {
  if (Set(xdg_state_home) && xdg_state_home[0] == '/') {
    return std::string(xdg_state_home) + "/stravon";
  }
  if (Set(home)) return std::string(home) + "/.local/state/stravon";
  return std::nullopt;
}

RecoveryStore::RecoveryStore(std::string folder) : folder_(std::move(folder)) {}

std::optional<std::string> RecoveryStore::Keep(const TestSequence& sequence, std::string* error) {
  std::error_code failure;
  const bool made = fs::create_directories(folder_, failure);
  if (failure) {
    if (error) *error = "Cannot make the folder " + folder_ + ": " + failure.message();
    return std::nullopt;
  }
  // Only the folder's own level: the ones above it are shared with others.
  if (made) fs::permissions(folder_, fs::perms::owner_all, fs::perm_options::replace, failure);
  const std::string path = folder_ + "/" + KeptName(++kept_);
  TestSequence written = sequence;
  if (!WriteProtocolFile(path, written, error)) return std::nullopt;
  return path;
}

std::vector<std::string> RecoveryStore::List() const {
  std::vector<std::string> paths;
  std::error_code failure;
  for (fs::directory_iterator it(folder_, failure), end; !failure && it != end;
       it.increment(failure)) {
    const std::string name = it->path().filename().string();
    // A name with a leading dot is a write still in progress (or not ours).
    if (name.starts_with('.') || !name.ends_with(kExtension)) continue;
    std::error_code kind;
    if (!it->is_regular_file(kind)) continue;
    paths.push_back(it->path().string());
  }
  std::sort(paths.begin(), paths.end());
  return paths;
}

bool RecoveryStore::Remove(const std::string& path) {
  std::error_code failure;
  fs::remove(path, failure);
  return !failure;
}

void RecoveryStore::RemoveClaimed() {
  for (const std::string& path : claimed_) Remove(path);
  claimed_.clear();
}

}  // namespace stravon
