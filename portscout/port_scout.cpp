// SPDX-License-Identifier: GPL-3.0-or-later
#include "portscout/port_scout.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <limits>

#include "device/serial/serial.h"

namespace stravon {
namespace {

constexpr std::size_t kAnswerBufferSize = 128;
constexpr int kDefaultReadTimeoutMs = 20000;

bool Contains(const std::string& text, const char* part) {
  return text.find(part) != std::string::npos;
}

bool IsBridge(const PortRecord& port) {
  return Contains(port.hardware_id, "VID_0403") && Contains(port.hardware_id, "PID_6001");
}
bool IsController(const PortRecord& port) {
  return Contains(port.hardware_id, "VID_03EB") && Contains(port.hardware_id, "PID_2404");
}
bool IsTagged(const PortRecord& port) { return Contains(port.device_path, "zelt4417"); }
bool IsBoard(const PortRecord& port) {
  return Contains(port.hardware_id, "VID_2341") && Contains(port.hardware_id, "PID_003");
}

bool Any(const std::vector<PortRecord>& ports, bool (*predicate)(const PortRecord&)) {
  return std::any_of(ports.begin(), ports.end(), predicate);
}

// Sends variant query `number` (FS, 'c', "(<number>)", no terminator) and
// returns its answer's value, 0 on any failure.
std::int32_t Ask(Serial& serial, int number) {
  const std::string query = std::string("\x1C") + "c(" + std::to_string(number) + ")";
  if (serial.WriteSerialPort(query.data(), query.size()) != kSerialOk) return 0;
  char answer[kAnswerBufferSize];
  std::size_t received = 0;
  if (serial.ReadSerialPort(answer, sizeof answer, &received) != kSerialOk) return 0;
  return ReadLeadingInteger(std::string_view(answer, received));
}

// The per-byte read time-out: the unit's 20 s unless the environment asks for
// another (tests shorten it).
int ReadTimeoutFromEnvironment() {
  const char* text = std::getenv("STRAVON_SERIAL_TIMEOUT_MS");
  const std::int32_t value = text != nullptr ? ReadLeadingInteger(text) : 0;
  return value > 0 ? value : kDefaultReadTimeoutMs;
}

}  // namespace

std::int32_t ReadLeadingInteger(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  constexpr std::int64_t kMax = std::numeric_limits<std::int32_t>::max();
  std::int64_t magnitude = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    magnitude = std::min<std::int64_t>(magnitude * 10 + (text[i] - '0'), kMax + 1);
  }
  return static_cast<std::int32_t>(negative ? -magnitude : std::min(magnitude, kMax));
}

VariantAnswers QueryController(const std::string& path, int read_timeout_ms) {
  Serial serial;  // no reporter: nothing is printed
  SerialOptions options;
  options.LongTimeout = true;
  options.HighSpeed = true;
  options.KeepLineSettings = true;
  options.BaudRate = -1;
  options.ReadTimeoutMs = read_timeout_ms;
  // A failed open is not acted on: both queries then fail and count as 0.
  serial.OpenSerialPort(path.c_str(), options);
  VariantAnswers answers;
  answers.a4 = Ask(serial, 4);
  answers.a6 = Ask(serial, 6);
  serial.CloseSerialPort();
  return answers;
}

std::int32_t ClassifyPorts(std::int32_t device_type, const std::vector<PortRecord>& ports,
                           const ControllerQuery& query) {
  const auto controller = std::find_if(ports.begin(), ports.end(), IsController);
  const auto ask = [&] { return query(controller->port_name); };
  switch (device_type) {
    case 0: {
      if (Any(ports, IsBridge)) return 1;
      if (controller == ports.end()) return -1;
      const VariantAnswers answers = ask();
      if (answers.a6 == 1) return 0;
      if (answers.a6 == 2 || answers.a6 == 4) return 2;
      return 1;
    }
    case 1:
    case 6: {
      if (Any(ports, IsBridge)) return 10;
      if (controller == ports.end()) return -1;
      const VariantAnswers answers = ask();
      if (answers.a4 == 1) return answers.a6 == 4 ? 11 : 10;
      if (answers.a4 == 6) return answers.a6 == 4 ? 13 : 12;
      return -1;
    }
    case 3: {
      if (Any(ports, IsTagged)) return 20;
      if (Any(ports, IsBoard)) return 22;
      if (controller == ports.end()) return -1;
      return ask().a6 != 0 ? 20 : 21;
    }
    default:
      return -1;
  }
}

std::int32_t RunPortScout(int argc, const char* const* argv) {
  // Without an argument the type is unknown; it then reports -1 like any
  // type it does not know.
  const bool have_type = argc > 1 && argv[1] != nullptr;
  const std::int32_t device_type = have_type ? ReadLeadingInteger(argv[1]) : -1;
  const PortRoots roots = PortRootsFromEnvironment();
  std::vector<PortRecord> ports;
  BuildPortList(&ports, roots);
  const int timeout_ms = ReadTimeoutFromEnvironment();
  return ClassifyPorts(device_type, ports, [&roots, timeout_ms](const std::string& port_name) {
    return QueryController(PortNodePath(roots, port_name), timeout_ms);
  });
}

}  // namespace stravon
