#include "base/Fatal.h"

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>

#include "res/Texts.h"

#if defined(_WIN32)
#include <io.h>
#define ORIOLE_WRITE _write
#else
#include <unistd.h>
#define ORIOLE_WRITE ::write
#endif

namespace oriole {
namespace {

const char* g_program = "oriole";
int g_status = 1;

// One line from a buffer of its own: with memory gone, nothing may be
// allocated on the way out.
void SayWhy(std::exception_ptr e) {
    static char line[512];
    const char* why = text::kFatalUnknown;
    const char* detail = "";
    try {
        if (e) std::rethrow_exception(e);
    } catch (const std::bad_alloc&) {
        why = text::kFatalOutOfMemory;
    } catch (const std::exception& x) {
        why = text::kFatalException;
        detail = x.what();
    } catch (...) {
    }
    const int n = std::snprintf(line, sizeof line, "%s: %s%s\n", g_program, why, detail);
    if (n <= 0) return;
    const auto length =
        n < static_cast<int>(sizeof line) ? static_cast<unsigned>(n) : unsigned{sizeof line - 1};
    (void)!ORIOLE_WRITE(2, line, length);
}

[[noreturn]] void OnTerminate() {
    SayWhy(std::current_exception());
    std::_Exit(g_status);
}

}  // namespace

void InstallFatalHandlers(const char* program, int status) {
    g_program = program;
    g_status = status;
    std::set_terminate(OnTerminate);
}

int ReportFatal() {
    SayWhy(std::current_exception());
    return g_status;
}

}  // namespace oriole
