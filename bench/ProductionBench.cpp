// Production runs on timed simulated boxes.
//
// BM_ChipsPerHour: 1, 2 and 4 boxes, each programming the same number of
// chips (erase, 2 KB write, verify) from a tray that takes each chip out
// HOLD after its erase and puts the next one in GAP later. chips_per_hour is
// the run's throughput; time_vs_1_box is the wall time against that of one
// box with the same chips per box (the boxes wait on their wires and on the
// tray, not on the CPU, so it should stay at or under 1.05). chip_s is the
// mean time of one chip's programming as the log records it.
//
// BM_WaitingCpu: boxes with an empty socket, asking for a chip at the run's
// usual rate for ten seconds; cpu_per_box_pct is the process's CPU time
// (getrusage) per box over the wall time.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <thread>

#include "production/ProductionRun.h"

namespace {

constexpr int kChipsPerBox = 3;
// The tray: a chip stays 2.5 s after its erase (the programming takes some
// 1.4 s), the next is in 0.5 s after it is out.
constexpr char kTray[] = "sim:ATmega328P,swap=2500:500";

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A setting file for an ATmega328P: erase, 2 KB of FLASH, verify.
bool MakeJob(const QTemporaryDir& dir, oriole::ProductionJob& job, std::string& error) {
    QFile hex(dir.filePath("prog.hex"));
    if (!hex.open(QIODevice::WriteOnly)) return error = "no temporary folder", false;
    for (int at = 0; at < 2048; at += 16) {
        QByteArray record = QByteArray::fromHex(QString("10%1").arg(at, 4, 16, QChar('0')).toLatin1() + "00");
        for (int i = 0; i < 16; ++i) record += static_cast<char>(at + i);
        uint8_t sum = 0;
        for (char c : record) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
        hex.write(':' + (record + static_cast<char>(-sum)).toHex().toUpper() + "\r\n");
    }
    hex.write(":00000001FF\r\n");
    hex.close();
    job.settingFile = dir.filePath("job.set");
    QFile set(job.settingFile);
    if (!set.open(QIODevice::WriteOnly)) return error = "no setting file", false;
    set.write("[Device]\r\nLastAVR=ATmega328P\r\nAutoCheck=00000007\r\n[FLASH]\r\nFile=prog.hex\r\n");
    set.close();
    return oriole::LoadProductionJob(job.settingFile, job, error);
}

oriole::ProductionEvents Quiet(std::string& said) {
    oriole::ProductionEvents events;
    events.onMessage = [&said](const std::string&, oriole::MsgKind, const std::string& text) { said += text; };
    return events;
}

void BM_ChipsPerHour(benchmark::State& state) {
    static double oneBoxWall = 0;
    const int boxes = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    oriole::ProductionJob job;
    if (std::string error; !MakeJob(dir, job, error)) return state.SkipWithError(error.c_str());
    oriole::ProductionOptions options;
    for (int b = 0; b < boxes; ++b) options.writers.push_back(kTray);
    options.repeat = true;
    options.count = boxes * kChipsPerBox;
    options.poll = std::chrono::milliseconds(100);
    double cpu = 0;
    double wall = 0;
    int passed = 0;
    int failed = 0;
    std::atomic<int64_t> chipMs{0};
    for (auto _ : state) {
        std::string said;
        oriole::ProductionEvents events = Quiet(said);
        events.onChip = [&chipMs](const oriole::ChipRecord& chip) { chipMs += chip.durationMs; };
        oriole::CProductionRun run(job, options, events);
        if (!run.Prepare()) return state.SkipWithError(said.c_str());
        const double cpu0 = CpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        run.Run();
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        cpu += CpuSeconds() - cpu0;
        passed += run.Passed();
        failed += run.Failed();
    }
    const double perRun = wall / static_cast<double>(state.iterations());
    if (boxes == 1) oneBoxWall = perRun;
    state.counters["passed"] = passed;
    state.counters["failed"] = failed;
    state.counters["wall_s"] = perRun;
    state.counters["chip_s"] = passed + failed > 0 ? static_cast<double>(chipMs.load()) / 1000.0 / (passed + failed) : 0;
    state.counters["chips_per_hour"] = wall > 0 ? 3600.0 * passed / wall : 0;
    state.counters["cpu_per_box_pct"] = wall > 0 ? 100.0 * cpu / wall / boxes : 0;
    if (oneBoxWall > 0) state.counters["time_vs_1_box"] = perRun / oneBoxWall;
}
BENCHMARK(BM_ChipsPerHour)->Arg(1)->Arg(2)->Arg(4)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

void BM_WaitingCpu(benchmark::State& state) {
    const int boxes = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    oriole::ProductionJob job;
    if (std::string error; !MakeJob(dir, job, error)) return state.SkipWithError(error.c_str());
    oriole::ProductionOptions options;
    for (int b = 0; b < boxes; ++b) options.writers.push_back("sim:none");
    options.repeat = true;  // the run's usual poll
    double cpu = 0;
    double wall = 0;
    for (auto _ : state) {
        std::string said;
        oriole::CProductionRun run(job, options, Quiet(said));
        if (!run.Prepare()) return state.SkipWithError(said.c_str());
        const double cpu0 = CpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        std::thread runner([&run] { run.Run(); });
        std::this_thread::sleep_for(std::chrono::seconds(10));
        run.Stop();
        runner.join();
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        cpu += CpuSeconds() - cpu0;
        if (run.Passed() + run.Failed() != 0) return state.SkipWithError("a chip was found on an empty socket");
    }
    state.counters["cpu_per_box_pct"] = wall > 0 ? 100.0 * cpu / wall / boxes : 0;
}
BENCHMARK(BM_WaitingCpu)->Arg(1)->Arg(4)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
