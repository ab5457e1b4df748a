// How much processor time the writer link burns while it waits: CPU time
// divided by wall time during a WaitAck that gets no answer (it gives up
// after the 11-tick time-out, about 11 s), and while 64 KB of FLASH arrive at
// 38400 baud (about 17 s). Both run on real time against the simulated box,
// in process and through a pseudo-terminal; the process CPU time includes
// the box's own work. And how much a box that serves many runs keeps of
// their traffic.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <algorithm>
#include <ctime>
#include <string>
#include <thread>
#include <vector>

#include "PtySimServer.h"
#include "link/Backends.h"
#include "link/SimDriver.h"
#include "link/WriterLink.h"

namespace oriole {
namespace {

// The command-line tool's way of being a host: the pump does nothing, the
// link's time-outs run on the system clock.
class ToolHost : public IOperationHost {
public:
    Answer ShowMessage(MsgKind, std::string_view text, Answer) override {
        messages.emplace_back(text);
        return Answer::Ok;
    }
    void PumpOneMessage() override {}
    void Sleep(std::chrono::milliseconds pause) override { std::this_thread::sleep_for(pause); }
    void ShowWaitCursor() override {}

    std::vector<std::string> messages;
};

class ProcessTimes {
public:
    ProcessTimes() : m_cpu(Cpu()), m_wall(Wall()) {}
    double CpuPerWall() const { return (Cpu() - m_cpu) / (Wall() - m_wall); }

private:
    static double Seconds(clockid_t id) {
        timespec t{};
        clock_gettime(id, &t);
        return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
    }
    static double Cpu() { return Seconds(CLOCK_PROCESS_CPUTIME_ID); }
    static double Wall() { return Seconds(CLOCK_MONOTONIC); }
    double m_cpu, m_wall;
};

// A box with its driver: in process, or oriole-sim's server on a thread.
struct Writer {
    explicit Writer(bool overPty, const std::string& options) {
        std::string error;
        auto config = sim::ParseSimOptions(options, error);
        if (!overPty) {
            driver = CSimDriver::WithOwnBox(*config);
            return;
        }
        if (!server.Start(*config, error)) return;
        thread = std::thread([this] { server.Serve(); });
        driver = CreateSerialDriver(server.Path(), error);
    }
    ~Writer() {
        driver.reset();
        if (thread.joinable()) {
            server.Stop();
            thread.join();
        }
    }
    sim::CPtySimServer server;
    std::thread thread;
    std::unique_ptr<IWriterDriver> driver;
};

struct NoSelection : IDeviceSelector {
    explicit NoSelection(const char* name) : row(FindDeviceByName(name)) {}
    const AVR_DEVICE& SelectedDevice() const override { return DeviceAt(row); }
    bool IsAutoDetect() const override { return false; }
    bool SelectDetectedDevice(int) override { return true; }
    void ForgetDetectedDevice() override {}
    int row;
};

void BM_WaitAckWithoutAnswer(benchmark::State& state) {
    const bool overPty = state.range(0) != 0;
    for (auto _ : state) {
        Writer writer(overPty, "ATmega8,mute=D");
        CLinkState link;
        ToolHost host;
        CWriterLink writerLink(*writer.driver, link, host);
        NoSelection selector("ATmega8");
        if (!writerLink.OpenLink() || !writerLink.BeginProgramming(selector, false)) {
            state.SkipWithError("no link");
            return;
        }
        const ProcessTimes times;
        const bool ok = writerLink.ChipErase();  // never acknowledged
        state.counters["cpu_per_wall"] = times.CpuPerWall();
        if (ok || link.m_nAbort != kAbortTimeout) state.SkipWithError("the wait did not time out");
    }
}

void BM_Read64KbAt38400(benchmark::State& state) {
    const bool overPty = state.range(0) != 0;
    for (auto _ : state) {
        Writer writer(overPty, "ATmega644");  // 64 KB of FLASH, real-time model
        CLinkState link;
        ToolHost host;
        CWriterLink writerLink(*writer.driver, link, host);
        NoSelection selector("ATmega644");
        if (!writerLink.OpenLink() || !writerLink.BeginProgramming(selector, false)) {
            state.SkipWithError("no link");
            return;
        }
        std::vector<uint8_t> flash(65536);
        const ProcessTimes times;
        const bool ok = writerLink.ReadFlashBlock(0, flash);
        state.counters["cpu_per_wall"] = times.CpuPerWall();
        state.counters["bytes"] = static_cast<double>(flash.size());
        if (!ok) state.SkipWithError("read failed");
    }
}

// A box that serves run after run, as oriole-sim and the application on
// "sim" do: 100 cycles of writing and reading back 128 KB of FLASH. The
// counters are what the box keeps of the traffic at its largest and the
// process's peak memory; both must stay flat however many cycles run.
void BM_TranscriptOver100Cycles(benchmark::State& state) {
    const bool overPty = state.range(0) != 0;
    for (auto _ : state) {
        Writer writer(overPty, "ATmega128,fast");
        auto transcriptBytes = [&] {
            auto bytes = [](sim::CSimBox& box) { return box.Transcript().Bytes(); };
            return overPty ? writer.server.WithBox(bytes)
                           : bytes(static_cast<CSimDriver&>(*writer.driver).Box());
        };
        const AVR_DEVICE& device = DeviceAt(FindDeviceByName("ATmega128"));
        const auto page = static_cast<uint32_t>(device.flashPageWords) * 2;
        std::vector<uint8_t> image(static_cast<size_t>(device.FlashBytes()), 0x5A);
        size_t peak = 0;
        for (int cycle = 0; cycle < 100; ++cycle) {
            CLinkState link;
            ToolHost host;
            CWriterLink writerLink(*writer.driver, link, host);
            NoSelection selector("ATmega128");
            bool ok = writerLink.OpenLink() && writerLink.BeginProgramming(selector, false);
            for (uint32_t at = 0; ok && at < image.size(); at += page)
                ok = writerLink.WriteFlashPage(at / 2, std::span(image).subspan(at, page),
                                               PieceFailure::EndPage);
            ok = ok && writerLink.ReadFlashBlock(0, image);
            writerLink.EndProgramming();
            writerLink.CloseLink();
            if (!ok) {
                state.SkipWithError("a cycle failed");
                return;
            }
            peak = std::max(peak, transcriptBytes());
        }
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        state.counters["transcript_peak_bytes"] = static_cast<double>(peak);
        state.counters["transcript_limit_bytes"] = static_cast<double>(sim::kDefaultTranscriptLimit);
        state.counters["peak_rss_kb"] = static_cast<double>(usage.ru_maxrss);
    }
}

BENCHMARK(BM_WaitAckWithoutAnswer)->ArgName("pty")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)
    ->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_Read64KbAt38400)->ArgName("pty")->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)
    ->UseRealTime()->MeasureProcessCPUTime();
BENCHMARK(BM_TranscriptOver100Cycles)->ArgName("pty")->Arg(0)->Arg(1)->Iterations(1)
    ->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace oriole

BENCHMARK_MAIN();
