// End-to-end transfer cost of the device operations against the simulated
// box. With the box's timing model on (38400 baud, 2 ms USB latency), a full
// FLASH write + verify of an ATmega128 (128 KB) and EEPROM writes + verifies
// (4 KB) run in real time; each reports its wall time divided by the lower
// bound the model itself sets for the traffic that went over the wire (wire
// time of every byte both ways, the latency of every short USB packet, the
// programming times), and the process CPU time
// divided by the wall time. With the timing model off, the host-side cost of
// one 128 KB FLASH write.
#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <ctime>
#include <random>
#include <string>
#include <thread>

#include "image/ImageWriter.h"
#include "link/LinkState.h"
#include "link/Requests.h"
#include "link/SimDriver.h"
#include "ops/OrioleCore.h"

namespace oriole {
namespace {

using namespace std::chrono;

class BenchHost final : public IOperationHost {
public:
    explicit BenchHost(IClock& clock) : m_clock(clock) {}
    Answer ShowMessage(MsgKind kind, std::string_view text, Answer) override {
        if (kind != MsgKind::Information) failures += std::string(text) + "\n";
        return Answer::Yes;
    }
    void PumpOneMessage() override {}
    IClock& Clock() override { return m_clock; }
    void Sleep(milliseconds pause) override {
        slept += pause;
        m_clock.SleepFor(pause);
    }
    void ShowWaitCursor() override {}

