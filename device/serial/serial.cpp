#include "device/serial/serial.h"

#include <utility>

// Placeholder until the POSIX implementation lands.
namespace stravon {
Serial::Serial(SerialReporter reporter) : reporter_(std::move(reporter)) {}
Serial::~Serial() = default;
int Serial::OpenSerialPort(const char*, SerialOptions) { return kSerialOpenFailed; }
int Serial::WriteSerialPort(const void*, std::size_t) { return kSerialWriteFailed; }
int Serial::ReadSerialPort(char*, std::size_t, std::size_t* received) {
  *received = 0;
  return kSerialReadFailed;
}
int Serial::CloseSerialPort() { return kSerialNotOpen; }
}  // namespace stravon
