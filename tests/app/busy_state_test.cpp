// The busy state's rules the window tests do not reach: the buttons while a batch runs, alone
// and with its compile, and which operation carries out a close asked for while they run.

#include "app/busy_state.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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
    for (const std::vector<Operation>& running :
         {std::vector<Operation>{Operation::Batch}, {Operation::Batch, Operation::Compile}}) {
        kvx::BusyState busy;
        for (Operation op : running)
            busy.begin(op);
        EXPECT_EQ(shown(kvx::commandButtons(busy, true, 2)), "h- h- h- h- h- S- S- ")
            << running.size() << " running";
    }
}

// A close waits for every operation; only the outermost one, once it ends, closes.
TEST(BusyState, theOutermostOperationCarriesOutAClose) {
    kvx::BusyState busy;
    EXPECT_FALSE(busy.requestClose()); // nothing runs: close now
    busy.begin(Operation::Batch);
    busy.begin(Operation::Compile);
    EXPECT_TRUE(busy.requestClose());
    EXPECT_FALSE(busy.end(Operation::Compile));
    EXPECT_TRUE(busy.closeRequested());
    EXPECT_TRUE(busy.end(Operation::Batch));
    EXPECT_TRUE(busy.idle());
}

} // namespace
