// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/recovery_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "protocol/protocol_file.h"
#include "protocol/test_sequence.h"

namespace stravon {
namespace {

namespace fs = std::filesystem;

TEST(RecoveryFolderTest, StateHomeWhenAbsoluteElseTheHomeDefault) {
  struct Case {
    const char* state_home;
    const char* home;
    std::optional<std::string> folder;
  };
  const Case cases[] = {
      {"/run/state", "/home/ann", "/run/state/stravon"},
      {nullptr, "/home/ann", "/home/ann/.local/state/stravon"},
      {"", "/home/ann", "/home/ann/.local/state/stravon"},
      // A relative value is to be ignored: it would depend on the working folder.
      {"state", "/home/ann", "/home/ann/.local/state/stravon"},
      {nullptr, nullptr, std::nullopt},
      {"", "", std::nullopt},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(RecoveryFolder(c.state_home, c.home), c.folder)
        << (c.state_home ? c.state_home : "(unset)") << " " << (c.home ? c.home : "(unset)");
  }
}

class RecoveryStoreTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::path(::testing::TempDir()) / "recovery-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(root_, ignored);
  }

  static TestSequence Sequence(int reps) {
    TestSequence sequence;
    sequence.sets.resize(2);
    sequence.sets[1].NumReps = reps;
    sequence.sets[1].XMagnitude = 0.75;
    return sequence;
  }

  fs::path root_;
};

TEST_F(RecoveryStoreTest, KeptSequencesReadBackInTheOrderKept) {
  // Neither the state folder nor ours exists yet.
  RecoveryStore store((root_ / "state" / "stravon").string());
  EXPECT_TRUE(store.List().empty());
  std::string error;
  const std::optional<std::string> first = store.Keep(Sequence(3), &error);
  ASSERT_TRUE(first) << error;
  const std::optional<std::string> second = store.Keep(Sequence(4), &error);
  ASSERT_TRUE(second) << error;
  EXPECT_NE(*first, *second);
  EXPECT_EQ(fs::status(store.Folder()).permissions() & fs::perms::all, fs::perms::owner_all);

  // A write in progress and files of other kinds are not offered.
  std::ofstream(fs::path(store.Folder()) / ".x.tmt.tmp-1") << "half";
  std::ofstream(fs::path(store.Folder()) / "notes.txt") << "mine";
  fs::create_directory(fs::path(store.Folder()) / "folder.tmt");
  EXPECT_EQ(store.List(), (std::vector<std::string>{*first, *second}));

  for (const auto& [path, reps] : {std::pair{*first, 3}, std::pair{*second, 4}}) {
    TestSequence read;
    ASSERT_TRUE(ReadProtocolFile(path, read, &error)) << error;
    EXPECT_EQ(read.sets, Sequence(reps).sets);
  }

  EXPECT_TRUE(store.Remove(*first));
  EXPECT_TRUE(store.Remove(*first));  // gone already
  EXPECT_EQ(store.List(), (std::vector<std::string>{*second}));
}

TEST_F(RecoveryStoreTest, OnlyClaimedFilesGoWithTheRun) {
  RecoveryStore earlier(root_.string());
  std::string error;
  const std::optional<std::string> restored = earlier.Keep(Sequence(1), &error);
  const std::optional<std::string> offered_later = earlier.Keep(Sequence(2), &error);
  ASSERT_TRUE(restored && offered_later) << error;

  RecoveryStore run(root_.string());
  run.Claim(*restored);
  run.RemoveClaimed();
  EXPECT_EQ(run.List(), (std::vector<std::string>{*offered_later}));
  run.RemoveClaimed();  // forgotten: nothing more goes
  EXPECT_EQ(run.List(), (std::vector<std::string>{*offered_later}));
}

TEST_F(RecoveryStoreTest, AFolderThatCannotBeMadeIsReported) {
  std::ofstream(root_ / "file") << "in the way";
  RecoveryStore store((root_ / "file" / "stravon").string());
  std::string error;
  EXPECT_FALSE(store.Keep(Sequence(1), &error));
  EXPECT_NE(error.find(store.Folder()), std::string::npos) << error;
  EXPECT_TRUE(store.List().empty());
}

}  // namespace
}  // namespace stravon
