#include "sim/simulated_unit.h"

// Placeholder so that dependants can build against the interface; the
// serving loop follows.
namespace stravon::sim {

const char* CommandKindName(CommandKind) { return "unknown"; }
std::array<std::uint8_t, kSettingsSize> DefaultSettingsBlock() { return {}; }
SimulatedUnit::SimulatedUnit(UnitOptions options) : options_(std::move(options)) {}
SimulatedUnit::~SimulatedUnit() = default;
int SimulatedUnit::Start() { return 38; }
void SimulatedUnit::Stop() {}
bool SimulatedUnit::IsConnected() const { return false; }
std::string SimulatedUnit::SlavePath() const { return {}; }
std::vector<std::uint8_t> SimulatedUnit::ReadMemory(std::uint16_t, std::size_t) const { return {}; }
bool SimulatedUnit::WriteMemory(std::uint16_t, std::span<const std::uint8_t>) { return false; }
bool SimulatedUnit::SaveMemory(const std::string&) const { return false; }
std::int32_t SimulatedUnit::Position() const { return 0; }
void SimulatedUnit::SetPosition(std::int32_t) {}
bool SimulatedUnit::IsMoving() const { return false; }
void SimulatedUnit::InjectFault(Fault) {}
void SimulatedUnit::ClearFaults() {}
std::vector<Exchange> SimulatedUnit::Transcript() const { return {}; }
void SimulatedUnit::ClearTranscript() {}
int SimulatedUnit::CommandCount(CommandKind) const { return 0; }
int SimulatedUnit::TotalCommands() const { return 0; }

}  // namespace stravon::sim
namespace stravon::sim {
Fault Fault::Error(int) { return {}; }
Fault Fault::Silence() { return {}; }
Fault Fault::Reply(std::string) { return {}; }
Fault Fault::Overlong(std::size_t) { return {}; }
Fault Fault::Split(std::size_t, std::chrono::milliseconds) { return {}; }
Fault Fault::DisconnectAfter(int) { return {}; }
}  // namespace stravon::sim
namespace stravon::sim {
Fault Fault::For(CommandKind) const { return *this; }
Fault Fault::Times(int) const { return *this; }
Fault Fault::Skip(int) const { return *this; }
}  // namespace stravon::sim
