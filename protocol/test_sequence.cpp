#include "protocol/test_sequence.h"

namespace stravon {

int TestSequence::Repetitions(int) const { return 0; }
double TestSequence::PreloadAllowance(int) const { return 0.0; }
double TestSequence::SetDurationSeconds(int) const { return 0.0; }
std::string TestSequence::FunctionMagnitudeText(int) const { return "Unknown"; }
std::string TestSequence::StretchDurationText(int) const { return "Unknown"; }
std::string TestSequence::HoldDurationText(int) const { return "Unknown"; }
std::string TestSequence::RecoveryDurationText(int) const { return "Unknown"; }
std::string TestSequence::RestDurationText(int) const { return "Unknown"; }

}  // namespace stravon
