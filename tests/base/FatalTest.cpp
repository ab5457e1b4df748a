// The last word of a program: an exception nobody handled ends it with one
// line that says why and the status it was given, in a child process.

#include "base/Fatal.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <thread>

namespace oriole {
namespace {

TEST(FatalDeathTest, AnUnhandledExceptionEndsWithOneLineAndItsStatus) {
    const auto uncaught = [](auto make) {
        InstallFatalHandlers("prog", 7);
        // Out of a thread nothing catches it: std::terminate.
        std::thread([make] { throw make(); }).join();
    };
    EXPECT_EXIT(uncaught([] { return std::bad_alloc(); }), testing::ExitedWithCode(7),
                "^prog: メモリが足りないため終了します。\n$");
    EXPECT_EXIT(uncaught([] { return std::runtime_error("broken"); }), testing::ExitedWithCode(7),
                "^prog: 予期しないエラーのため終了します: broken\n$");
    EXPECT_EXIT(uncaught([] { return 42; }), testing::ExitedWithCode(7),
                "^prog: 予期しないエラーのため終了します。\n$");
    // The top-level catch says the same and gives the status back.
    EXPECT_EXIT(
        {
            InstallFatalHandlers("prog", 9);
            try {
                throw std::bad_alloc();
            } catch (...) {
                std::exit(ReportFatal());
            }
        },
        testing::ExitedWithCode(9), "^prog: メモリが足りないため終了します。\n$");
}

}  // namespace
}  // namespace oriole
