// oriole-cli run SETTINGFILE [options]: a production run. The setting file
// gives the device, the files, the values and the steps; the options
// override them. One line per chip (a failure marked so that it cannot be
// taken for a pass: its own word, and on a terminal red and a bell), the
// counts and how the run ended at the end; exit 0 only when the run did all
// it was asked and every chip passed, otherwise one line says why. Ctrl-C
// ends the run after the chips being programmed; a second Ctrl-C ends the
// tool at once.

#include <signal.h>
#include <unistd.h>

#include <QCommandLineParser>
#include <atomic>
#include <cstdio>
#include <limits>
#include <mutex>

#include "CliCommon.h"
#include "base/FormatText.h"
#include "production/ProductionRun.h"
#include "res/Texts.h"

namespace oriole::cli {

namespace {

std::atomic<CProductionRun*> g_run{nullptr};
static_assert(std::atomic<CProductionRun*>::is_always_lock_free);
// The signals that end a run after the chips in progress, and the tool's
// own handlers of them, for the second one.
constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction g_toolHandlers[std::size(kStopSignals)] {};

void OnStopSignal(int sig) {
    CProductionRun* run = g_run.load();
    if (run != nullptr && !run->Stopping()) {
        run->Stop();
        return;
    }
    // The second one ends the tool as anywhere else (ports given back, a
    // word said); the journal stays for the next start.
    for (size_t i = 0; i < std::size(kStopSignals); ++i)
        if (kStopSignals[i] == sig) sigaction(sig, &g_toolHandlers[i], nullptr);
    raise(sig);
}

// Decimal (leading zeros change nothing) or 0x..., as the setting file.
bool ParseU64(const QString& text, uint64_t& value) { return ParseSerialValue(text, value); }

// A count of chips: decimal figures only, 1 to what an int holds.
bool ParseCount(const QString& text, int& count) {
    if (text.isEmpty() || text.size() > 10) return false;
    for (const QChar c : text)
        if (c < '0' || c > '9') return false;
    const qlonglong value = text.toLongLong();
    if (value < 1 || value > std::numeric_limits<int>::max()) return false;
    count = static_cast<int>(value);
    return true;
}

// The result word of a chip's line: never one that could be read as the other.
struct ResultWords {
    const char* ok;
    const char* fail;
};
constexpr ResultWords kPlainWords{"OK", "FAIL"};
// Green OK, red FAIL and a bell, for a terminal.
constexpr ResultWords kTerminalWords{"\033[32mOK\033[0m", "\033[1;31mFAIL\033[0m\a"};

}  // namespace

int RunProductionCommand(const QStringList& args) {
    // A reader that goes away makes a write fail (EPIPE), said and counted;
    // it never ends the tool in the middle of a chip.
    signal(SIGPIPE, SIG_IGN);
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "設定ファイルの内容をチップに次々に書き込みます (量産)。1 チップにつき 1 行を表示し、"
        "CSV のログに残します。");
    parser.addPositionalArgument("SETTINGFILE", "設定ファイル (*.set)");
    const QCommandLineOption steps("steps", "この手順だけを実行します (既定は設定ファイルの AutoCheck と消去)。"
                                            "erase を含めなければ消去しません: erase,flash,flash-verify,eeprom,"
                                            "eeprom-verify,fuse,fuse-verify,lock,lock-verify,cal,cal-verify", "LIST");
    const QCommandLineOption serial("serial", "シリアル番号: flash|eeprom:番地(16進):バイト数[:le|be][:bin|bcd|dec|hex]",
                                    "RULE");
    const QCommandLineOption counter("serial-counter", "シリアル番号のカウンタファイル (既定は設定ファイルの横)", "FILE");
    const QCommandLineOption list("serial-list", "カウンタの代わりに 1 行 1 チップの 16 進バイト列のリスト", "FILE");
    const QCommandLineOption first("serial-first", "最初の番号", "N");
    const QCommandLineOption step("serial-step", "増分", "N");
    const QCommandLineOption last("serial-last", "最後の番号", "N");
    const QCommandLineOption repeat("repeat", "チップを取り外して次のチップを挿すのを待ち、繰り返します (Ctrl-C で終了)");
    const QCommandLineOption count("count", "N 個のチップを書いたら終わります (--repeat を含みます)", "N");
    const QCommandLineOption log("log", "CSV ログ (既定は設定ファイルの横の .log.csv、追記します)", "FILE");
    const QCommandLineOption writer("writer", "ライタ。複数指定するとそれぞれで並行して書き込みます。all は "
                                              "oriole-cli writers の全部", "SPEC");
    const QCommandLineOption trace("trace", "ドライバ呼び出しをすべて FILE に記録します (ワイヤトレース)", "FILE");
    const QCommandLineOption lot("lot", "ロット (ログとイベントに記録します)", "TEXT");
    const QCommandLineOption operatorName("operator", "作業者 (ログとイベントに記録します)", "TEXT");
    const QCommandLineOption workOrder("work-order", "作業指示 (ログとイベントに記録します)", "TEXT");
    const QCommandLineOption events("events", "イベントを 1 行 1 個の JSON で FILE に書きます (通常のファイルには追記、"
                                              "FIFO は読むプログラムを待ちます)", "FILE");
    const QCommandLineOption dataDir("data-dir", "設定ファイルが指定するログやカウンタを、設定ファイルのフォルダのほかに"
                                                 "このフォルダにも置けるようにします", "DIR");
    for (const auto* o : {&steps, &serial, &counter, &list, &first, &step, &last, &repeat, &count, &log, &writer, &trace,
                          &lot, &operatorName, &workOrder, &events, &dataDir})
        parser.addOption(*o);
    if (const int status = ParseCommand(parser, args, 1, 1); status >= 0) return status;

