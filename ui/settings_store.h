// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>

namespace stravon {

// Per-user settings, kept by section and value name. The desktop program keeps
// them in its own settings storage; tests and the command line use the
// in-memory store below.
inline constexpr std::string_view kSettingsSection = "Settings";
inline constexpr std::string_view kFactoryAccessValue = "FactoryAccess";
inline constexpr std::string_view kTemplateDirValue = "TemplateDir";

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;

  // The stored value, or `absent` when there is none (or it is of the other type).
  virtual std::int32_t ReadInteger(std::string_view section, std::string_view name,
                                   std::int32_t absent) const = 0;
  virtual std::string ReadString(std::string_view section, std::string_view name,
                                 std::string_view absent) const = 0;

  virtual void WriteInteger(std::string_view section, std::string_view name,
                            std::int32_t value) = 0;
  virtual void WriteString(std::string_view section, std::string_view name,
                           std::string_view value) = 0;
};

class MemorySettingsStore : public SettingsStore {
 public:
  std::int32_t ReadInteger(std::string_view section, std::string_view name,
                           std::int32_t absent) const override;
  std::string ReadString(std::string_view section, std::string_view name,
                         std::string_view absent) const override;
  void WriteInteger(std::string_view section, std::string_view name, std::int32_t value) override;
  void WriteString(std::string_view section, std::string_view name,
                   std::string_view value) override;

  bool Contains(std::string_view section, std::string_view name) const;

 private:
  using Key = std::pair<std::string, std::string>;
  struct Value {
    bool is_integer = false;
    std::int32_t integer = 0;
    std::string text;
  };
  std::map<Key, Value> values_;
};

}  // namespace stravon
