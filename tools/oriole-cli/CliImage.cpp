// oriole-cli image info | convert: look at and convert HEX, S-record, ELF and
// binary files with the same loader and writer the programmer uses.

#include <cstdio>
#include <vector>

#include "CliCommon.h"
#include "CliOperationHost.h"
#include "image/ImageBuffer.h"
#include "image/ImageReader.h"
#include "image/ImageWriter.h"
#include "res/Texts.h"

namespace oriole::cli {
namespace {

// The largest image the tool builds in memory: the 24-bit address range that
// any AVR memory and the "%06X" dumps fit in. A file whose data lie higher is
// refused instead of allocating gigabytes.
constexpr uint32_t kMaxImageBytes = 16u * 1024 * 1024;

const QCommandLineOption kEepromPart("eeprom", "ELF ファイルの EEPROM の部分を読み込みます (既定は FLASH)。");

ImageLoadOptions LoadOptions(const QCommandLineParser& parser) {
    return {.space = parser.isSet(kEepromPart) ? ImageSpace::Eeprom : ImageSpace::Flash};
}

const QCommandLineOption kCapacity("capacity",
                                   "イメージの容量 (バイト数, 10 進または 0x で始まる 16 進)。",
                                   "N");

// The loader is silent about a file it does not recognise and about a file
// without an end record; say at least that the load failed.
int LoadFailed(const CliOperationHost& host, int messagesBefore, const QString& path) {
    if (host.FailureCount() == messagesBefore)
        std::fprintf(stderr, "%s: 読み込みに失敗しました。\n", qPrintable(path));
    return kExitFailed;
}

bool ReadCapacity(const QCommandLineParser& parser, bool& given, uint32_t& capacity,
                  int& status) {
    given = parser.isSet(kCapacity);
    if (!given) return true;
    if (!ParseUnsigned(parser.value(kCapacity), capacity)) {
        status = UsageError("--capacity には数値を指定してください: " + parser.value(kCapacity));
        return false;
    }
    if (capacity > kMaxImageBytes) {
        status = UsageError(QString("--capacity は %1 バイトまでです。").arg(kMaxImageBytes));
        return false;
    }
    return true;
}

int RunInfo(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "ファイルを読み込み、使用長と最低・最高アドレスを表示します。\n"
        "--capacity がなければ、容量を調べずに走査だけします。");
    parser.addPositionalArgument("FILE", "Intel HEX, Motorola S レコード, ELF またはバイナリのファイル");
    parser.addOption(kCapacity);
    parser.addOption(kEepromPart);
    if (const int status = ParseCommand(parser, args, 1, 1); status >= 0) return status;

    bool capacityGiven = false;
    uint32_t capacity = 0;
    int status = kExitOk;
    if (!ReadCapacity(parser, capacityGiven, capacity, status)) return status;

    CliOperationHost host(false);
    std::vector<int16_t> cells;
    uint32_t count = 0;
    if (capacityGiven) {
        cells.assign(capacity, kNoData);
        count = capacity;
    }
    uint32_t lowest = 0;
    uint32_t highest = 0;
    const QString path = parser.positionalArguments().at(0);
    if (!LoadImageFile(host, path, capacityGiven ? cells.data() : nullptr, count, lowest, highest,
                       LoadOptions(parser))) {
        return LoadFailed(host, 0, path);
    }
    // The loader's used length stops at 0xFFFFFFFF; data at the very top of
    // the address space reach one further.
    const unsigned long long used = count == 0 ? 0 : highest + 1ull;
    std::printf("使用長: 0x%08llX (%llu)\n", used, used);
    std::printf("最低アドレス: 0x%08X\n", lowest);
    std::printf("最高アドレス: 0x%08X\n", highest);
    return kExitOk;
}

int RunConvert(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "ファイルを読み込み、データのない番地を 0xFF で埋めて、指定の形式で保存します。\n"
        "容量の既定値は使用長を 16 の倍数に切り上げた値です。");
    parser.addPositionalArgument("IN", "読み込むファイル");
    parser.addPositionalArgument("OUT", "保存するファイル");
    const QCommandLineOption format("format", "保存形式: ihex, srec または bin。", "FORMAT");
    const QCommandLineOption all("all", "0xFF だけの 16 バイトも省略せずに保存します。");
    parser.addOption(format);
    parser.addOption(all);
    parser.addOption(kCapacity);
    parser.addOption(kEepromPart);
    if (const int status = ParseCommand(parser, args, 2, 2); status >= 0) return status;

    ImageFormat saveFormat = ImageFormat::Auto;
    if (!SaveFormatFromName(parser.value(format).toStdString(), saveFormat)) return UsageError("--format には ihex, srec または bin を指定してください。");

    bool capacityGiven = false;
    uint32_t capacity = 0;
    int status = kExitOk;
    if (!ReadCapacity(parser, capacityGiven, capacity, status)) return status;

    CliOperationHost host(false);
    const QString in = parser.positionalArguments().at(0);
    uint32_t lowest = 0;
    uint32_t highest = 0;
    if (!capacityGiven) {
        // First pass: learn the used length.
        uint32_t used = 0;
        if (!LoadImageFile(host, in, nullptr, used, lowest, highest, LoadOptions(parser))) {
            return LoadFailed(host, 0, in);
        }
        const uint64_t rounded = (uint64_t{used} + 15) / 16 * 16;
        if (rounded > kMaxImageBytes) {
            host.ShowMessage(MsgKind::Warning, BeyondCapacityText(in), Answer::Ok);
            return kExitFailed;
        }
        capacity = static_cast<uint32_t>(rounded);
    }

    ImageBuffer image;
    image.Allocate(capacity);
    const int messagesBefore = host.FailureCount();
    if (!LoadImageFile(host, in, image, lowest, highest, LoadOptions(parser))) {
        return LoadFailed(host, messagesBefore, in);
    }
    std::vector<uint8_t> bytes(capacity, 0xFF);
    for (uint32_t a = 0; a < capacity; ++a) {
        if (image.cells[a] != kNoData) bytes[a] = static_cast<uint8_t>(image.cells[a]);
    }
    if (!SaveImageFile(host, parser.positionalArguments().at(1), saveFormat, parser.isSet(all),
                       bytes.data(), capacity)) {
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

int RunImage(const QStringList& args) {
    const QString sub = args.size() >= 2 ? args.at(1) : QString();
    if (sub == "info") return RunInfo(args.mid(1));
    if (sub == "convert") return RunConvert(args.mid(1));
    if (sub == "--help" || sub == "-h") {
        std::printf("使い方: oriole-cli image info FILE [--capacity N] [--eeprom]\n"
                    "        oriole-cli image convert IN OUT --format ihex|srec|bin [--all] "
                    "[--capacity N] [--eeprom]\n");
        return kExitOk;
    }
    return UsageError("image のサブコマンドは info か convert です。");
}

}  // namespace oriole::cli
