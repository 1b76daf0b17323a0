// The busy state's rules: which command buttons each nesting of operations leaves usable,
// and which operation carries out a close asked for while they run.

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

TEST(CommandButtons, followTheOperationsRunning) {
    struct Case {
        std::vector<Operation> running;
        bool stopped; // Stop clicked on the show
        bool folder;
        int reports;
        const char* buttons;
    } const cases[] = {
        {{}, false, true, 2, "S+ S+ S+ S+ h- S+ S+ "},
        {{}, false, true, 0, "S+ S+ S+ S+ h- S- S+ "},
        {{}, false, false, 0, "S+ S+ S+ S+ h- S- S- "},
        {{Operation::Show}, false, true, 2, "S- S- S- h- S+ S- S- "},
        {{Operation::Show}, true, true, 2, "S+ S+ S+ S+ h- S+ S+ "},
        {{Operation::Batch}, false, true, 2, "h- h- h- h- h- S- S- "},
        {{Operation::Compile}, false, true, 2, "S+ S+ S+ S- h- S- S- "},
        {{Operation::Batch, Operation::Compile}, false, true, 2, "h- h- h- h- h- S- S- "},
    };
    for (const Case& c : cases) {
        kvx::BusyState busy;
        for (Operation op : c.running)
            busy.begin(op);
        if (c.stopped)
            busy.stopping(Operation::Show);
        EXPECT_EQ(shown(kvx::commandButtons(busy, c.folder, c.reports)), c.buttons)
            << c.running.size() << " running, " << c.reports << " reports";
    }
}

// A close waits for every operation; only the outermost one, once it ends, closes.
TEST(BusyState, theOutermostOperationCarriesOutAClose) {
    kvx::BusyState busy;
    EXPECT_FALSE(busy.requestClose()); // nothing runs: close now
    busy.begin(Operation::Show);
    busy.begin(Operation::Batch);
    EXPECT_TRUE(busy.requestClose());
    EXPECT_FALSE(busy.end(Operation::Batch));
    EXPECT_TRUE(busy.closeRequested());
    EXPECT_TRUE(busy.end(Operation::Show));
    EXPECT_TRUE(busy.idle());
}

} // namespace
