// What a silent box costs over the real USB stack: the link waits the full
// ten seconds for an acknowledge that never comes, through libftdi1 and
// libusb on an emulated FT232R. Reports the processor time of the waiting
// thread (driver, libftdi1, libusb) and of the whole process (which also
// counts the chip emulation) as a share of one core over the wall time.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <time.h>

#include "link/Backends.h"
#include "link/LinkTestSupport.h"
#include "link/WriterLink.h"
#include "usb/EmulatedFtdi.h"

namespace {

using namespace oriole;
using namespace oriole::test;

double Seconds(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

void SilentWait(benchmark::State& state) {
    std::string why;
    if (!CUsbTestbed::Available(why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    for (auto _ : state) {
        CUsbTestbed bed;
        UsbBoxSetup setup;
        setup.simOptions = "ATmega8,fast,mute=D";
        bed.Plug(setup);
        std::string error;
        auto driver = CreateFtdiDriver({}, error);
        CLinkState link{};
        link.m_nUsbTiming = static_cast<int32_t>(state.range(0));
        TestOperationHost host(SystemClock());
        CWriterLink writer(*driver, link, host);
        TestSelector selector(FindDeviceByName("ATmega8"), false);
        if (!writer.OpenLink() || !writer.BeginProgramming(selector, false)) {
            state.SkipWithError("the emulated box did not open");
            return;
        }
        const double wall0 = Seconds(CLOCK_MONOTONIC), thread0 = Seconds(CLOCK_THREAD_CPUTIME_ID),
                     process0 = Seconds(CLOCK_PROCESS_CPUTIME_ID);
        benchmark::DoNotOptimize(writer.ChipErase());  // no answer: the full time-out
        const double wall = Seconds(CLOCK_MONOTONIC) - wall0;
        state.counters["wait_s"] = wall;
        state.counters["thread_cpu_pct"] =
            100.0 * (Seconds(CLOCK_THREAD_CPUTIME_ID) - thread0) / wall;
        state.counters["process_cpu_pct"] =
            100.0 * (Seconds(CLOCK_PROCESS_CPUTIME_ID) - process0) / wall;
        writer.CloseLink();
    }
}
// USB timing 1 (16 ms latency) and 0 (2 ms).
BENCHMARK(SilentWait)->Arg(1)->Arg(0)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
    ReexecUnderPreload(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
