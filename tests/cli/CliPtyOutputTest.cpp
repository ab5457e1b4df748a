// A pseudo-terminal is an output like any terminal: the doctor's report and
// a wire trace written there reach whoever reads the other side, and the
// command ends as it would with a file.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include "support/CliRun.h"

namespace {

TEST(CliPtyOutput, TheReportAndTheTraceGoToAPseudoTerminal) {
    const char* const box = "sim:ATmega328P,fast";
    const struct {
        const char* what;
        QStringList args;  // PTY: the terminal's path
        const char* shown;
    } cases[] = {
        {"doctor --report", {"doctor", "--writer", box, "--report", "PTY"}, box},
        {"--trace", {"--trace", "PTY", "--writer", box, "detect"}, "# oriole-cli wire trace"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        ASSERT_GE(master, 0);
        ASSERT_EQ(grantpt(master), 0);
        ASSERT_EQ(unlockpt(master), 0);
        fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
        QStringList args = c.args;
        args.replaceInStrings("PTY", QString::fromLocal8Bit(ptsname(master)));

        QProcess p;
        p.start(QStringLiteral(ORIOLE_CLI_PATH), args);
        // Read as the output comes: a terminal nobody reads holds its writer.
        QByteArray shown;
        const auto drain = [&] {
            char buffer[4096];
            for (ssize_t n; (n = read(master, buffer, sizeof buffer)) > 0;) shown.append(buffer, n);
        };
        bool ended = false;
        for (int i = 0; i < 3000 && !ended; ++i) {
            ended = p.waitForFinished(20);
            drain();
        }
        close(master);

        ASSERT_TRUE(ended);
        EXPECT_EQ(p.exitStatus(), QProcess::NormalExit);
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        EXPECT_TRUE(shown.contains(c.shown)) << shown.left(300).toStdString();
    }
}

}  // namespace
