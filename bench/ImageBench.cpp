// Loading speed of Intel HEX and S-record files, in bytes of file text per
// second. The throughput should stay flat from 1 KB to 4 MB: the loader's cost
// has to grow linearly with the file.

#include <benchmark/benchmark.h>

#include <QFile>
#include <QTemporaryDir>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "image/ImageReader.h"

namespace {

using oriole::Answer;
using oriole::MsgKind;

class SilentHost : public oriole::IMessageHost {
public:
    Answer ShowMessage(MsgKind, std::string_view, Answer) override { return Answer::Ok; }
};

enum Format : int64_t { kIntelHex = 0, kSRecord = 1 };

void AppendRecord(std::string& out, const char* start, const std::vector<uint8_t>& bytes,
                  uint8_t checksum) {
    out += start;
    char hex[3];
    for (uint8_t b : bytes) {
        std::snprintf(hex, sizeof hex, "%02X", b);
        out += hex;
    }
    std::snprintf(hex, sizeof hex, "%02X", checksum);
    out += hex;
    out += "\r\n";
}

uint8_t Sum(const std::vector<uint8_t>& bytes) {
    unsigned sum = 0;
    for (uint8_t b : bytes) sum += b;
    return static_cast<uint8_t>(sum);
}

uint8_t DataByte(uint32_t address) { return static_cast<uint8_t>(address * 7 + (address >> 8)); }

// Intel HEX with an extended linear address record at each 64 KB boundary.
std::string MakeIntelHex(uint32_t size, uint32_t recordLength) {
    std::string out;
    uint32_t upper = 0;
    for (uint32_t a = 0; a < size; a += recordLength) {
        if ((a >> 16) != upper) {
            upper = a >> 16;
            const std::vector<uint8_t> ext{2, 0, 0, 4, static_cast<uint8_t>(upper >> 8),
                                           static_cast<uint8_t>(upper)};
            AppendRecord(out, ":", ext, static_cast<uint8_t>(-Sum(ext)));
        }
        std::vector<uint8_t> rec{static_cast<uint8_t>(recordLength), static_cast<uint8_t>(a >> 8),
                                 static_cast<uint8_t>(a), 0};
        for (uint32_t i = 0; i < recordLength; ++i) rec.push_back(DataByte(a + i));
        AppendRecord(out, ":", rec, static_cast<uint8_t>(-Sum(rec)));
    }
    out += ":00000001FF\r\n";
    return out;
}

// S2 records (24-bit addresses) and an S8 termination.
std::string MakeSRecord(uint32_t size, uint32_t recordLength) {
    std::string out;
    for (uint32_t a = 0; a < size; a += recordLength) {
        std::vector<uint8_t> rec{static_cast<uint8_t>(recordLength + 4),
                                 static_cast<uint8_t>(a >> 16), static_cast<uint8_t>(a >> 8),
                                 static_cast<uint8_t>(a)};
        for (uint32_t i = 0; i < recordLength; ++i) rec.push_back(DataByte(a + i));
        AppendRecord(out, "S2", rec, static_cast<uint8_t>(~Sum(rec)));
    }
    out += "S804000000FB\r\n";
    return out;
}

struct BenchFile {
    QString path;
    int64_t size = 0;
};

// Files are made once per shape and kept until the program ends.
const BenchFile& FileFor(const std::string& name, const std::string& content) {
    static QTemporaryDir dir;
    static std::map<std::string, BenchFile> files;
    auto it = files.find(name);
    if (it != files.end()) return it->second;
    BenchFile file{dir.filePath(QString::fromStdString(name)),
                   static_cast<int64_t>(content.size())};
    QFile out(file.path);
    if (!out.open(QIODevice::WriteOnly) ||
        out.write(content.data(), file.size) != file.size) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(file.path));
    }
    return files.emplace(name, file).first->second;
}

const BenchFile& DataFile(uint32_t size, uint32_t recordLength, int64_t format) {
    const std::string name = std::to_string(size) + "-" + std::to_string(recordLength) +
                             (format == kIntelHex ? ".hex" : ".mot");
    return FileFor(name, format == kIntelHex ? MakeIntelHex(size, recordLength)
                                             : MakeSRecord(size, recordLength));
}

void RunLoads(benchmark::State& state, const BenchFile& file, uint32_t capacity, bool scan) {
    SilentHost host;
    std::vector<int16_t> cells(scan ? 0 : capacity);
    for (auto _ : state) {
        uint32_t count = capacity;
        uint32_t lowest = 0;
        uint32_t highest = 0;
        const bool ok = oriole::LoadImageFile(host, file.path, scan ? nullptr : cells.data(),
                                              count, lowest, highest);
        if (!ok) {
            state.SkipWithError("load failed");
            break;
        }
        benchmark::DoNotOptimize(cells.data());
        benchmark::DoNotOptimize(count);
    }
    state.SetBytesProcessed(state.iterations() * file.size);
}

// Args: data bytes, bytes per record, format.
void BM_LoadImage(benchmark::State& state) {
    const auto size = static_cast<uint32_t>(state.range(0));
    const BenchFile& file = DataFile(size, static_cast<uint32_t>(state.range(1)), state.range(2));
    RunLoads(state, file, size, false);
}
BENCHMARK(BM_LoadImage)
    ->ArgsProduct({{1 << 10, 64 << 10, 1 << 20, 4 << 20}, {16, 32}, {kIntelHex, kSRecord}})
    ->ArgNames({"data", "rec", "srec"});

// The first pass of a memory view: no cells, only the extent.
void BM_ScanImage(benchmark::State& state) {
    const BenchFile& file = DataFile(static_cast<uint32_t>(state.range(0)), 16, kIntelHex);
    RunLoads(state, file, 0, true);
}
BENCHMARK(BM_ScanImage)->Arg(64 << 10)->Arg(4 << 20)->ArgName("data");

// A record followed by megabytes of junk on the same line: only the line
// search touches the junk.
void BM_LoadLongLine(benchmark::State& state) {
    const auto junk = static_cast<size_t>(state.range(0));
    const BenchFile& file = FileFor("junk-" + std::to_string(junk),
                                    ":0100000055AA" + std::string(junk, 'x') + "\n:00000001FF\n");
    RunLoads(state, file, 16, false);
}
BENCHMARK(BM_LoadLongLine)->Arg(1 << 20)->Arg(16 << 20)->ArgName("junk");

}  // namespace

BENCHMARK_MAIN();