    ProductionJob job;
    std::string error;
    if (!LoadProductionJob(parser.positionalArguments().at(0), job, error)) {
        std::fprintf(stderr, "oriole-cli: %s\n", error.c_str());
        return kExitFailed;
    }
    if (parser.isSet(steps) && !ParseStepNames(parser.value(steps), job.steps, error))
        return UsageError(QString::fromStdString(error));
    if (parser.isSet(serial)) {
        SerialRule rule = job.serial.value_or(SerialRule{});
        if (!ParseSerialSpec(parser.value(serial), rule, error)) return UsageError(QString::fromStdString(error));
        job.serial = rule;
    }
    const bool wantsSerial = parser.isSet(counter) || parser.isSet(list) || parser.isSet(first) ||
                             parser.isSet(step) || parser.isSet(last);
    if (wantsSerial && !job.serial) return UsageError("シリアル番号のオプションには --serial が必要です。");
    if (job.serial) {
        if (parser.isSet(counter)) job.serial->counterFile = parser.value(counter);
        if (parser.isSet(list)) job.serial->listFile = parser.value(list);
        job.counterFromUser = parser.isSet(counter);
        job.listFromUser = parser.isSet(list);
        for (auto [option, field] : {std::pair{&first, &job.serial->first}, std::pair{&step, &job.serial->step},
                                     std::pair{&last, &job.serial->last}}) {
            if (parser.isSet(*option) && !ParseU64(parser.value(*option), *field))
                return UsageError("--" + option->names().at(0) + " には数を指定してください。");
        }
    }
    if (parser.isSet(log)) job.logFile = parser.value(log);
    job.logFromUser = parser.isSet(log);
    job.dataDir = parser.value(dataDir);
    // No output option may name a file the job reads or keeps: an image,
    // the setting file, the counter, the list, the log.
    for (const QCommandLineOption* output : {&trace, &events, &log}) {
        if (!parser.isSet(*output)) continue;
        const QString path = parser.value(*output);
        const QString input = InputOfJob(job, path, output != &log);
        if (!input.isEmpty()) {
            std::fprintf(stderr, "oriole-cli: %s\n",
                         FormatText(text::kProductionOutputIsInput, ("--" + output->names().at(0)).toUtf8().constData(),
                                    input.toUtf8().constData()).c_str());
            return kExitFailed;
        }
    }
    if (parser.isSet(trace) && parser.isSet(events) && SameFile(parser.value(trace), parser.value(events))) {
        std::fprintf(stderr, "oriole-cli: %s\n",
                     FormatText(text::kProductionOutputIsInput, "--events", qPrintable(parser.value(events))).c_str());
        return kExitFailed;
    }

    ProductionOptions options;
    options.repeat = parser.isSet(repeat);
    if (parser.isSet(count) && !ParseCount(parser.value(count), options.count))
        return UsageError(QStringLiteral("--count には 1 から %1 までの数を指定してください。")
                              .arg(std::numeric_limits<int>::max()));
    options.lot = parser.value(lot);
    options.operatorName = parser.value(operatorName);
    options.workOrder = parser.value(workOrder);
    for (const QString& spec : parser.values(writer)) {
        if (spec == "all") {
            for (std::string& found : AllWriterSpecs()) options.writers.push_back(std::move(found));
            if (options.writers.empty()) {
                std::fprintf(stderr, "oriole-cli: %s\n", text::kProductionNoWriters);
                return kExitFailed;
            }
        } else {
            options.writers.push_back(spec.toStdString());
        }
    }

