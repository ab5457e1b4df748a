// Output speed of the HEX / S-record writer: formatting alone and a whole
// save to a file. Bytes processed = characters of file text produced.

#include <benchmark/benchmark.h>

#include <QTemporaryDir>
#include <random>
#include <string>
#include <vector>

#include "image/ImageWriter.h"

namespace {

class NullHost : public oriole::IMessageHost {
public:
    oriole::Answer ShowMessage(oriole::MsgKind, std::string_view, oriole::Answer) override {
        return oriole::Answer::Ok;
    }
};

// Programmed data in every block: the most text a memory of that size makes.
std::vector<uint8_t> Memory(size_t length) {
    std::mt19937 rng(42);
    std::vector<uint8_t> bytes(length);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    return bytes;
}

std::string Format(oriole::ImageFormat format, const std::vector<uint8_t>& mem) {
    const auto length = static_cast<uint32_t>(mem.size());
    return format == oriole::ImageFormat::IntelHex
               ? oriole::WriteIntelHex(false, mem.data(), length)
               : oriole::WriteSRecord("flash.mot", false, mem.data(), length);
}

void BM_Format(benchmark::State& state) {
    const auto format = oriole::SaveFormatOfCode(static_cast<int>(state.range(0)));
    const auto mem = Memory(static_cast<size_t>(state.range(1)));
    size_t textSize = 0;
    for (auto _ : state) {
        std::string text = Format(format, mem);
        textSize = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * textSize));
}

void BM_Save(benchmark::State& state) {
    const auto format = oriole::SaveFormatOfCode(static_cast<int>(state.range(0)));
    const auto mem = Memory(static_cast<size_t>(state.range(1)));
    const size_t textSize = Format(format, mem).size();
    QTemporaryDir dir;
    const QString path = dir.filePath("flash.img");
    NullHost host;
    for (auto _ : state) {
        if (!oriole::SaveImageFile(host, path, format, false, mem.data(),
                                   static_cast<uint32_t>(mem.size()))) {
            state.SkipWithError("save failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * textSize));
}

void Sizes(benchmark::internal::Benchmark* b) {
    b->ArgNames({"format", "bytes"});
    for (oriole::ImageFormat format : {oriole::ImageFormat::IntelHex, oriole::ImageFormat::SRecord})
        for (int64_t size : {1 << 10, 64 << 10, 1 << 20, 4 << 20}) b->Args({oriole::SaveFormatCode(format), size});
}

}  // namespace

BENCHMARK(BM_Format)->Apply(Sizes);
BENCHMARK(BM_Save)->Apply(Sizes)->UseRealTime();

BENCHMARK_MAIN();
