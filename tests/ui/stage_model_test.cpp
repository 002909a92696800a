// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/stage_model.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "device/hardware_settings.h"
#include "protocol/enumerations.h"
#include "protocol/test_sequence.h"
#include "protocol/test_set.h"
#include "tests/support/recording_front_end.h"

namespace stravon {
namespace {

using test_support::RecordingFrontEnd;

constexpr StageUnitState kReadUnit{true, 0, 40.0f};

TestSet MmSet(double magnitude, double stretch = 10.0, double recovery = 10.0, int reps = 1) {
  TestSet set;
  set.XUnits = MeasureUnit::Millimetre;
  set.XMagnitude = magnitude;
  set.StretchDurationSec = stretch;
  set.RecoveryDurationSec = recovery;
  set.NumReps = reps;
  return set;
}

TestSet SinusoidSet() {
  TestSet set = MmSet(1.0, 1.0, 1.0);
  set.XFunction = ControlFunction::Sinusoid;
  return set;
}

TestSequence SequenceOf(std::vector<TestSet> sets) {
  TestSequence sequence;
  sequence.sets = std::move(sets);
  sequence.columns = {Instruction::XMagnitude, Instruction::NumReps};
  return sequence;
}

// Sets of magnitude 1, 2, 3, ... mm, so a row's origin is visible.
TestSequence NumberedSequence(int count) {
  std::vector<TestSet> sets;
  for (int i = 0; i < count; ++i) sets.push_back(MmSet(i + 1.0));
  return SequenceOf(sets);
}

std::vector<double> Magnitudes(const StageModel& model) {
  std::vector<double> magnitudes;
  for (const TestSet& set : model.WorkingSequence().sets) magnitudes.push_back(set.XMagnitude);
  return magnitudes;
}

class StageModelTest : public ::testing::Test {
 protected:
  RecordingFrontEnd front_end_;
  StageModel model_{front_end_};
};

struct TotalTimeCase {
  std::int64_t seconds;
  const char* text;
};

class ShowTotalTimeTest : public ::testing::TestWithParam<TotalTimeCase> {};

TEST_P(ShowTotalTimeTest, ShowsHoursMinutesSeconds) {
  RecordingFrontEnd front_end;
  StageModel model(front_end);
  model.ShowTotalTime(GetParam().seconds);
  EXPECT_EQ(model.TotalTimeText(), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShowTotalTimeTest,
    ::testing::Values(TotalTimeCase{0, "00:00:00"}, TotalTimeCase{20, "00:00:20"},
                      TotalTimeCase{3725, "01:02:05"}, TotalTimeCase{360000, "100:00:00"},
                      TotalTimeCase{-5, "00:00:00"}, TotalTimeCase{35999999, "9999:59:59"},
                      TotalTimeCase{36000000, "416 d 16:00:00"},
                      TotalTimeCase{2147483647, "24855 d 03:14:07"},
                      // 2^31 - 1 repetitions of a 20 s set: beyond 32 bits.
                      TotalTimeCase{42949672940, "497102 d 16:42:20"}));

TEST_F(StageModelTest, TotalTimeIsTheFloorOfAllSetsInSeconds) {
  TestSet minutes = MmSet(1.0, 0.5, 0.25);  // 0.75 min = 45 s
  minutes.TimeUnits = TimeUnit::Minutes;
  TestSet seconds = MmSet(1.0, 1.2, 1.3, 2);  // 5 s
  model_.RefreshFromDocument(SequenceOf({minutes, seconds, MmSet(1.0, 0.4, 0.0)}));
  EXPECT_EQ(model_.TotalSeconds(), 50);  // 50.4 s
  EXPECT_EQ(model_.TotalTimeText(), "00:00:50");

  // Values from a file that do not fit 32 bits, or are no numbers, saturate.
  TestSet huge = MmSet(1.0, 1e300);
  TestSet nan = MmSet(1.0, std::numeric_limits<double>::quiet_NaN());
  model_.RefreshFromDocument(SequenceOf({huge}));
  EXPECT_EQ(model_.TotalSeconds(), std::numeric_limits<std::int64_t>::max());
  // Two billion repetitions of a 20 s set are counted exactly.
  TestSet many = MmSet(1.0);  // 20 s
  many.NumReps = std::numeric_limits<std::int32_t>::max();
  model_.RefreshFromDocument(SequenceOf({many}));
  EXPECT_EQ(model_.TotalSeconds(), 42949672940);
  EXPECT_EQ(model_.TotalTimeText(), "497102 d 16:42:20");
  model_.RefreshFromDocument(SequenceOf({nan}));
  EXPECT_EQ(model_.TotalSeconds(), 0);
}

TEST_F(StageModelTest, TheOffsetFieldShowsTwoDecimalsAndNoNegativeZero) {
  for (const auto& [offset, text] : std::vector<std::pair<double, const char*>>{
           {1.0, "1.00"}, {-0.5, "-0.50"}, {-0.0001, "0.00"}, {-0.0, "0.00"}, {2.345, "2.35"}}) {
    model_.ShowCurrentOffset(offset);
    EXPECT_EQ(model_.OffsetText(), text) << offset;
  }
}

TEST_F(StageModelTest, UsedMemoryTexts) {
  const TestSet ramp = MmSet(1.0);
  const struct {
    std::vector<TestSet> sets;
    const char* text;
  } cases[] = {
      {{}, "0.0"},
      {{SinusoidSet()}, "12.5"},
      {{ramp, ramp, ramp, SinusoidSet()}, "19.3"},
      {std::vector<TestSet>(44, ramp), "100.0"},
      {std::vector<TestSet>(45, ramp), "102.3"},
  };
  for (const auto& c : cases) {
    model_.RefreshFromDocument(SequenceOf(c.sets));
    EXPECT_EQ(model_.UsedMemoryText(), c.text) << c.sets.size() << " sets";
  }
}

TEST_F(StageModelTest, NewDocumentShowsEmptyFieldsInGeneralFormat) {
  EXPECT_EQ(model_.TotalTimeLabelText(), "Total Time ");
  model_.InitialUpdate(TestSequence{});
  EXPECT_EQ(model_.RowCount(), 0);
  EXPECT_EQ(model_.TotalTimeText(), "00:00:00");
  EXPECT_EQ(model_.TotalTimeLabelText(), "Total Time");
  EXPECT_EQ(model_.UsedMemoryText(), "0");
  EXPECT_EQ(model_.OffsetText(), "0");

  ASSERT_EQ(model_.InsertBelow({}, kReadUnit), 0);
  EXPECT_EQ(model_.UsedMemoryText(), "2.3");
}

TEST_F(StageModelTest, RowTextsFollowTheSet) {
  TestSet set = MmSet(12.5, 10.0, 0.0, 3);
  set.HoldTimeSec = 0.0;
  set.RestTimeSec = 2.5;
  set.TimeUnits = TimeUnit::Minutes;
  TestSet sinusoid = SinusoidSet();
  sinusoid.StretchDurationSec = -1.0;
  model_.RefreshFromDocument(SequenceOf({set, sinusoid}));

  ASSERT_EQ(model_.RowCount(), 2);
  EXPECT_EQ(model_.Row(0),
            (RowTexts{"Ramp 12.5 (mm)", "10.0 (m)", "0.0 (m)", "None", "2.5 (m)", "3"}));
  EXPECT_EQ(model_.Row(1),
            (RowTexts{"Sinusoid 1.0 (mm)", "None", "0.0 (S)", "1.0 (S)", "0.0 (S)", "1"}));
  EXPECT_EQ(StageModel::RowTextsOf(model_.WorkingSequence(), 2)[5], "0");
}

TEST_F(StageModelTest, RefreshFromDocumentReplacesEverything) {
  model_.RefreshFromDocument(NumberedSequence(5));
  const TestSequence document = NumberedSequence(2);
  model_.RefreshFromDocument(document);
  EXPECT_EQ(model_.WorkingSequence(), document);
  EXPECT_EQ(model_.RowCount(), 2);
  EXPECT_EQ(model_.Row(1)[0], "Ramp 2.0 (mm)");
}

TEST_F(StageModelTest, RefreshSettingsShowsTheMinimumSpecimenSize) {
  model_.InitialUpdate(NumberedSequence(2));
  HardwareSettings settings;
  settings.MinimumSpecimenSize = 2.345f;
  model_.RefreshSettings(settings);
  EXPECT_EQ(model_.OffsetText(), "2.35");
  EXPECT_EQ(model_.Offset(), static_cast<double>(2.345f));
  EXPECT_EQ(model_.UsedMemoryText(), "4.5");

  // The editor gets the offset as shown, whoever wrote the field last.
  EXPECT_DOUBLE_EQ(model_.EditorOffset(), 2.35);
  model_.ShowCurrentOffset(1.004);
  EXPECT_EQ(model_.OffsetText(), "1.00");
  EXPECT_DOUBLE_EQ(model_.EditorOffset(), 1.0);
  EXPECT_EQ(model_.Offset(), static_cast<double>(2.345f));
}

TEST_F(StageModelTest, EditSetReplacesTheFirstSelectedSet) {
  model_.RefreshFromDocument(NumberedSequence(6));
  EXPECT_EQ(model_.EditRow({}), std::nullopt);
  EXPECT_EQ(model_.EditRow({9}), std::nullopt);
  const std::optional<int> row = model_.EditRow({4, 2});
  ASSERT_EQ(row, 2);

  TestSet edited = model_.SetForEditing(*row);
  EXPECT_EQ(edited.XMagnitude, 3.0);
  edited.NumReps = 100;
  model_.ReplaceSet(*row, edited);
  EXPECT_EQ(model_.WorkingSequence().sets[2], edited);
  EXPECT_EQ(model_.Row(2)[5], "100");
  EXPECT_EQ(model_.TotalTimeText(), "00:35:00");  // 5 x 20 s + 100 x 20 s
}

// Records the order of row removals and the total shown after each.
class RemovalLog : public StageModel::Listener {
 public:
  explicit RemovalLog(const StageModel& model) : model_(model) {}
  void RowRemoved(int row) override { removed.push_back(row); }
  void FieldsChanged() override {
    if (!removed.empty()) totals.push_back(model_.TotalTimeText());
  }
  std::vector<int> removed;
  std::vector<std::string> totals;

 private:
  const StageModel& model_;
};

TEST_F(StageModelTest, DeleteRemovesEverySelectedRow) {
  model_.RefreshFromDocument(NumberedSequence(6));
  RemovalLog log(model_);
  model_.SetListener(&log);

  EXPECT_EQ(model_.Delete({4, 1, 3}), 3);
  EXPECT_EQ(Magnitudes(model_), (std::vector<double>{1.0, 3.0, 6.0}));
  EXPECT_EQ(model_.RowCount(), 3);
  EXPECT_EQ(model_.Row(2)[0], "Ramp 6.0 (mm)");
  EXPECT_EQ(log.removed, (std::vector<int>{1, 2, 2}));  // each removal moves the rest up
  EXPECT_NE(std::find(log.totals.begin(), log.totals.end(), "00:01:40"), log.totals.end());
  EXPECT_EQ(model_.TotalTimeText(), "00:01:00");
  EXPECT_EQ(model_.UsedMemoryText(), "6.8");

  EXPECT_EQ(model_.Delete({}), 0);
  EXPECT_EQ(model_.RowCount(), 3);
  model_.SetListener(nullptr);
}

TEST_F(StageModelTest, InsertionsTakeTheirNeighbourAsTemplate) {
  model_.RefreshFromDocument(NumberedSequence(7));
  // Below rows 2 and 5: a copy of row 5 becomes row 6.
  EXPECT_EQ(model_.InsertBelow({2, 5}, kReadUnit), 6);
  EXPECT_EQ(Magnitudes(model_), (std::vector<double>{1, 2, 3, 4, 5, 6, 6, 7}));
  // Above rows 2 and 5: a copy of row 2 becomes the new row 2.
  EXPECT_EQ(model_.InsertAbove({5, 2}, kReadUnit), 2);
  EXPECT_EQ(Magnitudes(model_), (std::vector<double>{1, 2, 3, 3, 4, 5, 6, 6, 7}));
  // Without a selection: below the last row, above the first.
  EXPECT_EQ(model_.InsertBelow({}, kReadUnit), 9);
  EXPECT_EQ(model_.InsertAbove({}, kReadUnit), 0);
  EXPECT_EQ(Magnitudes(model_), (std::vector<double>{1, 1, 2, 3, 3, 4, 5, 6, 6, 7, 7}));
  EXPECT_EQ(model_.RowCount(), 11);
  EXPECT_EQ(model_.Row(10)[0], "Ramp 7.0 (mm)");
  EXPECT_EQ(model_.UsedMemoryText(), "25.0");
  EXPECT_TRUE(front_end_.Boxes().empty());
}

TEST_F(StageModelTest, InsertedSetIsInMmAndWithinTheSoftLimit) {
  TestSet percent = MmSet(10.0);
  percent.XUnits = MeasureUnit::Percent;
  model_.RefreshFromDocument(SequenceOf({percent}));

  ASSERT_EQ(model_.InsertBelow({}, StageUnitState{true, 0, 7.2f}), 1);
  const TestSet& inserted = model_.WorkingSequence().sets[1];
  EXPECT_EQ(inserted.XUnits, MeasureUnit::Millimetre);
  EXPECT_EQ(inserted.XMagnitude, static_cast<double>(7.2f * 0.5f));  // halved in single precision
  EXPECT_EQ(model_.Row(1)[0], "Ramp 3.6 (mm)");

  // A magnitude equal to the limit stays.
  ASSERT_EQ(model_.InsertBelow({}, StageUnitState{true, 0, 3.6f}), 2);
  EXPECT_EQ(model_.WorkingSequence().sets[2].XMagnitude, static_cast<double>(7.2f * 0.5f));
}

TEST_F(StageModelTest, FirstInsertionDependsOnTheSeries) {
  ASSERT_EQ(model_.InsertBelow({}, StageUnitState{true, 2, 40.0f}), 0);
  const TestSet& w = model_.WorkingSequence().sets[0];
  EXPECT_EQ(w.XFunction, ControlFunction::Sinusoid);
  EXPECT_EQ(w.XMagnitude, 1.0);
  EXPECT_EQ(w.StretchDurationSec, 1.0);
  EXPECT_EQ(w.RecoveryDurationSec, 1.0);
  EXPECT_EQ(model_.UsedMemoryText(), "12.5");

  // The series only matters for an empty list.
  ASSERT_EQ(model_.InsertBelow({}, StageUnitState{true, 2, 40.0f}), 1);
  model_.Delete({0, 1});
  ASSERT_EQ(model_.InsertBelow({}, StageUnitState{true, 1, 40.0f}), 0);
  TestSet expected;
  expected.XUnits = MeasureUnit::Millimetre;
  EXPECT_EQ(model_.WorkingSequence().sets[0], expected);
}

TEST_F(StageModelTest, InsertionIsRefusedWhenTheUnitOrListCannotTakeIt) {
  // Hardware settings not read yet: nothing at all.
  EXPECT_EQ(model_.InsertBelow({}, StageUnitState{false, 0, 40.0f}), std::nullopt);
  EXPECT_EQ(model_.InsertAbove({}, StageUnitState{false, 0, 40.0f}), std::nullopt);
  EXPECT_EQ(model_.RowCount(), 0);
  EXPECT_TRUE(front_end_.Boxes().empty());

  const std::string kNoMemory = "Not Enough Memory Available\nTo Insert Another Set";
  const struct {
    std::vector<TestSet> sets;
    std::optional<int> result;
    const char* message;
  } cases[] = {
      {std::vector<TestSet>(43, MmSet(1.0)), 43, nullptr},
      {std::vector<TestSet>(44, MmSet(1.0)), std::nullopt, kNoMemory.c_str()},
      {std::vector<TestSet>(7, SinusoidSet()), 7, nullptr},
      {std::vector<TestSet>(8, SinusoidSet()), std::nullopt, kNoMemory.c_str()},
      {std::vector<TestSet>(60, MmSet(1.0)), std::nullopt, "Maximum Sets Limit Reached"},
  };
  for (const auto& c : cases) {
    front_end_.Clear();
    model_.RefreshFromDocument(SequenceOf(c.sets));
    EXPECT_EQ(model_.InsertBelow({}, kReadUnit), c.result) << c.sets.size();
    EXPECT_EQ(model_.RowCount(), static_cast<int>(c.sets.size()) + (c.result ? 1 : 0));
    if (c.message) {
      ASSERT_EQ(front_end_.Boxes().size(), 1u);
      EXPECT_EQ(front_end_.Boxes()[0].text, c.message);
      EXPECT_EQ(front_end_.Boxes()[0].kind, FrontEnd::MessageKind::kWarning);
    } else {
      EXPECT_TRUE(front_end_.Boxes().empty());
    }
  }
}

struct CommitCase {
  const char* name;
  std::vector<TestSet> sets;
  float soft_limit;
  const char* message;        // null: the commit succeeds
  float minimum_size = 0.0f;  // base of a percent magnitude
};

TestSet Stretching(double mm, int reps) { return MmSet(mm, 10.0, 0.0, reps); }
TestSet Recovering(double mm, int reps) { return MmSet(mm, 0.0, 10.0, reps); }
TestSet With(TestSet set, void (*change)(TestSet&)) {
  change(set);
  return set;
}
TestSet InUnit(TestSet set, MeasureUnit unit) {
  set.XUnits = unit;
  return set;
}

std::vector<CommitCase> CommitCases() {
  const TestSet ok = MmSet(1.0);
  const char* kMaximum10 =
      "Error:  Maximum Stretch Position\nAcross All Sets Must Be Less Than 10.0mm\n";
  const char* kMinimum =
      "Error:  Minimum Stretch Position\nAcross All Sets Must Be Greater Than 0.0 mm\n";
  TestSet percent = Stretching(3.0, 2);
  percent.XUnits = MeasureUnit::Percent;
  return {
      {"Empty", {}, 10.0f, "Please Specify a Test Sequence Before Executing"},
      {"ZeroLength",
       {MmSet(1.0, 0.0, 0.0)},
       10.0f,
       "Error:  Test Sequence Must Be Greater Than 0 Seconds in Length"},
      {"Over", {Stretching(3.0, 2), Stretching(3.0, 2)}, 10.0f, kMaximum10},
      {"AtTheLimit", {Stretching(3.0, 2), Stretching(3.0, 2)}, 12.0f, nullptr},
      {"Under", {Stretching(3.0, 2), Stretching(3.0, 2), Recovering(3.0, 5)}, 15.0f, kMinimum},
      // Back below 0 only in between: the minimum is over the whole sequence.
      {"UnderOnTheWay", {Recovering(1.0, 1), Stretching(2.0, 1)}, 15.0f, kMinimum},
      // A percentage moves nothing while the minimum specimen size is 0.
      {"NotMm", {percent, percent, Recovering(1.0, 1)}, 1.0f, kMinimum},
      {"NotMmOnly", {percent, percent}, 1.0f, nullptr},
      // Otherwise it moves its share of the minimum specimen size.
      {"PercentWithin", {InUnit(Stretching(50.0, 1), MeasureUnit::Percent)}, 7.2f, nullptr, 10.0f},
      {"PercentBeyond",
       {InUnit(Stretching(50.0, 1), MeasureUnit::Percent)},
       7.2f,
       "Error:  Maximum Stretch Position\nAcross All Sets Must Be Less Than 7.2mm\n",
       20.0f},
      {"PercentRepeated", {percent, percent}, 10.0f, kMaximum10, 100.0f},  // 4 x 3 mm
      {"PercentLargeOfNothing",
       {InUnit(Stretching(1000.0, 1), MeasureUnit::Percent)},
       7.2f,
       nullptr,
       0.0f},
      {"PercentRecoveredInMm",
       {InUnit(Stretching(50.0, 2), MeasureUnit::Percent), Recovering(12.0, 1)},
       15.0f,
       kMinimum,
       10.0f},
      {"PercentRecoveringFromMm",
       {Stretching(6.0, 1), InUnit(Recovering(50.0, 1), MeasureUnit::Percent)},
       15.0f,
       nullptr,
       10.0f},
      // The image reads every other unit as millimetres.
      {"MicrometresAsMm",
       {InUnit(Stretching(500.0, 1), MeasureUnit::Micrometre)},
       10.0f,
       kMaximum10},
      {"Memory", std::vector<TestSet>(45, ok), 10.0f,
       "Error:  Not Enough Memory Available\nReduce Number of Specified Sets\n"},
      // Sets the unit cannot run, checked after everything else.
      {"NoRepetitions",
       {ok, With(ok, [](TestSet& s) { s.NumReps = 0; })},
       10.0f,
       "Error:  Set 2: Repetitions Must Be at Least 1\n"},
      {"NegativeDuration",
       {With(ok, [](TestSet& s) { s.RestTimeSec = -0.5; })},
       10.0f,
       "Error:  Set 1: Durations Must Be Numbers of 0 or More\n"},
      {"NanDuration",
       {ok, With(ok, [](TestSet& s) { s.HoldTimeSec = std::nan(""); })},
       10.0f,
       "Error:  Set 2: Durations Must Be Numbers of 0 or More\n"},
      {"TimeUnit",
       {ok, ok, With(ok, [](TestSet& s) { s.TimeUnits = TimeUnit::MSeconds; })},
       10.0f,
       "Error:  Set 3: Time Unit Must Be Seconds, Minutes, Hours or Days\n"},
      {"InvalidTimeUnit",
       {With(ok, [](TestSet& s) { s.TimeUnits = static_cast<TimeUnit>(-1); })},
       10.0f,
       "Error:  Set 1: Time Unit Must Be Seconds, Minutes, Hours or Days\n"},
      {"Magnitude",
       {With(ok, [](TestSet& s) { s.XMagnitude = std::numeric_limits<double>::infinity(); })},
       10.0f,
       "Error:  Set 1: Magnitude Must Be a Number\n"},
      {"PositionBeforeRunnable",
       {Stretching(3.0, 2), With(Stretching(3.0, 2), [](TestSet& s) { s.NumReps = 0; }),
        Stretching(3.0, 2)},
       10.0f,
       kMaximum10},
      {"Days", {With(ok, [](TestSet& s) { s.TimeUnits = TimeUnit::Days; })}, 10.0f, nullptr},
  };
}

class CommitSequenceTest : public ::testing::TestWithParam<CommitCase> {};

TEST_P(CommitSequenceTest, ChecksInOrder) {
  const CommitCase& c = GetParam();
  RecordingFrontEnd front_end;
  StageModel model(front_end);
  model.RefreshFromDocument(SequenceOf(c.sets));
  TestSequence document = NumberedSequence(1);
  const TestSequence before = document;

  HardwareSettings settings;
  settings.TravelSoftLimit = c.soft_limit;
  settings.MinimumSpecimenSize = c.minimum_size;
  const int result = model.CommitSequence(settings, document);
  if (c.message == nullptr) {
    EXPECT_EQ(result, 1);
    EXPECT_TRUE(front_end.Boxes().empty());
    EXPECT_EQ(document, model.WorkingSequence());
  } else {
    EXPECT_EQ(result, -1);
    EXPECT_EQ(front_end.BoxTexts(), std::vector<std::string>{c.message});
    EXPECT_EQ(front_end.Boxes()[0].kind, FrontEnd::MessageKind::kWarning);
    EXPECT_EQ(document, before);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, CommitSequenceTest, ::testing::ValuesIn(CommitCases()),
                         [](const ::testing::TestParamInfo<CommitCase>& case_info) {
                           return std::string(case_info.param.name);
                         });

}  // namespace
}  // namespace stravon
