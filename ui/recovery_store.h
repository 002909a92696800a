// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "protocol/test_sequence.h"

namespace stravon {

// The question asked at start for each protocol kept by an ending that could
// not ask (a signal, the desktop session ending); the file's path follows it.
inline constexpr const char* kRecoveryQuestion =
    "Stravon ended without being able to ask about unsaved edits, and kept this\n"
    "protocol for you. Restore it in a document window, or discard it?";

// The folder where the working sequences with unsaved edits are kept when
// the program ends with no one to ask: $XDG_STATE_HOME/stravon, or
// ~/.local/state/stravon when that is unset or not an absolute path (as the
// base-directory convention says). Nothing when neither gives a folder.
std::optional<std::string> RecoveryFolder(const char* xdg_state_home, const char* home);

// Working sequences kept in one folder, in the protocol file format, one file
// each, so that the next start can offer them again. Files this run restored
// are claimed: they go once this run has either ended cleanly (every edit was
// asked about) or kept their documents anew.
class RecoveryStore {
 public:
  explicit RecoveryStore(std::string folder);

  const std::string& Folder() const { return folder_; }

  // Writes `sequence` to a new file of its own, replaced atomically so that
  // a reader never sees half of it; the folder is made (private to the user)
  // when missing. The file's path, or nothing with `error` set.
  std::optional<std::string> Keep(const TestSequence& sequence, std::string* error);

  // The kept files, oldest first (names begin with the time they were kept).
  std::vector<std::string> List() const;

  // Removes one kept file; a file already gone counts as removed.
  bool Remove(const std::string& path);

  void Claim(const std::string& path) { claimed_.push_back(path); }
  // Removes the claimed files, and forgets them.
  void RemoveClaimed();

 private:
  std::string folder_;
  std::vector<std::string> claimed_;
  int kept_ = 0;
};

}  // namespace stravon
