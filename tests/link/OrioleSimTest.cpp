// oriole-sim as a user runs it: started as a program, it prints its
// terminal's path, and the serial backend programs the box through it.
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "link/Backends.h"
#include "link/LinkTestSupport.h"
#include "link/WriterLink.h"

extern char** environ;

namespace oriole::test {
namespace {

// The tool running in a child process, its first output line read.
class SimProcess {
public:
    explicit SimProcess(const char* options) {
        int out[2];
        if (pipe(out) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        char* argv[] = {const_cast<char*>(ORIOLE_SIM_EXE), const_cast<char*>(options), nullptr};
        if (posix_spawn(&m_pid, ORIOLE_SIM_EXE, &actions, nullptr, argv, environ) != 0) m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        char c;
        while (m_pid > 0 && read(out[0], &c, 1) == 1 && c != '\n') path += c;
        close(out[0]);
    }
    ~SimProcess() { Stop(); }
    // Asks the tool to end as Ctrl+C does; its exit status.
    int Stop() {
        if (m_pid <= 0) return -1;
        kill(m_pid, SIGINT);
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_pid = -1;
        return status;
    }

    std::string path;

private:
    pid_t m_pid = -1;
};

TEST(OrioleSim, SerialBackendProgramsTheBoxThroughTheTool) {
    SimProcess sim("ATtiny2313,timing=off");
    ASSERT_FALSE(sim.path.empty());
    std::string error;
    auto driver = CreateSerialDriver(sim.path, error);
    ASSERT_TRUE(driver);
    CLinkState state;
    TestOperationHost host(SystemClock());
    CWriterLink link(*driver, state, host);
    TestSelector selector(0, true);

    ASSERT_TRUE(link.OpenLink());
    ASSERT_TRUE(link.BeginProgramming(selector, true));
    EXPECT_EQ(selector.device, FindDeviceByName("ATtiny2313"));
    ASSERT_TRUE(link.WriteEepromPage(4, std::vector<uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
    link.EndProgramming();
    link.CloseLink();

    // A second opening finds what the first one wrote.
    ASSERT_TRUE(link.OpenLink());
    ASSERT_TRUE(link.BeginProgramming(selector, false));
    uint8_t value = 0;
    ASSERT_TRUE(link.ReadEepromByte(6, value));
    EXPECT_EQ(value, 0xBE);
    link.EndProgramming();
    link.CloseLink();
    EXPECT_TRUE(host.Texts().empty());

    const int status = sim.Stop();
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Options it cannot read, and driver-call faults, which no driver call
// through a terminal could show.
TEST(OrioleSim, RejectsBadOptions) {
    for (const char* options : {"ATmega8,timing=sometimes", "ATmega8,fail=read"}) {
        SimProcess sim(options);
        EXPECT_TRUE(sim.path.empty()) << options;
        const int status = sim.Stop();
        EXPECT_TRUE(WIFEXITED(status)) << options;
        EXPECT_EQ(WEXITSTATUS(status), 2) << options;
    }
}

TEST(SerialBackend, MissingPortIsNotRecognised) {
    std::string error;
    auto driver = CreateSerialDriver("/dev/oriole-no-such-port", error);
    ASSERT_TRUE(driver);
    CLinkState state;
    TestOperationHost host(SystemClock());
    CWriterLink link(*driver, state, host);
    EXPECT_FALSE(link.OpenLink());
    EXPECT_EQ(host.Texts().size(), 1u);
}

}  // namespace
}  // namespace oriole::test
