// The launcher's command line as the program builds it comes apart into the intended arguments.
#include <gtest/gtest.h>

#include "platform/linux/CommandLine.h"
#include "store/KSAutoStart.h"

using namespace kestrum;

TEST(AutoStartCommand, ArgumentsSurviveSplittingWhateverThePaths) {
    const struct {
        QString dir, program;
    } cases[] = {
        {"/usr/libexec/kestrum/", "/usr/libexec/kestrum/Kestrum"},
        {"/opt/My Tools/", "/opt/My Tools/Kestrum"},
        {"/tmp/a\"b/", "/tmp/a\"b/Kes \"trum\""},
        {"/tmp/x/", "/tmp/odd\\"},         // a trailing backslash must not escape the closing quote
        {"/tmp/x/", "/tmp/back\\\"slash"}, // a backslash before a quote
    };
    for (auto& c : cases) {
        for (bool add : {true, false}) {
            const auto args = platform::SplitCommandLine(AutoStartCommandLine(add, c.dir, c.program).toStdString());
            const std::vector<std::string> want{(c.dir + "BramblinASL").toStdString(), add ? "/add" : "/del", "Kestrum",
                                                c.program.toStdString(), "-autostart"};
            EXPECT_EQ(args, want) << AutoStartCommandLine(add, c.dir, c.program).toStdString();
        }
    }
}
