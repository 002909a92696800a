#include "protocol/number_text.h"

namespace stravon {

double ParseLeadingDouble(std::string_view) { return 0.0; }
std::int32_t ParseLeadingInteger(std::string_view) { return 0; }
std::string FormatGeneral(double) { return {}; }
std::string FormatFixed(double, int) { return {}; }

}  // namespace stravon