    if (parser.isSet(trace)) {
        std::shared_ptr<CWireTrace> file = CWireTrace::Open(parser.value(trace).toStdString(), error);
        if (!file) {
            std::fprintf(stderr, "oriole-cli: トレースファイルを開けません: %s (%s)\n",
                         qPrintable(parser.value(trace)), error.c_str());
            return kExitFailed;
        }
        file->Remark("oriole-cli run wire trace");
        options.trace = std::move(file);
    }
    if (parser.isSet(events)) {
        std::string note;
        // A wait for another program's lock on it is said at once, not after the open.
        options.eventStream = CEventStream::Open(
            parser.value(events), error, CEventStream::kDefaultPatience, &note,
            [](const std::string& text) { std::fprintf(stderr, "oriole-cli: %s\n", text.c_str()); });
        if (!options.eventStream) {
            std::fprintf(stderr, "oriole-cli: %s\n", error.c_str());
            return kExitFailed;
        }
        if (!note.empty()) std::fprintf(stderr, "oriole-cli: %s\n", note.c_str());
    }

    std::mutex printing;
    const bool manyBoxes = options.writers.size() > 1;
    const ResultWords& words = isatty(STDOUT_FILENO) == 1 ? kTerminalWords : kPlainWords;
    ProductionEvents handlers;
    std::string lastError;  // before the boxes start: why the run could not
    handlers.onMessage = [&](const std::string& box, MsgKind kind, const std::string& text) {
        const std::lock_guard lock(printing);
        if (kind != MsgKind::Information && box.empty()) lastError = text.substr(0, text.find('\n'));
        FILE* out = kind == MsgKind::Information ? stdout : stderr;
        if (box.empty())
            std::fprintf(out, "%s\n", text.c_str());
        else
            std::fprintf(out, "[%s] %s\n", box.c_str(), text.c_str());
        std::fflush(out);
    };
    int chips = 0;
    std::atomic<bool> outputLost{false};
    handlers.onChip = [&](const ChipRecord& r) {
        const std::lock_guard lock(printing);
        ++chips;
        std::printf("%d\t%s%s%s\t%s\t%.2f 秒%s%s\n", chips, manyBoxes ? qPrintable(r.box) : "",
                    manyBoxes ? "\t" : "", r.serial.isEmpty() ? "-" : qPrintable(r.serial),
                    r.passed ? words.ok : words.fail, static_cast<double>(r.durationMs) / 1000.0,
                    r.failedStep.isEmpty() ? "" : "\t", qPrintable(r.failedStep));
        // Nobody reads the lines any more: the run ends after its chips.
        if ((std::fflush(stdout) != 0 || std::ferror(stdout) != 0) && !outputLost.exchange(true))
            if (CProductionRun* running = g_run.load()) running->Stop();
    };
    handlers.onState = [&](const std::string& box, BoxState state) {
        if (state != BoxState::Insert && state != BoxState::Remove) return;
        const std::lock_guard lock(printing);
        std::fprintf(stderr, "[%s] %s\n", box.c_str(),
                     state == BoxState::Insert ? text::kProductionInsertChip : text::kProductionRemoveChip);
    };

    CProductionRun run(std::move(job), std::move(options), std::move(handlers));
    if (!run.Prepare()) {
        std::fprintf(stderr, "oriole-cli: %s\n", FormatText(text::kProductionNotStarted, lastError.c_str()).c_str());
        return kExitFailed;
    }
    for (const ProductionImage& image : run.Images()) {
        if (!image.path.isEmpty())
            std::printf("%s\t%s\tSHA-256 %s\n", qPrintable(image.name), qPrintable(image.path), image.sha256.constData());
    }
    std::fflush(stdout);

    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    g_run.store(&run);
    for (size_t i = 0; i < std::size(kStopSignals); ++i) sigaction(kStopSignals[i], &action, &g_toolHandlers[i]);
    run.Run();
    for (size_t i = 0; i < std::size(kStopSignals); ++i) sigaction(kStopSignals[i], &g_toolHandlers[i], nullptr);
    g_run.store(nullptr);

    std::printf("%s\n", FormatText(text::kProductionSummary, run.Passed(), run.Failed(), run.BoxesLost(),
                                   text::kProductionEnds[static_cast<size_t>(run.End())]).c_str());
    bool written = true;
    if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0 || outputLost.load()) {
        std::fprintf(stderr, "oriole-cli: 標準出力に書き込めません。\n");
        written = false;
    }
    // A trace that stopped short (a full disk, a reader gone) is a failure said once.
    if (const auto& file = run.Options().trace; file && !file->Failure().empty()) {
        std::fprintf(stderr, "oriole-cli: %s (%s)\n", file->Failure().c_str(), qPrintable(parser.value(trace)));
        written = false;
    }
    if (!written) return kExitFailed;
    if (run.Succeeded()) return kExitOk;
    std::fprintf(stderr, "oriole-cli: %s\n", run.Shortfall().c_str());
    return kExitFailed;
}

}  // namespace oriole::cli
