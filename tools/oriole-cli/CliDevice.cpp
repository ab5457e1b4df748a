// oriole-cli [--writer SPEC] [--device NAME [--force]] [--no-auto-detect] [--clock HZ]
//            [--usb-timing N] [--data-speed N] [--yes] [--confirm-risky-fuses] COMMAND...
// Each command is one step of a batch: the first sends the writer's timing,
// the others rely on the box keeping it; the batch stops at the first step
// that fails.

#include "CliDevice.h"

#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "CliCommon.h"
#include "CliFuses.h"
#include "CliOperationHost.h"
#include "base/Numbers.h"
#include "devices/PartNames.h"
#include "image/ImageWriter.h"
#include "link/WriterFinder.h"
#include "ops/Job.h"
#include "ops/OrioleCore.h"
#include "res/Texts.h"

namespace oriole::cli {
namespace {

enum class Op {
    Detect, Erase,
    WriteFlash, VerifyFlash, ReadFlash,
    WriteEeprom, VerifyEeprom, ReadEeprom,
    ReadFuses, WriteFuses, VerifyFuses,
    ReadLock, WriteLock, VerifyLock,
    ReadCalibration, WriteCalibration, VerifyCalibration,
};

// Which options a command takes after its arguments.
enum OptionBits : unsigned { kNone = 0, kVerify = 1, kFormat = 2, kAll = 4 };

struct CommandDef {
    const char* name;
    Op op;
    int arguments;
    unsigned options;
    const char* usage;
};

constexpr CommandDef kDeviceCommands[] = {
    {"detect", Op::Detect, 0, kNone, "detect"},
    {"erase", Op::Erase, 0, kNone, "erase"},
    {"write-flash", Op::WriteFlash, 1, kVerify, "write-flash FILE [--verify]"},
    {"verify-flash", Op::VerifyFlash, 1, kNone, "verify-flash FILE"},
    {"read-flash", Op::ReadFlash, 1, kFormat | kAll, "read-flash OUT [--format ihex|srec|bin] [--all]"},
    {"write-eeprom", Op::WriteEeprom, 1, kVerify, "write-eeprom FILE [--verify]"},
    {"verify-eeprom", Op::VerifyEeprom, 1, kNone, "verify-eeprom FILE"},
    {"read-eeprom", Op::ReadEeprom, 1, kFormat | kAll, "read-eeprom OUT [--format ihex|srec|bin] [--all]"},
    {"read-fuses", Op::ReadFuses, 0, kNone, "read-fuses"},
    {"write-fuses", Op::WriteFuses, 1, kVerify, "write-fuses E:H:L [--verify]"},
    {"verify-fuses", Op::VerifyFuses, 1, kNone, "verify-fuses E:H:L"},
    {"read-lock", Op::ReadLock, 0, kNone, "read-lock"},
    {"write-lock", Op::WriteLock, 1, kVerify, "write-lock XX [--verify]"},
    {"verify-lock", Op::VerifyLock, 1, kNone, "verify-lock XX"},
    {"read-calibration", Op::ReadCalibration, 1, kNone, "read-calibration INDEX"},
    {"write-calibration", Op::WriteCalibration, 3, kVerify,
     "write-calibration VALUE flash|eeprom ADDRESS [--verify]"},
    {"verify-calibration", Op::VerifyCalibration, 3, kNone, "verify-calibration VALUE flash|eeprom ADDRESS"},
};

const CommandDef* FindCommand(const QString& word) {
    for (const CommandDef& c : kDeviceCommands)
        if (word == QLatin1String(c.name)) return &c;
    return nullptr;
}

struct Step {
    const CommandDef* def = nullptr;
    QStringList args;
    bool verify = false;
    ImageFormat format = ImageFormat::IntelHex;
    bool all = false;
    // Parsed arguments.
    uint8_t bytes[3] = {0xFF, 0xFF, 0xFF};
    uint32_t number = 0;
    bool eeprom = false;
};

struct Settings {
    LinkSetup link;
    int deviceRow = 0;
    bool force = false;  // a chip of another device than --device is used as detected
    bool autoDetect = true;
    bool yes = false;
    bool riskyFuses = false;  // --yes alone never programs RSTDISBL or DWEN or changes the clock
    uint32_t waitSeconds = 0;  // for a box to appear before the first command
};

constexpr const char* kRiskyFusesHint = "書き込むには --confirm-risky-fuses を付けてください。";
constexpr const char* kForceHint = "(見つかったデバイスのまま実行するには --force を付けてください)";

void PrintDeviceUsage(FILE* out) {
    std::fprintf(out,
                 "使い方: oriole-cli [--writer SPEC] [--device NAME [--force]] [--no-auto-detect] [--clock HZ]\n"
                 "                   [--usb-timing N] [--data-speed N] [--wait SECONDS] [--trace FILE] [--yes]\n"
                 "                   [--confirm-risky-fuses] COMMAND...\n\n"
                 "コマンドは書かれた順に実行し、最初に失敗したところで止まります。\n\n");
    for (const CommandDef& c : kDeviceCommands) std::fprintf(out, "  %s\n", c.usage);
    std::fprintf(out,
                 "\n  --writer    auto, d2xx[:LIB], ftdi, serial[:PATH], sim[:DEVICE][,option...];\n"
                 "              ftdi, d2xx, serial は ,sn=SERIAL で USB シリアル番号のライタを選びます\n"
                 "  --wait      ライタが接続されるまで最大 SECONDS 秒待ってから始めます\n"
                 "  --trace FILE ドライバ呼び出しをすべて FILE に記録します (ワイヤトレース)\n"
                 "  --device    ソケットのチップはこのデバイスでなければなりません (シグネチャで確かめ、\n"
                 "              違えば何も書かずに失敗します)\n"
                 "  --force     --device と違うデバイスでも、見つかったデバイスとして実行します\n"
                 "  --no-auto-detect シグネチャを読まず、--device のデバイスとして実行します\n"
                 "              (ソケットのチップが何かは確かめません)\n"
                 "  --clock     デバイスのクロック周波数 (Hz, 既定 1000000)\n"
                 "  --usb-timing 0..5, --data-speed 1..4 (38400 / 28800 / 19200 / 14400 baud)\n"
                 "  --yes       確認の質問に「はい」と答えます\n"
                 "  --confirm-risky-fuses RSTDISBL / DWEN のプログラムとクロック源の変更を許します\n"
                 "              (SPIEN の解除はできません。書き込み前に現在の値を表示します)\n"
                 "終了コード: 0 成功, 1 処理の失敗, 2 使い方の誤り\n");
}

// Exactly one or two hexadecimal figures.
bool ParseHexByteStrict(const QString& text, uint8_t& value) {
    bool ok = false;
    const uint v = text.toUInt(&ok, 16);
    if (!ok || text.isEmpty() || text.size() > 2) return false;
    value = static_cast<uint8_t>(v);
    return true;
}

bool ParseHexNumber(const QString& text, uint32_t& value) {
    bool ok = false;
    const qulonglong v = text.toULongLong(&ok, 16);
    if (!ok || text.size() > 8) return false;
    value = static_cast<uint32_t>(v);
    return true;
}

// The arguments of one step, checked before anything is sent.
bool ParseArguments(Step& s, QString& error) {
    const QStringList& a = s.args;
    switch (s.def->op) {
        case Op::WriteFuses:
        case Op::VerifyFuses: {
            const QStringList parts = a[0].split(':');
            if (parts.size() != 3 || !ParseHexByteStrict(parts[0], s.bytes[0]) ||
                !ParseHexByteStrict(parts[1], s.bytes[1]) || !ParseHexByteStrict(parts[2], s.bytes[2])) {
                error = "ヒューズは E:H:L (16 進 2 桁ずつ) で指定してください: " + a[0];
                return false;
            }
            return true;
        }
        case Op::WriteLock:
        case Op::VerifyLock:
            if (ParseHexByteStrict(a[0], s.bytes[0])) return true;
            error = "ロックビットは 16 進 2 桁で指定してください: " + a[0];
            return false;
        case Op::ReadCalibration:
            if (ParseUnsigned(a[0], s.number) && s.number <= 0xFF) return true;
            error = "校正値の番号は 0 から 255 で指定してください: " + a[0];
            return false;
        case Op::WriteCalibration:
        case Op::VerifyCalibration:
            if (!ParseHexByteStrict(a[0], s.bytes[0])) {
                error = "校正値は 16 進 2 桁で指定してください: " + a[0];
                return false;
            }
            if (a[1] != "flash" && a[1] != "eeprom") {
                error = "書き込み先は flash または eeprom です: " + a[1];
                return false;
            }
            s.eeprom = a[1] == "eeprom";
            if (!ParseHexNumber(a[2], s.number)) {
                error = "アドレスは 16 進で指定してください: " + a[2];
                return false;
            }
            return true;
        default: return true;
    }
}

// Global options before the first command; then the commands with their
// arguments and options. Returns -1 to go on, else the exit status.
int Parse(const QStringList& args, Settings& settings, std::vector<Step>& steps) {
    int i = 0;
    auto value = [&](const QString& word, QString& out) {
        const int eq = static_cast<int>(word.indexOf('='));
        if (eq >= 0) {
            out = word.mid(eq + 1);
            return true;
        }
        if (i + 1 >= args.size()) return false;
        out = args[++i];
        return true;
    };
    for (; i < args.size() && args[i].startsWith("--"); ++i) {
        const QString word = args[i];
        const QString name = word.section('=', 0, 0);
        QString v;
        if (name == "--help") {
            PrintDeviceUsage(stdout);
            return kExitOk;
        }
        if (name == "--yes") {
            settings.yes = true;
        } else if (name == "--confirm-risky-fuses") {
            settings.riskyFuses = true;
        } else if (name == "--force") {
            settings.force = true;
        } else if (name == "--no-auto-detect") {
            settings.autoDetect = false;
        } else if (name == "--writer") {
            if (!value(word, v) || v.isEmpty()) return UsageError("--writer に値がありません。");
            settings.link.writer = v.toStdString();
        } else if (name == "--trace") {
            if (!value(word, v) || v.isEmpty()) return UsageError("--trace にファイル名がありません。");
            settings.link.trace = v.toStdString();
        } else if (name == "--wait") {
            if (!value(word, v) || !ParseUnsigned(v, settings.waitSeconds))
                return UsageError("--wait には秒数を指定してください。");
        } else if (name == "--device") {
            if (!value(word, v)) return UsageError("--device に値がありません。");
            settings.deviceRow = FindDeviceByPartName(v.toStdString());
            if (settings.deviceRow == 0) return UsageError("不明なデバイスです: " + v);
        } else if (name == "--clock") {
            uint32_t hz = 0;
            if (!value(word, v) || !ParseUnsigned(v, hz) || hz == 0)
                return UsageError("--clock には 1 以上の周波数 (Hz) を指定してください。");
            settings.link.clock = hz;
        } else if (name == "--usb-timing" || name == "--data-speed") {
            uint32_t n = 0;
            const bool usb = name == "--usb-timing";
            if (!value(word, v) || !ParseUnsigned(v, n) || (usb ? n > 5 : (n < 1 || n > 4)))
                return UsageError(usb ? "--usb-timing は 0 から 5 です。" : "--data-speed は 1 から 4 です。");
            (usb ? settings.link.usbTiming : settings.link.dataSpeed) = static_cast<int32_t>(n);
        } else {
            return UsageError("不明なオプションです: " + word);
        }
    }
    while (i < args.size()) {
        Step step;
        step.def = FindCommand(args[i]);
        if (step.def == nullptr) return UsageError("不明なコマンドです: " + args[i]);
        ++i;
        for (int n = 0; n < step.def->arguments; ++n, ++i) {
            if (i >= args.size() || args[i].startsWith("--"))
                return UsageError(QString("使い方: ") + step.def->usage);
            step.args << args[i];
        }
        for (; i < args.size() && args[i].startsWith("--"); ++i) {
            const QString word = args[i];
            const QString name = word.section('=', 0, 0);
            const unsigned allowed = step.def->options;
            QString v;
            if (name == "--verify" && (allowed & kVerify)) {
                step.verify = true;
            } else if (name == "--all" && (allowed & kAll)) {
                step.all = true;
            } else if (name == "--format" && (allowed & kFormat)) {
                if (!value(word, v) || !SaveFormatFromName(v.toStdString(), step.format))
                    return UsageError("--format は ihex, srec または bin です。");
            } else {
                return UsageError(QString("%1 には使えないオプションです: %2").arg(step.def->name, word));
            }
        }
        QString error;
        if (!ParseArguments(step, error)) return UsageError(error);
        steps.push_back(std::move(step));
    }
    if (steps.empty()) {
        PrintDeviceUsage(stderr);
        return kExitUsage;
    }
    return -1;
}

bool Save(COrioleCore& core, const Step& s, std::span<const uint8_t> data) {
    return SaveImageFile(core.Host(), s.args[0], s.format, s.all, data.data(), static_cast<uint32_t>(data.size()));
}

bool IsFileInput(Op op) {
    return op == Op::WriteFlash || op == Op::VerifyFlash || op == Op::WriteEeprom || op == Op::VerifyEeprom;
}

// The job step of one command.
JobStep JobStepOf(const Step& s, int image) {
    auto kind = [](Op op) {
        switch (op) {
            case Op::Detect: return StepKind::Detect;
            case Op::Erase: return StepKind::Erase;
            case Op::WriteFlash: return StepKind::WriteFlash;
            case Op::VerifyFlash: return StepKind::VerifyFlash;
            case Op::ReadFlash: return StepKind::ReadFlash;
            case Op::WriteEeprom: return StepKind::WriteEeprom;
            case Op::VerifyEeprom: return StepKind::VerifyEeprom;
            case Op::ReadEeprom: return StepKind::ReadEeprom;
            case Op::ReadFuses: return StepKind::ReadFuses;
            case Op::WriteFuses: return StepKind::WriteFuses;
            case Op::VerifyFuses: return StepKind::VerifyFuses;
            case Op::ReadLock: return StepKind::ReadLock;
            case Op::WriteLock: return StepKind::WriteLock;
            case Op::VerifyLock: return StepKind::VerifyLock;
            case Op::ReadCalibration: return StepKind::ReadCalibration;
            case Op::WriteCalibration: return StepKind::WriteCalibration;
            case Op::VerifyCalibration: return StepKind::VerifyCalibration;
        }
        return StepKind::Detect;
    };
    return {.kind = kind(s.def->op),
            .image = image,
            .verify = s.verify,
            .fuses = {s.bytes[0], s.bytes[1], s.bytes[2]},
            .lock = s.bytes[0],
            .calib = {s.bytes[0], s.number, s.eeprom ? CalibMemory::Eeprom : CalibMemory::Flash},
            .calibIndex = static_cast<uint8_t>(s.number)};
}

}  // namespace

bool IsDeviceCommand(const QString& word) { return FindCommand(word) != nullptr; }

int RunDeviceBatch(const QStringList& args) {
    Settings settings;
    std::vector<Step> steps;
    if (const int status = Parse(args, settings, steps); status >= 0) return status;

    CliOperationHost host(settings.yes);
    COrioleCore core(host);
    if (!SetUpCore(core, host, settings.link)) return Failed(host);
    core.SetAutoDetect(settings.autoDetect);
    core.SelectDevice(settings.deviceRow);

    // A box that is still enumerating (or plugged in late): the first
    // command reports it missing if it does not come in time.
    if (settings.waitSeconds > 0)
        WaitForWriter(settings.link.writer, std::chrono::seconds(settings.waitSeconds), SystemClock());

    // One job of every command: its inputs are read once, for the device on
    // the socket, before the chip is touched; a file an earlier command
    // writes (read-flash b.hex verify-flash b.hex) is read when its turn comes.
    Job job;
    std::vector<bool> late(steps.size());
    job.options = OpOptions{};
    job.fusePolicy = {.risky = settings.riskyFuses ? RiskyFuses::Allow : RiskyFuses::Refuse, .hint = kRiskyFusesHint};
    // --device pins the device, as avrdude's -p does; --force (avrdude's -F)
    // goes on with the device the detection found.
    if (settings.autoDetect && !settings.force) job.deviceRow = settings.deviceRow;
    job.deviceHint = kForceHint;
    for (const Step& s : steps) {
        int image = -1;
        if (IsFileInput(s.def->op)) {
            image = static_cast<int>(job.images.size());
            const std::string path = s.args[0].toStdString();
            job.images.push_back({.name = path, .path = path});
            const QString file = QFileInfo(s.args[0]).absoluteFilePath();
            for (const Step& earlier : steps) {
                if (&earlier == &s) break;
                const bool read = earlier.def->op == Op::ReadFlash || earlier.def->op == Op::ReadEeprom;
                if (read && QFileInfo(earlier.args[0]).absoluteFilePath() == file) late[job.steps.size()] = true;
            }
        }
        job.steps.push_back(JobStepOf(s, image));
    }
    size_t turn = 0;  // the step whose turn it is
    auto commandOf = [&](const JobStep& step) -> const Step& { return steps[static_cast<size_t>(&step - job.steps.data())]; };
    JobEvents events;
    events.wanted = [&](const JobStep& step) {
        const auto i = static_cast<size_t>(&step - job.steps.data());
        return !late[i] || i <= turn;
    };
    events.onEnd = [&](const JobStep& step, bool ok) {
        turn = static_cast<size_t>(&step - job.steps.data()) + 1;
        if (ok && step.kind == StepKind::Detect && core.Device().id > 0) std::printf("%s\n", core.Device().name);
    };
    events.onCurrentFuses = [&](const FuseBytes& f) { PrintCurrentFuses(core.Device(), f, stdout); };
    events.onRead = [&](const JobStep& step, std::span<const uint8_t> bytes) {
        switch (step.kind) {
            case StepKind::ReadFlash:
            case StepKind::ReadEeprom: return Save(core, commandOf(step), bytes);
            case StepKind::ReadFuses: std::printf("Ext: %02X  High: %02X  Low: %02X\n", bytes[0], bytes[1], bytes[2]); break;
            case StepKind::ReadLock: std::printf("Lock: %02X\n", bytes[0]); break;
            default: std::printf("%02X\n", bytes[0]); break;
        }
        return true;
    };
    if (!RunJob(core, job, events).ok) return Failed(host);
    return Finished(host);
}


}  // namespace oriole::cli
