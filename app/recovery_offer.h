// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace stravon {
class RecoveryStore;
}

namespace stravon::app {

class MainWindow;

// At start: asks, for each protocol the last ending kept, whether to restore
// it (a new document window with the edits still unsaved; the file is this
// run's until it ends) or to discard it (the file goes). A question closed
// without an answer, or a file that cannot be read, leaves the file for the
// next start and asks nothing more.
void OfferKeptProtocols(MainWindow& window, RecoveryStore& store);

}  // namespace stravon::app
