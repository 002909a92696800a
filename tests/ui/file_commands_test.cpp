// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/file_commands.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/enumerations.h"
#include "protocol/protocol_file.h"
#include "protocol/test_sequence.h"
#include "tests/support/recording_front_end.h"
#include "ui/settings_store.h"
#include "ui/stage_model.h"

namespace stravon {
namespace {

namespace fs = std::filesystem;
using test_support::RecordingFrontEnd;

constexpr const char* kProgram = "/opt/lab/bin/stravon";
HardwareSettings Settings() {
  HardwareSettings settings;
  settings.TravelSoftLimit = 40.0f;
  return settings;
}

TEST(TemplateFolderTest, DirectoryPart) {
  const struct {
    const char* path;
    const char* folder;
  } cases[] = {
      {"D:\\data\\x.tmt", "D:\\data\\"},
      {"/home/lab/x.tmt", "/home/lab/"},
      {"/home/lab\\old/x.tmt", "/home/lab\\old/"},
      {"/home/lab/old\\x.tmt", "/home/lab/old\\"},
      {"/x.tmt", "/"},
      {"x.tmt", ""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(DirectoryPart(c.path), c.folder) << c.path;
}

TEST(TemplateFolderTest, DefaultFolderIsBesideTheProgramFolder) {
  const struct {
    const char* program;
    const char* folder;
  } cases[] = {
      {"C:\\P\\bin\\prog.exe", "C:\\P\\Templates"},
      {"/opt/lab/bin/stravon", "/opt/lab/Templates"},
      {"/bin/stravon", "/Templates"},
  };
  for (const auto& c : cases) EXPECT_EQ(DefaultTemplateDirectory(c.program), c.folder);
}

TEST(TemplateFolderTest, StoredFolderWinsOverTheDefault) {
  MemorySettingsStore settings;
  EXPECT_EQ(ReadTemplateDirectory(settings, kProgram), "/opt/lab/Templates");
  EXPECT_FALSE(settings.Contains(kSettingsSection, kTemplateDirValue));  // never written back

  WriteTemplateDirectory(settings, "");
  EXPECT_EQ(ReadTemplateDirectory(settings, kProgram), "/opt/lab/Templates");

  WriteTemplateDirectory(settings, "/data/protocols/");
  EXPECT_EQ(settings.ReadString("Settings", "TemplateDir", ""), "/data/protocols/");
  EXPECT_EQ(ReadTemplateDirectory(settings, kProgram), "/data/protocols/");
}

TestSequence TwoSets() {
  TestSequence sequence;
  TestSet set;
  set.XUnits = MeasureUnit::Millimetre;
  set.XMagnitude = 2.5;
  sequence.sets = {set, set};
  sequence.sets[1].NumReps = 4;
  return sequence;
}

// A folder in the test's temporary area, removed afterwards.
class FileCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (fs::path(::testing::TempDir()) / "file-commands-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    folder_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  std::string Stored() const { return settings_.ReadString("Settings", "TemplateDir", "<none>"); }

  fs::path folder_;
  RecordingFrontEnd front_end_;
  MemorySettingsStore settings_;
  FileCommands commands_{front_end_, settings_, kProgram};
  StageModel stage_{front_end_};
  TestSequence protocol_;
};

TEST_F(FileCommandsTest, NothingHappensBeforeTheSettingsAreRead) {
  stage_.RefreshFromDocument(TwoSets());
  front_end_.QueueFileAnswer((folder_ / "x.tmt").string());
  EXPECT_EQ(commands_.Open(false, protocol_, stage_), FileCommandResult::kNotReady);
  EXPECT_TRUE(front_end_.Dialogs().empty());
  EXPECT_TRUE(front_end_.Boxes().empty());
  EXPECT_TRUE(protocol_.sets.empty());
  EXPECT_EQ(Stored(), "<none>");
}

TEST_F(FileCommandsTest, CancelChangesNothing) {
  stage_.RefreshFromDocument(TwoSets());
  EXPECT_EQ(commands_.Open(true, protocol_, stage_), FileCommandResult::kCancelled);
  EXPECT_EQ(stage_.WorkingSequence(), TwoSets());
  protocol_ = TwoSets();
  EXPECT_EQ(commands_.Save(protocol_), FileCommandResult::kCancelled);
  ASSERT_EQ(front_end_.Dialogs().size(), 2u);
  EXPECT_EQ(front_end_.Dialogs()[0].kind, FrontEnd::FileDialogKind::kOpen);
  EXPECT_EQ(front_end_.Dialogs()[1].kind, FrontEnd::FileDialogKind::kSave);
  EXPECT_EQ(front_end_.Dialogs()[1].initial_path, "/opt/lab/Templates");
  EXPECT_EQ(Stored(), "<none>");
  EXPECT_TRUE(front_end_.Output().empty());
}

TEST_F(FileCommandsTest, ACommitWithoutSetsShowsOnlyItsMessage) {
  EXPECT_EQ(stage_.CommitSequence(Settings(), protocol_), -1);
  EXPECT_EQ(front_end_.BoxTexts(),
            std::vector<std::string>{"Please Specify a Test Sequence Before Executing"});
  EXPECT_TRUE(front_end_.Dialogs().empty());
}

TEST_F(FileCommandsTest, SaveThenOpenRoundTrips) {
  const fs::path path = folder_ / "x.tmt";
  stage_.RefreshFromDocument(TwoSets());
  front_end_.AppendOutput("earlier text\n");
  front_end_.QueueFileAnswer(path.string());
  protocol_ = stage_.WorkingSequence();
  ASSERT_EQ(commands_.Save(protocol_), FileCommandResult::kDone);
  EXPECT_EQ(front_end_.Output(), "Protocol File Successfully Saved\n");
  EXPECT_EQ(Stored(), folder_.string() + "/");
  EXPECT_EQ(protocol_.columns.size(), 9u);  // the writer's columns
  EXPECT_EQ(commands_.LastFile(), path.string());

  // Opening replaces every set of a longer protocol and the stage's rows.
  TestSequence document;
  document.sets.resize(3);
  StageModel other_stage(front_end_);
  other_stage.RefreshFromDocument(document);
  front_end_.QueueFileAnswer(path.string());
  ASSERT_EQ(commands_.Open(true, document, other_stage), FileCommandResult::kDone);
  EXPECT_EQ(front_end_.Dialogs().back().initial_path, folder_.string() + "/");
  EXPECT_EQ(document.sets, TwoSets().sets);
  EXPECT_EQ(other_stage.WorkingSequence(), document);
  EXPECT_EQ(other_stage.RowCount(), 2);
  EXPECT_EQ(commands_.LastFile(), path.string());
  EXPECT_EQ(front_end_.Output(), "Protocol File Successfully Opened\n");
  EXPECT_TRUE(front_end_.Boxes().empty());
}

TEST_F(FileCommandsTest, FileThatCannotBeReadIsReportedAndChangesNothing) {
  const fs::path locked = folder_ / "locked.tmt";
  std::ofstream(locked) << "XFunction\t\nRamp\t\n";
  fs::permissions(locked, fs::perms::none);
  const fs::path binary = folder_ / "image.bin";
  std::ofstream(binary, std::ios::binary) << std::string(
      "\x7F"
      "ELF\x02\x01",
      6);
  struct Case {
    fs::path path;
    std::string reason;
  };
  const Case cases[] = {
      {folder_ / "sub" / "missing.tmt", "No such file or directory"},
      {locked, "Permission denied"},
      {binary, " is not a protocol file: reading stopped at line 1"},
  };
  for (const Case& c : cases) {
    // The superuser reads any file.
    if (c.path == locked && ::geteuid() == 0) continue;
    stage_.RefreshFromDocument(TwoSets());
    protocol_ = TwoSets();
    front_end_.Clear();
    front_end_.AppendOutput("earlier text\n");
    front_end_.QueueFileAnswer(c.path.string());
    EXPECT_EQ(commands_.Open(true, protocol_, stage_), FileCommandResult::kFailed);
    EXPECT_EQ(protocol_, TwoSets());
    EXPECT_EQ(stage_.RowCount(), 2);
    EXPECT_TRUE(front_end_.Output().starts_with("Protocol File Not Opened: "))
        << front_end_.Output();
    ASSERT_EQ(front_end_.Boxes().size(), 1u) << c.path;
    const std::string text = front_end_.Boxes()[0].text;
    EXPECT_EQ(text.rfind("Error:  Protocol File Not Opened\n", 0), 0u) << text;
    EXPECT_NE(text.find(c.path.string()), std::string::npos) << text;
    EXPECT_NE(text.find(c.reason), std::string::npos) << text;
  }
  EXPECT_EQ(Stored(), folder_.string() + "/");
}

TEST_F(FileCommandsTest, FailedSaveIsReportedNotShownAsSuccess) {
  stage_.RefreshFromDocument(TwoSets());
  front_end_.AppendOutput("earlier text\n");
  const fs::path path = folder_ / "no-such-folder" / "x.tmt";
  front_end_.QueueFileAnswer(path.string());
  protocol_ = stage_.WorkingSequence();
  EXPECT_EQ(commands_.Save(protocol_), FileCommandResult::kFailed);
  ASSERT_EQ(front_end_.Boxes().size(), 1u);
  const std::string text = front_end_.Boxes()[0].text;
  EXPECT_EQ(text.rfind("Error:  ", 0), 0u) << text;
  EXPECT_NE(text.find(path.string()), std::string::npos) << text;
  EXPECT_EQ(text.back(), '\n');
  // The failure replaces what the pane said before.
  EXPECT_TRUE(front_end_.Output().starts_with("Protocol File Not Saved: ")) << front_end_.Output();
  EXPECT_NE(front_end_.Output().find(path.string()), std::string::npos);
  // The folder is remembered even though the file could not be created.
  EXPECT_EQ(Stored(), (folder_ / "no-such-folder").string() + "/");
  EXPECT_FALSE(fs::exists(path));
  // Nothing was saved there: the document keeps no such file.
  EXPECT_EQ(commands_.LastFile(), "");
}

}  // namespace
}  // namespace stravon
