#include "protocol/protocol_file.h"

#include <istream>
#include <ostream>

namespace stravon {

int TestSequence::WriteProtocol(std::ostream&) { return 0; }
void TestSequence::ReadProtocolHeader(std::istream&, std::string&) {}
void TestSequence::ReadProtocolSet(std::istream&, std::string&) {}
void ReadProtocol(std::istream&, TestSequence&) {}
bool ReadProtocolFile(const std::string&, TestSequence&, std::string*) { return false; }
bool WriteProtocolFile(const std::string&, TestSequence&, std::string*) { return false; }

}  // namespace stravon