    std::string failures;
    nanoseconds slept{0};

private:
    IClock& m_clock;
};

double Seconds(clockid_t id) {
    timespec t{};
    clock_gettime(id, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// The simulator's programming times (SimFirmware.cpp), per command.
constexpr double kEraseS = 9.0e-3, kPageS = 4.5e-3, kWordS = 4.0e-3, kEepromPageS = 3.6e-3,
                 kEepromByteS = 4.0e-3, kFuseS = 4.5e-3;

// Argument bytes after each command letter.
int ArgBytes(uint8_t c) {
    switch (c) {
        case 'A': case 'K': case 'O': case 'Q': return 1;
        case 'L': case 'N': return 2;
        case 'T': return 8;
        default: return c >= 'E' && c <= 'J' ? 5 : 0;
    }
}

// Walks the commands the host sent: letter and count of each memory request.
template <class Fn>
void ForEachCommand(const sim::CSimTranscript& transcript, Fn fn) {
    std::vector<uint8_t> stream;  // the host's bytes, to find the commands in
    for (const auto& e : transcript.Entries())
        if (e.toBox) stream.insert(stream.end(), e.bytes.begin(), e.bytes.end());
    for (size_t i = 0; i < stream.size();) {
        const uint8_t c = stream[i];
        const int args = ArgBytes(c);
        uint32_t count = 0;
        if (c >= 'E' && c <= 'J' && i + 5 < stream.size()) {
            count = (uint32_t{stream[i + 4]} << 8) | stream[i + 5];
            if (count == 0) count = 0x10000;
        }
        size_t data = 0;
        switch (c) {
            case 'F': case 'G': data = count * 2; break;
            case 'I': case 'J': data = count; break;
            default: break;
        }
        fn(c, count);
        i += 1 + static_cast<size_t>(args) + data;
    }
}

// The model's own lower bound for a transcript, in seconds.
double LowerBound(const sim::CSimTranscript& transcript, double baud, double latencyS) {
    const double byteS = 10.0 / baud;
    double bound = 0;
    for (const auto& e : transcript.Entries()) {
        const size_t n = e.bytes.size();
        bound += byteS * static_cast<double>(n);
        if (e.toBox) continue;
        // A packet that is not full waits for the latency timer, counted from
        // its first byte.
        const size_t tail = n % sim::kUsbPacketPayload;
        if (tail != 0) bound += std::max(0.0, latencyS - byteS * static_cast<double>(tail - 1));
    }
    ForEachCommand(transcript, [&](uint8_t c, uint32_t count) {
        switch (c) {
            case 'D': bound += kEraseS; break;
            case 'F': bound += kPageS; break;
            case 'G': bound += kWordS * count; break;
            case 'I': bound += kEepromPageS; break;
            case 'J': bound += kEepromByteS * count; break;
            case 'L': case 'N': case 'Q': bound += kFuseS; break;
            default: break;
        }
    });
    return bound;
}

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
}

// `bytes` from address 0 as Intel HEX; without `saveAll` the records that
// hold only 0xFF are left out (holes in the file).
std::string WriteHexFile(const QTemporaryDir& dir, const char* name, const std::vector<uint8_t>& bytes,
                         bool saveAll) {
    const std::string text = WriteIntelHex(saveAll, bytes.data(), static_cast<uint32_t>(bytes.size()));
    const QString path = dir.filePath(QString::fromUtf8(name));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return {};
    file.write(text.data(), static_cast<qint64>(text.size()));
    return path.toStdString();
}

std::string WriteImageFile(const QTemporaryDir& dir, size_t size, uint32_t seed) {
    return WriteHexFile(dir, "image.hex", RandomBytes(size, seed), true);
}

struct TimedRun {
    double wall = 0;
    double cpu = 0;
    double bound = 0;
    int pages = 0;  // F requests sent
    std::string failure;
};

// Runs `body` on a fresh simulated box with the timing model on (erased
// device, 38400 baud, 2 ms USB latency), in real time.
template <class Body>
TimedRun RunTimed(const char* device, Body body) {
    sim::SimConfig config;
    config.deviceRow = FindDeviceByName(device);
    config.timing = true;
    auto box = std::make_shared<sim::CSimBox>(config, SystemClock());
    BenchHost host(SystemClock());
    COrioleCore core(host);
    core.SetDriver(std::make_unique<CSimDriver>(box));
    core.LinkState().m_nUsbTiming = 0;  // 2 ms latency
    core.LinkState().m_nDataSpeed = 1;  // 38400 baud
    core.LinkState().m_nSysFreq = 8000000;

    TimedRun run;
    const double cpu0 = Seconds(CLOCK_PROCESS_CPUTIME_ID), wall0 = Seconds(CLOCK_MONOTONIC);
    const bool ok = body(core);
    run.cpu = Seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
    run.wall = Seconds(CLOCK_MONOTONIC) - wall0;
    if (!ok || !host.failures.empty()) run.failure = "operation failed: " + host.failures;
    // The protocol's pauses (1 ms before and 10 ms after the data of J)
    // pass while the header is still on the line and while the box
    // programs; they add nothing to the bound.
    run.bound = LowerBound(box->Transcript(), 38400.0, 2.0e-3);
    ForEachCommand(box->Transcript(), [&run](uint8_t c, uint32_t) { run.pages += c == 'F' ? 1 : 0; });
    return run;
}

// One write + verify of a whole memory.
void WriteAndVerify(benchmark::State& state, const char* device, bool flash) {
    QTemporaryDir dir;
    const AVR_DEVICE& d = DeviceAt(FindDeviceByName(device));
    const std::string file = WriteImageFile(dir, static_cast<size_t>(flash ? d.FlashBytes() : d.eepromBytes), 7);
    for (auto _ : state) {
        const TimedRun run = RunTimed(device, [&](COrioleCore& core) {
            return flash ? core.WriteFlash(file, {.timing = true, .verify = true}) : core.WriteEeprom(file, {.timing = true, .verify = true});
        });
        if (!run.failure.empty()) state.SkipWithError(run.failure.c_str());
        state.SetIterationTime(run.wall);
        state.counters["bound_s"] = run.bound;
        state.counters["wall_per_bound"] = run.wall / run.bound;
        state.counters["cpu_per_wall"] = run.cpu / run.wall;
    }
}

void BM_FlashWriteVerify_ATmega128(benchmark::State& s) { WriteAndVerify(s, "ATmega128", true); }
void BM_EepromWriteVerify_ATmega1280_Paged(benchmark::State& s) { WriteAndVerify(s, "ATmega1280", false); }
void BM_EepromWriteVerify_ATmega128_Chunked(benchmark::State& s) { WriteAndVerify(s, "ATmega128", false); }

BENCHMARK(BM_FlashWriteVerify_ATmega128)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_EepromWriteVerify_ATmega1280_Paged)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);
BENCHMARK(BM_EepromWriteVerify_ATmega128_Chunked)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// A 4 KB boot loader at the top of an ATmega128 (0x1F000) against the same
// 4 KB at address 0: erase, write and verify, as `oriole-cli erase
// write-flash boot.hex --verify` runs them. The time should follow the bytes,
// not the address.
void BM_BootLoaderTopOverBottom_ATmega128(benchmark::State& state) {
    QTemporaryDir dir;
    const std::vector<uint8_t> code = RandomBytes(4096, 12);
    std::vector<uint8_t> top(0x20000, 0xFF);
    std::copy(code.begin(), code.end(), top.begin() + 0x1F000);
    const std::string topFile = WriteHexFile(dir, "top.hex", top, false);
    const std::string bottomFile = WriteHexFile(dir, "bottom.hex", code, false);
    const auto eraseWriteVerify = [](const std::string& file) {
        return [file](COrioleCore& core) {
            if (!core.EraseDevice(Quietly(true))) return false;
            return core.WriteFlash(file, {.timing = false, .verify = true});
        };
    };
    for (auto _ : state) {
        const TimedRun atTop = RunTimed("ATmega128", eraseWriteVerify(topFile));
        const TimedRun atZero = RunTimed("ATmega128", eraseWriteVerify(bottomFile));
        if (!atTop.failure.empty() || !atZero.failure.empty())
            state.SkipWithError((atTop.failure + atZero.failure).c_str());
        state.SetIterationTime(atTop.wall);
        state.counters["top_s"] = atTop.wall;
        state.counters["zero_s"] = atZero.wall;
        state.counters["top_per_zero"] = atTop.wall / atZero.wall;
        state.counters["top_wall_per_bound"] = atTop.wall / atTop.bound;
    }
}
BENCHMARK(BM_BootLoaderTopOverBottom_ATmega128)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// 32 KB on an ATmega328P, the second half 0xFF padding: the write sends only
// the pages that clear a bit, and its time is set against the bound of those
// pages (pages_sent must equal pages_not_ff for that bound to be the one).
void BM_FlashWriteHalfPadding_ATmega328P(benchmark::State& state) {
    QTemporaryDir dir;
    std::vector<uint8_t> bytes = RandomBytes(0x8000, 13);
    std::fill(bytes.begin() + 0x4000, bytes.end(), uint8_t{0xFF});
    const std::string file = WriteHexFile(dir, "padded.hex", bytes, true);
    int notFf = 0;
    for (size_t page = 0; page < bytes.size(); page += 128)
        notFf += std::any_of(bytes.begin() + static_cast<std::ptrdiff_t>(page),
                             bytes.begin() + static_cast<std::ptrdiff_t>(page + 128),
                             [](uint8_t b) { return b != 0xFF; })
                     ? 1
                     : 0;
    for (auto _ : state) {
        const TimedRun run =
            RunTimed("ATmega328P", [&](COrioleCore& core) { return core.WriteFlash(file, {.timing = true, .verify = false}); });
        if (!run.failure.empty()) state.SkipWithError(run.failure.c_str());
        state.SetIterationTime(run.wall);
        state.counters["bound_s"] = run.bound;
        state.counters["wall_per_bound"] = run.wall / run.bound;
        state.counters["pages_sent"] = run.pages;
        state.counters["pages_not_ff"] = notFf;
    }
}
BENCHMARK(BM_FlashWriteHalfPadding_ATmega328P)->Iterations(1)->UseManualTime()->Unit(benchmark::kSecond);

// The wire trace's cost: a 128 KB FLASH write + verify on the timed
// simulator (real time), without and with a trace to a file; the trace must
// not slow the transfer measurably (compare the wall times of trace:0 and
// trace:1), and trace_mb says how much it wrote.
void BM_FlashWriteVerifyTrace_ATmega128(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string file = WriteImageFile(dir, 131072, 7);
    const bool traced = state.range(0) != 0;
    for (auto _ : state) {
        std::shared_ptr<CWireTrace> trace;
        const TimedRun run = RunTimed("ATmega128", [&](COrioleCore& core) {
            if (traced) {
                std::string error;
                trace = CWireTrace::Open(dir.filePath("wire.trace").toStdString(), error);
                if (!trace) return false;
                core.SetTrace(trace);
            }
            return core.WriteFlash(file, {.timing = true, .verify = true});
        });
        if (!run.failure.empty()) state.SkipWithError(run.failure.c_str());
        state.SetIterationTime(run.wall);
        state.counters["wall_per_bound"] = run.wall / run.bound;
        state.counters["cpu_per_wall"] = run.cpu / run.wall;
        state.counters["trace_mb"] = trace ? static_cast<double>(trace->BytesWritten()) / 1e6 : 0.0;
    }
}
BENCHMARK(BM_FlashWriteVerifyTrace_ATmega128)->ArgName("trace")->Arg(0)->Arg(1)->Iterations(1)->UseManualTime()
    ->Unit(benchmark::kSecond);

// The host's own work for one 128 KB write, the box answering at once.
void BM_FlashWriteHostCost_ATmega128(benchmark::State& state) {
    QTemporaryDir dir;
    const std::string file = WriteImageFile(dir, 131072, 11);
    CVirtualClock clock;
    sim::SimConfig config;
    config.deviceRow = FindDeviceByName("ATmega128");
    config.timing = false;
    auto box = std::make_shared<sim::CSimBox>(config, clock);
    BenchHost host(clock);
    COrioleCore core(host);
    core.SetDriver(std::make_unique<CSimDriver>(box));
    for (auto _ : state) {
        box->Transcript().Clear();
        if (!core.WriteFlash(file, {.timing = true, .confirm = false, .report = false, .verify = false})) state.SkipWithError("write failed");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 131072);
}
BENCHMARK(BM_FlashWriteHostCost_ATmega128)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace oriole

BENCHMARK_MAIN();
