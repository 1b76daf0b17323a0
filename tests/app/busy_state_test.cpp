// The busy state's rules the window tests do not reach: the buttons while a batch runs, and
// a close asked for while an operation runs.

#include "app/busy_state.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using kvx::Operation;

// Each button as "S+" (shown, enabled), "S-" (shown, waiting) or "h-" (hidden): Open, Erase,
// Report, Slide, Stop, then the two build buttons.
std::string shown(const kvx::CommandButtons& b) {
    std::string s;
    for (const kvx::ButtonState& x :
         {b.open, b.erase, b.report, b.slide, b.stop, b.buildFromReports, b.buildAfresh}) {
        s += x.visible ? "S" : "h";
        s += x.enabled ? "+ " : "- ";
    }
    return s;
}

TEST(CommandButtons, aBatchHidesTheViewCommands) {
    kvx::BusyState busy;
    busy.begin(Operation::Batch);
    EXPECT_EQ(shown(kvx::commandButtons(busy, true, 2)), "h- h- h- h- h- S- S- ");
}

// A close waits for the operation running, which closes once it ends.
TEST(BusyState, theRunningOperationCarriesOutAClose) {
    kvx::BusyState busy;
    EXPECT_FALSE(busy.requestClose()); // nothing runs: close now
    busy.begin(Operation::Batch);
    EXPECT_TRUE(busy.requestClose());
    EXPECT_TRUE(busy.closeRequested());
    EXPECT_TRUE(busy.end());
    EXPECT_TRUE(busy.idle());
}

} // namespace
