// Production runs on timed simulated boxes: four boxes programming one chip
// each against one box programming one chip. The wall time of four should
// stay near that of one (the boxes wait on their wires, not on the CPU);
// cpu_per_box_pct is the process's CPU time per box over the wall time.

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QFile>
#include <QTemporaryDir>
#include <chrono>

#include "production/ProductionRun.h"

namespace {

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void BM_TimedBoxes(benchmark::State& state) {
    const int boxes = static_cast<int>(state.range(0));
    QTemporaryDir dir;
    QFile hex(dir.filePath("prog.hex"));
    if (!hex.open(QIODevice::WriteOnly)) return state.SkipWithError("no temporary folder");
    // 2 KB of program.
    for (int at = 0; at < 2048; at += 16) {
        QByteArray record = QByteArray::fromHex(QString("10%1").arg(at, 4, 16, QChar('0')).toLatin1() + "00");
        for (int i = 0; i < 16; ++i) record += static_cast<char>(at + i);
        uint8_t sum = 0;
        for (char c : record) sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
        hex.write(':' + (record + static_cast<char>(-sum)).toHex().toUpper() + "\r\n");
    }
    hex.write(":00000001FF\r\n");
    hex.close();
    oriole::ProductionJob job;
    job.settingFile = dir.filePath("job.set");
    std::string error;
    QFile set(job.settingFile);
    if (!set.open(QIODevice::WriteOnly)) return state.SkipWithError("no setting file");
    set.write("[Device]\r\nLastAVR=ATmega328P\r\nAutoCheck=00000007\r\n[FLASH]\r\nFile=prog.hex\r\n");
    set.close();
    if (!oriole::LoadProductionJob(job.settingFile, job, error)) return state.SkipWithError(error.c_str());
    oriole::ProductionOptions options;
    for (int b = 0; b < boxes; ++b) options.writers.push_back("sim:ATmega328P");
    double cpu = 0;
    double wall = 0;
    int failed = 0;
    for (auto _ : state) {
        std::string said;
        oriole::ProductionEvents events;
        events.onMessage = [&said](const std::string&, oriole::MsgKind, const std::string& text) { said += text; };
        oriole::CProductionRun run(job, options, events);
        if (!run.Prepare()) return state.SkipWithError(said.c_str());
        const double cpu0 = CpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        run.Run();
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        cpu += CpuSeconds() - cpu0;
        failed += run.Failed();
    }
    state.counters["failed_chips"] = failed;
    state.counters["cpu_per_box_pct"] = wall > 0 ? 100.0 * cpu / wall / boxes : 0;
    state.counters["wall_s"] = wall / static_cast<double>(state.iterations());
}
BENCHMARK(BM_TimedBoxes)->Arg(1)->Arg(4)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
