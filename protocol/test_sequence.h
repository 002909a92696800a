// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "protocol/enumerations.h"
#include "protocol/test_set.h"

namespace stravon {

// A test protocol: the sets in execution order, and the column list of the
// protocol file last read or written. A value type; copies share nothing.
struct TestSequence {
  std::vector<TestSet> sets;
  // After a read: the header's columns in file order, unrecognised keys as -1.
  // After a write: the writer's fixed nine columns. Nothing else reads it.
  std::vector<Instruction> columns;

  // Operations on set i (0-based). An index that is negative or not less than
  // the number of sets gives 0, 0.0 or "Unknown".
  int Repetitions(int i) const;
  // Preload time in the set's own time unit: 2 per repetition that preloads.
  double PreloadAllowance(int i) const;
  // (preload + (stretch + recovery + hold + rest) * NumReps) in seconds.
  double SetDurationSeconds(int i) const;

  // Texts of the stage view's list columns, e.g. "Ramp 12.5 (mm)", "10.0 (S)";
  // stretch and recovery read "None" when the length is 0 or less.
  std::string FunctionMagnitudeText(int i) const;
  std::string StretchDurationText(int i) const;
  std::string HoldDurationText(int i) const;
  std::string RecoveryDurationText(int i) const;
  std::string RestDurationText(int i) const;

  // Protocol file (implemented in protocol_file.cpp). Lines end with CR LF;
  // open the stream in binary mode so that no further translation happens.
  // Replaces `columns` with the nine written columns and returns the number
  // of sets written. Stream errors are not detected here.
  int WriteProtocol(std::ostream& out);
  // `token` holds the file's first token on entry. Empties `sets` and
  // `columns`, reads the header line and leaves the next token in `token`.
  void ReadProtocolHeader(std::istream& in, std::string& token);
  // Builds one set from the tokens starting at `token`, appends it and leaves
  // the following token in `token`.
  void ReadProtocolSet(std::istream& in, std::string& token);

  bool operator==(const TestSequence&) const = default;

 private:
  // Set i, or null when i is out of range.
  const TestSet* SetAt(int i) const;
};

}  // namespace stravon
