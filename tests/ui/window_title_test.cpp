// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/window_title.h"

#include <memory>
#include <string>

#include <gtest/gtest.h>

namespace stravon {
namespace {

UnitSnapshotPtr Unit(bool settings_read) {
  auto unit = std::make_shared<UnitSnapshot>();
  unit->port = "/dev/ttyUSB0";
  unit->settings_read = settings_read;
  unit->settings.SeriesName = {'P', '1', '\0', '\0'};
  unit->settings.ModelNumber = 1;
  return unit;
}

TEST(WindowTitle, NamesTheFileOrTheUntitledWindowAndTheUnit) {
  struct Case {
    DocumentTitleParts parts;
    const char* document;
    const char* main;
  };
  const Case cases[] = {
      {{"", 1, nullptr}, "Untitled 1[*]", "Untitled 1[*] — Stravon"},
      {{"", 12, nullptr}, "Untitled 12[*]", "Untitled 12[*] — Stravon"},
      {{"/home/lab/cyclic_stretch.tmt", 3, nullptr},
       "cyclic_stretch.tmt[*]",
       "cyclic_stretch.tmt[*] — Stravon"},
      {{"relative.tmt", 1, nullptr}, "relative.tmt[*]", "relative.tmt[*] — Stravon"},
      // Until its settings are read the unit is known only by its port.
      {{"/tmp/a.tmt", 1, Unit(false)}, "a.tmt[*] — ttyUSB0", "a.tmt[*] — Stravon"},
      {{"", 2, Unit(true)}, "Untitled 2[*] — P1-1 on ttyUSB0", "Untitled 2[*] — Stravon"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DocumentWindowTitle(c.parts), c.document);
    EXPECT_EQ(MainWindowTitle(&c.parts), c.main);
  }
  EXPECT_EQ(MainWindowTitle(nullptr), "Stravon");
}

}  // namespace
}  // namespace stravon
