// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/qt_settings_store.h"

#include <QSettings>

namespace stravon::app {
namespace {

constexpr char kRecentSection[] = "Recent File List";
constexpr std::string_view kSection = "Settings";
constexpr std::string_view kVerifyValue = "VerifyAfterProgramming";
constexpr char kGeometryKey[] = "Settings/WindowGeometry";

QString Key(std::string_view section, std::string_view name) {
  return QString::fromUtf8(section.data(), static_cast<qsizetype>(section.size())) + '/' +
         QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}

QSettings Settings() { return QSettings("Stravon", "Stravon"); }

}  // namespace

std::int32_t QtSettingsStore::ReadInteger(std::string_view section, std::string_view name,
                                          std::int32_t absent) const {
  const QVariant value = Settings().value(Key(section, name));
  bool ok = false;
  const int integer = value.toInt(&ok);
  return value.isValid() && ok ? integer : absent;
}

std::string QtSettingsStore::ReadString(std::string_view section, std::string_view name,
                                        std::string_view absent) const {
  const QVariant value = Settings().value(Key(section, name));
  if (!value.isValid()) return std::string(absent);
  return value.toString().toStdString();
}

void QtSettingsStore::WriteInteger(std::string_view section, std::string_view name,
                                   std::int32_t value) {
  Settings().setValue(Key(section, name), value);
}

void QtSettingsStore::WriteString(std::string_view section, std::string_view name,
                                  std::string_view value) {
  Settings().setValue(Key(section, name),
                      QString::fromUtf8(value.data(), static_cast<qsizetype>(value.size())));
}

QStringList QtSettingsStore::RecentFiles() const {
  QSettings settings = Settings();
  QStringList files;
  for (int i = 1; i <= kRecentFileCount; ++i) {
    const QString file = settings.value(QString("%1/File%2").arg(kRecentSection).arg(i)).toString();
    if (!file.isEmpty()) files << file;
  }
  return files;
}

void QtSettingsStore::AddRecentFile(const QString& path) {
  QStringList files = RecentFiles();
  files.removeAll(path);
  files.prepend(path);
  WriteRecentFiles(files);
}

void QtSettingsStore::RemoveRecentFile(const QString& path) {
  QStringList files = RecentFiles();
  files.removeAll(path);
  WriteRecentFiles(files);
}

void QtSettingsStore::WriteRecentFiles(const QStringList& files) {
  QSettings settings = Settings();
  for (int i = 1; i <= kRecentFileCount; ++i) {
    const QString key = QString("%1/File%2").arg(kRecentSection).arg(i);
    if (i <= files.size()) settings.setValue(key, files[i - 1]);
    else settings.remove(key);
  }
}

QByteArray QtSettingsStore::WindowGeometry() const {
  return Settings().value(kGeometryKey).toByteArray();
}

void QtSettingsStore::SetWindowGeometry(const QByteArray& geometry) {
  Settings().setValue(kGeometryKey, geometry);
}

bool VerifyAfterProgramming(const SettingsStore& settings) {
  return settings.ReadInteger(kSection, kVerifyValue, 1) != 0;
}

void SetVerifyAfterProgramming(SettingsStore& settings, bool verify) {
  settings.WriteInteger(kSection, kVerifyValue, verify ? 1 : 0);
}

}  // namespace stravon::app
