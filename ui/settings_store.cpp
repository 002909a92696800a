// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/settings_store.h"

namespace stravon {

std::int32_t MemorySettingsStore::ReadInteger(std::string_view section, std::string_view name,
                                              std::int32_t absent) const {
  const auto found = values_.find(Key(section, name));
  if (found == values_.end() || !found->second.is_integer) return absent;
  return found->second.integer;
}

std::string MemorySettingsStore::ReadString(std::string_view section, std::string_view name,
                                            std::string_view absent) const {
  const auto found = values_.find(Key(section, name));
  if (found == values_.end() || found->second.is_integer) return std::string(absent);
  return found->second.text;
}

void MemorySettingsStore::WriteInteger(std::string_view section, std::string_view name,
                                       std::int32_t value) {
  values_[Key(section, name)] = Value{true, value, {}};
}

void MemorySettingsStore::WriteString(std::string_view section, std::string_view name,
                                      std::string_view value) {
  values_[Key(section, name)] = Value{false, 0, std::string(value)};
}

bool MemorySettingsStore::Contains(std::string_view section, std::string_view name) const {
  return values_.count(Key(section, name)) != 0;
}

}  // namespace stravon
