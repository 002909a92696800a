// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QStringList>

#include "ui/settings_store.h"

namespace stravon::app {

// The per-user settings of the desktop program, kept by QSettings under the
// organisation and application "Stravon": the values of section "Settings"
// and the list of the four most recently used files.
class QtSettingsStore : public SettingsStore {
 public:
  static constexpr int kRecentFileCount = 4;

  std::int32_t ReadInteger(std::string_view section, std::string_view name,
                           std::int32_t absent) const override;
  std::string ReadString(std::string_view section, std::string_view name,
                         std::string_view absent) const override;
  void WriteInteger(std::string_view section, std::string_view name, std::int32_t value) override;
  void WriteString(std::string_view section, std::string_view name,
                   std::string_view value) override;

  // Most recent first.
  QStringList RecentFiles() const;
  void AddRecentFile(const QString& path);
  void RemoveRecentFile(const QString& path);

  // The main window's size and place as QWidget::saveGeometry gives them
  // (empty until the window has closed once).
  QByteArray WindowGeometry() const;
  void SetWindowGeometry(const QByteArray& geometry);

 private:
  void WriteRecentFiles(const QStringList& files);
};

// Hardware, Verify After Programming: stored per user, on unless turned off.
bool VerifyAfterProgramming(const SettingsStore& settings);
void SetVerifyAfterProgramming(SettingsStore& settings, bool verify);

}  // namespace stravon::app
