// The front ends' contract: one table of jobs, each run on the simulated
// box through the batch dialog, a production run, the device commands of
// oriole-cli and (where the job can be said in them) the avrdude form, the
// terminal's lines and the main window's write buttons. For the
// same job every front end sends the same commands, call by call (the wire
// traces without their timestamps and remarks), and comes to the same
// verdict: it passes, or it is refused before anything is sent, or it fails
// at the same step for the same cause. The steps' order and the timing each
// step begins with are the job's (ops/Job.h), so they are checked here once,
// on the wire of all front ends, instead of in each front end's own tests.

#include <QFile>
#include <QFileInfo>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <map>
#include <optional>
#include <tuple>

#include "app/AppRig.h"
#include "avrdude/AvrdudeRun.h"
#include "avrdude/TerminalSession.h"
#include "base/FormatText.h"
#include "devices/PartNames.h"
#include "link/WireTrace.h"
#include "ops/Job.h"
#include "production/ProductionRun.h"
#include "res/Texts.h"
#include "support/CliRun.h"
#include "support/JobFolder.h"
#include "views/AutoDlg.h"

namespace oriole::test {
namespace {

enum class Front { Dialog, Production, Device, Avrdude, Terminal, Window };
constexpr const char* kFrontNames[] = {"batch dialog", "production run", "device commands", "avrdude form",
                                       "terminal", "main window"};

// Where a run ended. `step` and `cause` are left empty by a front end that
// does not say them (the command line only prints the message); the trace
// says which step it was.
struct Verdict {
    bool ok = false;
    std::string step;   // the failing step's short name (StepInfo::name)
    std::string cause;  // CauseName
    std::string says;   // every message shown, one after another
    bool asked = false; // a question was shown
};

struct Outcome {
    Verdict verdict;
    std::vector<std::string> trace;  // normalised
    // The trace is the whole run's. The main window's buttons and the
    // terminal's lines run a job each; where a row takes several, only the
    // last one's (the one that failed) is kept, and it is not compared with
    // the others'.
    bool wholeRun = true;
};

// A job as the batch dialog and a setting file hold it, on a box with this device.
struct JobSpec {
    const char* device = "ATmega328P";
    uint32_t steps = step_bit::kErase;
    const char* flash = nullptr;   // an input file of the fixture, by name
    const char* eeprom = nullptr;
    std::optional<FuseBytes> fuses = std::nullopt;
    std::optional<uint8_t> lock = std::nullopt;
    std::optional<CalibTarget> calib = std::nullopt;
    const char* box = nullptr;  // the chip on the box, where it is not `device`
    int32_t fuseBytes = 0;      // the avrdude form writes only these fuse bytes (kFuse*; 0 all)
    bool verifyAfterLock = false;  // the FLASH verify comes after the lock write
    const char* Box() const { return box != nullptr ? box : device; }
};

// What the row expects of every front end that keeps to it.
struct Expect {
    bool ok = false;
    bool sendsNothing = false;  // refused before anything is sent
    bool writesNothing = false; // refused before anything is erased or written
    const char* step = "";      // the failing step
    Cause cause = Cause::None;
    const char* says = "";      // in the message of a refusal or failure
};

bool Has(const std::string& text, const char* part) { return std::string_view(part).empty() || text.find(part) != std::string::npos; }

// Whether a trace erases or writes anything: D, F, G, I, J, L or N sent.
bool Writes(const std::vector<std::string>& trace) {
    return std::any_of(trace.begin(), trace.end(), [](const std::string& line) {
        for (const char* command : {"> 44", "> 46", "> 47", "> 49", "> 4A", "> 4C", "> 4E"})
            if (line.starts_with(command)) return true;
        return false;
    });
}

std::string ReadAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll().toStdString() : std::string();
}

// The step whose batch log text (or the production log's name of it) this is.
std::string StepOfLog(const QString& text) {
    for (const StepInfo& info : StepTable()) {
        const QString log = QString::fromUtf8(info.log).remove(QStringLiteral("...")).trimmed();
        if (!log.isEmpty() && text.trimmed().startsWith(log)) return info.name;
    }
    return "?" + text.toStdString();
}

class ContractTest : public ::testing::Test, protected test::JobFolder {
protected:
    void SetUp() override {
        EnsureApp();
        Write("data.hex", ":0300100011223387\r\n:00000001FF\r\n");
        Write("end.hex", ":00000001FF\r\n");
    }
    QString NextTrace() { return Path(("trace" + std::to_string(++m_traces)).c_str()); }
    // What `run` sent through `core`, normalised.
    std::vector<std::string> Traced(COrioleCore& core, const std::function<void()>& run) {
        const QString path = NextTrace();
        std::string error;
        std::shared_ptr<CWireTrace> trace = CWireTrace::Open(path.toStdString(), error);
        EXPECT_TRUE(trace) << error;
        core.SetTrace(trace);
        run();
        core.SetTrace(nullptr);
        trace.reset();
        return NormalizeTrace(ReadAll(path));
    }
    // The job's files and values in the main window's controls; the write
    // buttons of the values given enabled.
    void FillWindow(CMainControls& m, const JobSpec& job) const {
        m.SetText(ctl_id::kFlashFile, File(job.flash));
        m.SetText(ctl_id::kEepromFile, File(job.eeprom));
        m.Enable(ctl_id::kFuseWrite, job.fuses.has_value());
        if (job.fuses) {
            m.SetText(ctl_id::kExtEdit, FormatText("%02X", job.fuses->ext));
            m.SetText(ctl_id::kHighEdit, FormatText("%02X", job.fuses->high));
            m.SetText(ctl_id::kLowEdit, FormatText("%02X", job.fuses->low));
        }
        m.Enable(ctl_id::kLockWrite, job.lock.has_value());
        if (job.lock) m.SetText(ctl_id::kLockEdit, FormatText("%02X", *job.lock));
        m.Enable(ctl_id::kCalibWrite, job.calib.has_value());
        if (job.calib) {
            m.SetText(ctl_id::kCalibValue, FormatText("%02X", job.calib->value));
            m.SetText(ctl_id::kCalibAddress, FormatText("%X", job.calib->address));
            m.SetText(ctl_id::kCalibMemory,
                      job.calib->memory == CalibMemory::Flash ? text::kCalibFlashLabel : text::kCalibEepromLabel);
        }
    }
    std::string File(const char* name) const { return name == nullptr ? std::string() : Path(name).toStdString(); }

    Outcome RunDialog(const JobSpec& job, Answer fuseAnswer);
    Outcome RunProduction(const JobSpec& job, bool allowRisky);
    Outcome RunDevice(const JobSpec& job, bool confirmRisky);
    Outcome RunAvrdude(const JobSpec& job);
    // The job's lines in the terminal, in process.
    Outcome RunTerminal(const JobSpec& job);
    ProductionJob SettingFileJob(const JobSpec& job, bool allowRisky);
    // The avrdude form's -U requests for the job.
    QStringList AvrdudeUpdates(const JobSpec& job) const;
    // The job each builder reachable in process makes of the row, described.
    std::map<Front, std::vector<std::string>> BuiltJobs(const JobSpec& job, const std::vector<Front>& fronts);
    // Nothing where the buttons cannot say the job (a verify without its write).
    std::optional<Outcome> RunWindow(const JobSpec& job, Answer fuseAnswer);
    // Runs every row through its front ends and compares them.
    void CheckRows();
    // `args` with --trace after the device commands' first word (the
    // writer), or at the end of avrdude's.
    Outcome RunCli(QStringList args);

    int m_traces = 0;
};

// The dialog opened on the main window with the job's values in its
// controls; the device is known (checked once before the trace starts), as
// it is after the user picked it.
Outcome ContractTest::RunDialog(const JobSpec& job, Answer fuseAnswer) {
    AppRig rig(job.device);
    EXPECT_TRUE(rig.Core().CheckDevice(true));
    FillWindow(rig.Model(), job);
    uint32_t mask = job.steps;
    CAutoDlg dlg(rig.Window(), mask, CAutoDlg::Options{}, rig.dlg.get());
    dlg.show();
    rig.messages.shown.clear();
    rig.messages.answers = {fuseAnswer};
    Outcome out;
    out.trace = Traced(rig.Core(), [&] { dlg.Button(1056)->click(); });  // start
    const QStringList lines = dlg.Log().split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    const bool failedStep = !lines.isEmpty() && lines.last().endsWith(QString::fromUtf8(text::kBatchError).trimmed());
    Verdict& v = out.verdict;
    v.ok = !failedStep && rig.Core().FailuresShown() == 0 && rig.messages.shown.empty();
    if (failedStep) v.step = StepOfLog(lines.last());
    // A quiet verify shows nothing: its log line is the report.
    if (!v.ok && rig.Core().FirstFailure().cause != Cause::None) v.cause = CauseName(rig.Core().FirstFailure().cause);
    for (const ShownMessage& s : rig.messages.shown) {
        v.says += s.text + "\n";
        v.asked = v.asked || s.kind == MsgKind::Question;
    }
    return out;
}

// The job as a setting file holds it.
ProductionJob ContractTest::SettingFileJob(const JobSpec& job, bool allowRisky) {
    QByteArray sections;
    if (job.eeprom != nullptr) sections += "[EEPROM]\r\nFile=" + QByteArray(job.eeprom) + "\r\n";
    if (job.fuses)
        sections += QByteArray("[Fuse]\r\nFuseEnable=1\r\n") +
                    FormatText("FuseExt=%02X\r\nFuseHigh=%02X\r\nFuseLow=%02X\r\n", job.fuses->ext, job.fuses->high,
                               job.fuses->low).c_str();
    if (job.lock) sections += FormatText("[Lock]\r\nLockEnable=1\r\nLockBits=%02X\r\n", *job.lock).c_str();
    WriteSettingFile(QByteArray::number(job.steps, 16).rightJustified(8, '0'),
                     allowRisky ? "AllowRiskyFuses=1\r\n" : "", sections, job.device, job.flash);
    ProductionJob pj;
    std::string error;
    EXPECT_TRUE(LoadProductionJob(Path("job.set"), pj, error)) << error;
    return pj;
}

// One chip on a box of its own, in this process.
Outcome ContractTest::RunProduction(const JobSpec& job, bool allowRisky) {
    const ProductionJob pj = SettingFileJob(job, allowRisky);
    std::string error;
    const QString tracePath = NextTrace();
    ProductionOptions options;
    options.writers = {std::string("sim:") + job.Box() + ",fast"};
    options.trace = CWireTrace::Open(tracePath.toStdString(), error);
    EXPECT_TRUE(options.trace) << error;
    Verdict v;
    std::vector<ChipRecord> chips;
    ProductionEvents events;
    events.onMessage = [&](const std::string&, MsgKind, const std::string& text) { v.says += text + "\n"; };
    events.onChip = [&](const ChipRecord& r) { chips.push_back(r); };
    {
        CProductionRun run(pj, options, events);
        if (run.Prepare()) run.Run();
    }
    options.trace.reset();
    Outcome out;
    out.trace = NormalizeTrace(ReadAll(tracePath));
    if (chips.size() == 1) {
        v.ok = chips[0].passed;
        if (!v.ok) {
            v.cause = CauseName(chips[0].cause);
            v.step = StepOfLog(chips[0].failedStep);
            if (v.step.starts_with('?')) v.step.clear();  // failed before its first step: the message
            v.says += chips[0].failedStep.toStdString() + "\n";
        }
    }
    out.verdict = v;
    return out;
}

Outcome ContractTest::RunCli(QStringList args) {
    const QString tracePath = NextTrace();
    args.insert(args.first() == "-c" ? args.size() : 1, "--trace=" + tracePath);
    const CliRun r = oriole::test::RunCli(args);
    Outcome out;
    out.trace = NormalizeTrace(ReadAll(tracePath));
    out.verdict.ok = r.status == 0;
    EXPECT_TRUE(r.status == 0 || r.status == 1) << r.err.toStdString();
    for (const QString& line : r.err.split('\n', Qt::SkipEmptyParts)) {
        if (line.endsWith(QStringLiteral("[yes]"))) continue;  // the erase's question, answered by --yes
        out.verdict.asked = out.verdict.asked || line.endsWith(QStringLiteral("[no]"));
        out.verdict.says += line.toStdString() + "\n";
    }
    return out;
}

// The job's steps as commands, in its order.
Outcome ContractTest::RunDevice(const JobSpec& spec, bool confirmRisky) {
    BatchSettings s;
    s.steps = spec.steps;
    s.flashFile = File(spec.flash);
    s.eepromFile = File(spec.eeprom);
    s.fuseEnabled = spec.fuses.has_value();
    if (spec.fuses) s.fuses = *spec.fuses;
    s.lockEnabled = spec.lock.has_value();
    if (spec.lock) s.lock = *spec.lock;
    s.calibEnabled = spec.calib.has_value();
    if (spec.calib) s.calib = *spec.calib;
    QStringList args = {QStringLiteral("--writer=sim:%1,fast").arg(spec.Box()), "--device", spec.device, "--yes"};
    if (confirmRisky) args << "--confirm-risky-fuses";
    Job job = BatchJob(s);
    if (spec.verifyAfterLock) {
        const auto verify = std::find_if(job.steps.begin(), job.steps.end(),
                                         [](const JobStep& step) { return step.kind == StepKind::VerifyFlash; });
        if (verify != job.steps.end()) {
            const JobStep moved = *verify;
            job.steps.erase(verify);
            job.steps.push_back(moved);
        }
    }
    const auto hex = [](unsigned v) { return QStringLiteral("%1").arg(v, 2, 16, QChar('0')).toUpper(); };
    for (const JobStep& step : job.steps) {
        const QString file = step.image == 0 ? QString::fromStdString(s.flashFile) : QString::fromStdString(s.eepromFile);
        const QString fuses = hex(step.fuses.ext) + ":" + hex(step.fuses.high) + ":" + hex(step.fuses.low);
        const QStringList calib = {hex(step.calib.value), step.calib.memory == CalibMemory::Flash ? "flash" : "eeprom",
                                   QString::number(step.calib.address, 16)};
        switch (step.kind) {
            case StepKind::Erase: args << "erase"; break;
            case StepKind::WriteFlash: args << "write-flash" << file; break;
            case StepKind::VerifyFlash: args << "verify-flash" << file; break;
            case StepKind::WriteEeprom: args << "write-eeprom" << file; break;
            case StepKind::VerifyEeprom: args << "verify-eeprom" << file; break;
            case StepKind::WriteFuses: args << "write-fuses" << fuses; break;
            case StepKind::VerifyFuses: args << "verify-fuses" << fuses; break;
            case StepKind::WriteLock: args << "write-lock" << hex(step.lock); break;
            case StepKind::VerifyLock: args << "verify-lock" << hex(step.lock); break;
            case StepKind::WriteCalibration: args << "write-calibration" << calib; break;
            case StepKind::VerifyCalibration: args << "verify-calibration" << calib; break;
            default: ADD_FAILURE() << "no command for " << InfoOf(step.kind).name;
        }
    }
    return RunCli(args);
}

// The job in avrdude's words: -e for the erase, each write with the verify
// that follows it as one -U (avrdude verifies every write), a lone verify as
// :v. Fuse bytes are one -U each.
Outcome ContractTest::RunAvrdude(const JobSpec& spec) {
    const int row = FindDeviceByPartName(spec.device);
    QStringList args = {"-c", "oriole", "-p", QString::fromUtf8(AvrdudePartId(row).data(), static_cast<qsizetype>(AvrdudePartId(row).size())),
                        "-P", QStringLiteral("sim:%1,fast").arg(spec.Box())};
    args << "-e" << AvrdudeUpdates(spec);
    return RunCli(args);
}

QStringList ContractTest::AvrdudeUpdates(const JobSpec& spec) const {
    const auto value = [](unsigned v) { return QStringLiteral("0x%1").arg(v, 2, 16, QChar('0')); };
    using namespace step_bit;
    const uint32_t s = spec.steps | kErase;
    QStringList args;
    if (s & kWriteFlash) args << "-U" << "flash:w:" + Path(spec.flash) + ":i";
    else if ((s & kVerifyFlash) && !spec.verifyAfterLock) args << "-U" << "flash:v:" + Path(spec.flash) + ":i";
    if (s & kWriteEeprom) args << "-U" << "eeprom:w:" + Path(spec.eeprom) + ":i";
    else if (s & kVerifyEeprom) args << "-U" << "eeprom:v:" + Path(spec.eeprom) + ":i";
    const auto fuse = [&](int32_t bits) { return spec.fuseBytes == 0 || (spec.fuseBytes & bits) != 0; };
    if (spec.fuses && (s & kWriteFuses)) {
        if (fuse(kFuseExt)) args << "-U" << "efuse:w:" + value(spec.fuses->ext) + ":m";
        if (fuse(kFuseHigh)) args << "-U" << "hfuse:w:" + value(spec.fuses->high) + ":m";
        if (fuse(kFuseLow)) args << "-U" << "lfuse:w:" + value(spec.fuses->low) + ":m";
    }
    if (spec.lock && (s & kWriteLock)) args << "-U" << "lock:w:" + value(*spec.lock) + ":m";
    if (spec.verifyAfterLock) args << "-U" << "flash:v:" + Path(spec.flash) + ":i";
    return args;
}

// The job in the terminal's words: the erase, the FLASH and EEPROM bytes
// written to the cache and flushed, each fuse byte and the lock written at
// once (the terminal has no verify and no calibration byte, so rows with
// those do not name it). Each line is a job of its own, as the main
// window's buttons are: the line that fails ends the run, and only its
// trace is kept.
Outcome ContractTest::RunTerminal(const JobSpec& job) {
    using namespace step_bit;
    const uint32_t s = job.steps | kErase;
    EXPECT_EQ(s & (kVerifyFlash | kVerifyEeprom | kVerifyFuses | kVerifyLock | kWriteCalibration), 0u)
        << "no terminal line says it";
    std::vector<std::string> lines = {"erase"};
    // What the chip holds after a run that passed: memory (true FLASH), address, byte.
    std::vector<std::tuple<bool, uint32_t, uint8_t>> written;
    // The data records of an Intel HEX file as write lines, then the flush.
    const auto bytes = [&](const char* memory, const char* file) {
        for (const QByteArray& record : Read(file).split('\n')) {
            const QByteArray data = QByteArray::fromHex(record.trimmed().mid(1));
            if (data.size() < 5 || data[3] != 0) continue;
            std::string line = FormatText("write %s 0x%02X%02X", memory, uint8_t(data[1]), uint8_t(data[2]));
            const uint32_t at = uint8_t(data[1]) << 8 | uint8_t(data[2]);
            for (qsizetype i = 4; i < 4 + uint8_t(data[0]); ++i) {
                line += FormatText(" 0x%02X", uint8_t(data[i]));
                written.emplace_back(std::string_view(memory) == "flash", at + uint32_t(i - 4), uint8_t(data[i]));
            }
            lines.push_back(line);
        }
        lines.push_back("flush");
    };
    if (s & kWriteFlash) bytes("flash", job.flash);
    if (s & kWriteEeprom) bytes("eeprom", job.eeprom);
    const auto fuse = [&](int32_t bits) { return job.fuseBytes == 0 || (job.fuseBytes & bits) != 0; };
    if (job.fuses && (s & kWriteFuses)) {
        if (fuse(kFuseExt)) lines.push_back(FormatText("write efuse 0 0x%02X", job.fuses->ext));
        if (fuse(kFuseHigh)) lines.push_back(FormatText("write hfuse 0 0x%02X", job.fuses->high));
        if (fuse(kFuseLow)) lines.push_back(FormatText("write lfuse 0 0x%02X", job.fuses->low));
    }
    if (job.lock && (s & kWriteLock)) lines.push_back(FormatText("write lock 0 0x%02X", *job.lock));

    AppRig rig(job.Box());
    EXPECT_TRUE(rig.Core().CheckDevice(true));
    rig.messages.shown.clear();
    Outcome out;
    out.wholeRun = lines.size() == 1;
    Verdict& v = out.verdict;
    avrdude::CTerminalSession session(
        rig.Core(), [](std::string_view) {}, [&](std::string_view text) { v.says += std::string(text) + "\n"; },
        true);
    v.ok = true;
    for (const std::string& line : lines) {
        out.trace = Traced(rig.Core(), [&] { v.ok = session.RunLine(line); });

        if (!v.ok) break;
    }
    for (const ShownMessage& shown : rig.messages.shown) {
        v.says += shown.text + "\n";
        v.asked = v.asked || shown.kind == MsgKind::Question;
    }
    if (!v.ok && rig.Core().FirstFailure().cause != Cause::None) v.cause = CauseName(rig.Core().FirstFailure().cause);
    // The flush is the terminal's own: what it wrote is checked on the chip.
    for (const auto& [flash, at, value] : v.ok ? written : decltype(written){}) {
        sim::CSimTarget& chip = rig.box->Target();  // its cells, whatever the lock lets a read see
        EXPECT_EQ(flash ? chip.Flash().at(at) : chip.Eeprom().at(at), value) << (flash ? "FLASH " : "EEPROM ") << at;
    }
    return out;
}

// The job in the main window's buttons, in the batch's order: the FLASH
// write with its erase box ticked (the erase button where the job writes no
// FLASH), then the EEPROM, fuse, lock and calibration writes, each with its
// verify box ticked where the job verifies what it wrote. The run stops at
// the first button whose job reports a failure, as the user would.
std::optional<Outcome> ContractTest::RunWindow(const JobSpec& job, Answer fuseAnswer) {
    using namespace step_bit;
    const uint32_t s = job.steps | kErase;
    struct Click {
        int button;
        uint32_t write, verify;
        int verifyBox;
        bool given;  // the job has the group's values (the files' steps always run)
    };
    const Click groups[] = {
        {1003, kWriteFlash, kVerifyFlash, ctl_id::kFlashVerify, true},
        {1012, kWriteEeprom, kVerifyEeprom, ctl_id::kEepromVerify, true},
        {ctl_id::kFuseWrite, kWriteFuses, kVerifyFuses, ctl_id::kFuseVerify, job.fuses.has_value()},
        {ctl_id::kLockWrite, kWriteLock, kVerifyLock, ctl_id::kLockVerify, job.lock.has_value()},
        {ctl_id::kCalibWrite, kWriteCalibration, kVerifyCalibration, ctl_id::kCalibVerify, job.calib.has_value()},
    };
    std::vector<Click> clicks;
    if ((s & kWriteFlash) == 0) clicks.push_back({1005, kErase, 0, 0, true});
    for (const Click& c : groups) {
        if (!c.given || (s & (c.write | c.verify)) == 0) continue;
        if ((s & c.write) == 0) return std::nullopt;
        clicks.push_back(c);
    }

    AppRig rig(job.device);
    EXPECT_TRUE(rig.Core().CheckDevice(true));
    CMainControls& m = rig.Model();
    FillWindow(m, job);
    m.SetCheck(ctl_id::kFlashErase, true);
    Outcome out;
    out.wholeRun = clicks.size() == 1;
    Verdict& v = out.verdict;
    v.ok = true;
    for (const Click& c : clicks) {
        if (c.verifyBox != 0) m.SetCheck(c.verifyBox, (s & c.verify) != 0);
        rig.messages.shown.clear();
        // The erase button's question is the user's yes to the erase itself.
        rig.messages.answers = {c.button == 1005 ? Answer::Yes : fuseAnswer};
        out.trace = Traced(rig.Core(), [&] { rig.Button(c.button)->click(); });
        for (const ShownMessage& shown : rig.messages.shown) {
            v.says += shown.text + "\n";
            v.asked = v.asked || (shown.kind == MsgKind::Question && c.button != 1005);
        }
        if (rig.Core().FailuresShown() != 0) {
            v.ok = false;
            v.cause = CauseName(rig.Core().FirstFailure().cause);
            break;
        }
    }
    return out;
}

struct Row {
    const char* what;
    JobSpec job;
    Expect expect;
    std::vector<Front> fronts = {Front::Dialog, Front::Production, Front::Device, Front::Avrdude};
    // The windows ask where the command line and production refuse: the
    // dialog's run is answered No, and nothing of the fuses is written.
    bool dialogAsks = false;
    // The main window's buttons say the row too, where they can. Not where a
    // button cannot mean what the row means: a lock verify apart from its
    // write, a device the job pins, a single fuse byte, a verify after the
    // lock write (each button is a job of its own, its verify inside it).
    bool window = true;
};

const FuseBytes kSafeFuses{0xFF, 0xD9, 0x62};
const CalibTarget kCalib{0xA5, 0x20, CalibMemory::Eeprom};
constexpr uint32_t kAllButCalib = step_bit::kEvery & ~(step_bit::kWriteCalibration | step_bit::kVerifyCalibration);

std::vector<Row> Rows() {
    using namespace step_bit;
    return {
        {"every memory written and verified",
         {.steps = kAllButCalib, .flash = "prog.hex", .eeprom = "data.hex", .fuses = kSafeFuses, .lock = 0xFC},
         {.ok = true},
         {Front::Dialog, Front::Production, Front::Device}},
        {"FLASH, EEPROM and lock written and verified",
         {.steps = kAllButCalib & ~(kWriteFuses | kVerifyFuses), .flash = "prog.hex", .eeprom = "data.hex", .lock = 0xFC},
         {.ok = true}},
        // The batch writes the calibration byte after the lock bits: a lock
        // that closes the chip (LB1 programmed) would refuse it.
        {"the calibration byte too",
         {.steps = kEvery, .flash = "prog.hex", .eeprom = "data.hex", .fuses = kSafeFuses, .lock = 0xCF, .calib = kCalib},
         {.ok = true},
         {Front::Dialog, Front::Device}},
        // The avrdude form reads the signature before its files, as avrdude
        // does; it is left out of this row on purpose.
        {"an image of its end record alone",
         {.steps = kErase | kWriteFlash | kVerifyFlash, .flash = "end.hex"},
         {.sendsNothing = true, .cause = Cause::EmptyInput, .says = "FLASH のデータがありません"},
         {Front::Dialog, Front::Production, Front::Device}},
        {"a fuse value that programs RSTDISBL",
         {.steps = kErase | kWriteFlash | kWriteFuses, .flash = "prog.hex", .fuses = FuseBytes{0xFF, 0x59, 0x62}},
         {.sendsNothing = true, .cause = Cause::Policy, .says = text::kFuseRiskRstdisbl},
         {Front::Dialog, Front::Production, Front::Device},
         true},
        {"a fuse value that releases SPIEN",
         {.steps = kErase | kWriteFlash | kWriteFuses, .flash = "prog.hex", .fuses = FuseBytes{0xFF, 0xFF, 0x62}},
         {.sendsNothing = true, .cause = Cause::Policy, .says = text::kFuseSpienRelease},
         {Front::Dialog, Front::Production, Front::Device}},
        // The avrdude form warns about a memory the part lacks and skips it,
        // as avrdude does; it is left out of this row on purpose.
        {"fuses on a device without them",
         {.device = "AT90S2313", .steps = kErase | kWriteFuses | kVerifyFuses, .fuses = FuseBytes{0xFF, 0xFF, 0xFF}},
         {.sendsNothing = true, .cause = Cause::NoSuchMemory, .says = "AT90S2313 にはヒューズがありません"},
         {Front::Dialog, Front::Production, Front::Device}},
        // A production run refuses these steps before the first chip: after
        // its erase the verify can only fail (tests/production).
        {"a chip that holds something else",
         {.steps = kErase | kVerifyFlash, .flash = "prog.hex"},
         {.step = "flash-verify", .cause = Cause::VerifyMismatch},
         {Front::Dialog, Front::Device, Front::Avrdude}},
        // The chip reads the bits a part does not have as 1 (efuse 05 as FD,
        // lock 3C as FC): no verify compares them.
        {"unused fuse and lock bits",
         {.steps = kErase | kWriteFlash | kVerifyFlash | kWriteFuses | kVerifyFuses | kWriteLock | kVerifyLock,
          .flash = "prog.hex", .fuses = FuseBytes{0x05, 0xD9, 0x62}, .lock = 0x3C},
         {.ok = true},
         {Front::Dialog, Front::Production, Front::Device}},
        // A terminal line is a job of its own: its trace is compared where
        // the row is one line, as the erase button's. (A production run
        // refuses a setting file that only erases; the device commands and
        // the avrdude form read the chip in a frame of their own first.)
        {"an erase alone", {.steps = kErase}, {.ok = true}, {Front::Dialog, Front::Terminal}},
        {"unused fuse and lock bits, byte by byte",
         {.steps = kErase | kWriteFuses | kWriteLock, .fuses = FuseBytes{0x05, 0xD9, 0x62}, .lock = 0x3C},
         {.ok = true},
         {Front::Avrdude, Front::Terminal}},
        {"FLASH and EEPROM written, and the lock",
         {.steps = kErase | kWriteFlash | kWriteEeprom | kWriteLock, .flash = "prog.hex", .eeprom = "data.hex",
          .lock = 0x3C},
         {.ok = true},
         {Front::Dialog, Front::Production, Front::Device, Front::Terminal}},
        {"the single fuse byte's unused bits",
         {.device = "AT90S4433", .steps = kErase | kWriteFuses | kVerifyFuses, .fuses = FuseBytes{0xFF, 0xFF, 0x12}},
         {.ok = true},
         {Front::Dialog, Front::Production, Front::Device}},
        // The avrdude form's lock write verifies itself, which warns there.
        {"a lock verify on a part that cannot read its lock",
         {.device = "AT90S8515", .steps = kErase | kWriteLock | kVerifyLock, .lock = 0xFC},
         {.sendsNothing = true, .cause = Cause::NoSuchMemory, .says = text::kLockNotReadable},
         {Front::Dialog, Front::Production, Front::Device}, false, false},
        {"a chip of another device than the job's",
         {.device = "ATmega168", .steps = kErase | kWriteFlash | kVerifyFlash, .flash = "prog.hex", .box = "ATmega328P"},
         {.writesNothing = true, .cause = Cause::OtherDevice},
         {Front::Production, Front::Device, Front::Avrdude}, false, false},
        {"a calibration byte at the end of its memory",
         {.steps = kErase | kWriteCalibration | kVerifyCalibration, .calib = CalibTarget{0xA5, 0x3FF, CalibMemory::Eeprom}},
         {.ok = true},
         {Front::Dialog, Front::Device}},
        {"a calibration byte past the end of its memory",
         {.steps = kErase | kWriteCalibration | kVerifyCalibration, .calib = CalibTarget{0xA5, 0x400, CalibMemory::Eeprom}},
         {.sendsNothing = true, .cause = Cause::TooLarge, .says = text::kAddressBeyondDevice},
         {Front::Dialog, Front::Device}},
        {"a calibration write on a part without the byte",
         {.device = "AT90S2313", .steps = kErase | kWriteCalibration, .calib = CalibTarget{0xA5, 0x10, CalibMemory::Eeprom}},
         {.sendsNothing = true, .cause = Cause::NoSuchMemory, .says = "AT90S2313 には校正バイトがありません"},
         {Front::Device}},
        // Seen against the chip's own fuses, read before the erase.
        {"a clock source change",
         {.steps = kErase | kWriteFlash | kWriteFuses, .flash = "prog.hex", .fuses = FuseBytes{0xFF, 0xD9, 0xFF}},
         {.writesNothing = true, .cause = Cause::Policy, .says = text::kFuseRiskClock},
         {Front::Dialog, Front::Production, Front::Device},
         true},
        {"one fuse byte that releases SPIEN",
         {.steps = kErase | kWriteFlash | kWriteFuses, .flash = "prog.hex", .fuses = FuseBytes{0xFF, 0xFF, 0x62},
          .fuseBytes = kFuseHigh},
         {.writesNothing = true, .cause = Cause::Policy, .says = text::kFuseSpienRelease},
         {Front::Avrdude, Front::Terminal}},
        {"a FLASH verify after lock mode 3",
         {.steps = kErase | kWriteFlash | kVerifyFlash | kWriteLock, .flash = "prog.hex", .lock = 0x3C,
          .verifyAfterLock = true},
         {.sendsNothing = true, .cause = Cause::Policy, .says = "消去するまで FLASH を読み出せません"},
         {Front::Device, Front::Avrdude}, false, false},
    };
}

void ContractTest::CheckRows() {
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.what);
        const Expect& e = row.expect;
        std::map<Front, Outcome> outcomes;
        for (const Front front : row.fronts) {
            switch (front) {
                case Front::Dialog: outcomes[front] = RunDialog(row.job, Answer::No); break;
                case Front::Production: outcomes[front] = RunProduction(row.job, false); break;
                case Front::Device: outcomes[front] = RunDevice(row.job, false); break;
                case Front::Avrdude: outcomes[front] = RunAvrdude(row.job); break;
                case Front::Terminal: outcomes[front] = RunTerminal(row.job); break;
                case Front::Window: break;
            }
        }
        // The main window's buttons say every row they can.
        if (row.window)
            if (std::optional<Outcome> window = RunWindow(row.job, Answer::No)) outcomes[Front::Window] = *window;
        const Outcome* reference = nullptr;
        Front referenceFront = Front::Dialog;
        for (const auto& [front, out] : outcomes) {
            const std::string who = kFrontNames[static_cast<int>(front)];
            const Verdict& v = out.verdict;
            if ((front == Front::Dialog || front == Front::Window) && row.dialogAsks) {
                // Asked right after the detection and answered No: the run
                // ends there, having read the chip's fuses and written nothing.
                EXPECT_TRUE(v.asked && Has(v.says, e.says)) << who << ": " << v.says;
                EXPECT_FALSE(v.ok) << who;
                EXPECT_FALSE(Writes(out.trace)) << who;
                continue;
            }
            // The avrdude form reads the signature first, as avrdude does:
            // its refusals before the first step come after that read.
            const bool ownSignatureRead = front == Front::Avrdude && !e.ok && *e.step == '\0';
            EXPECT_EQ(v.ok, e.ok) << who << ": " << v.says;
            EXPECT_FALSE(v.asked) << who << ": " << v.says;
            // A front end that runs a job per line or button keeps the
            // refused one's trace, which may send nothing where the whole
            // job would have read the chip first.
            if (!ownSignatureRead && (out.wholeRun || e.sendsNothing)) {
                EXPECT_EQ(out.trace.empty(), e.sendsNothing) << who << ": " << out.trace.size() << " lines sent";
            }
            if (e.sendsNothing || e.writesNothing) {
                EXPECT_FALSE(Writes(out.trace)) << who;
            }
            if (!e.ok) {
                EXPECT_TRUE(Has(v.says, e.says)) << who << ": " << v.says;
            }
            if (!v.step.empty() || front == Front::Dialog) {
                EXPECT_EQ(v.step, e.step) << who;
            }
            if (!v.cause.empty() && !e.ok) {
                EXPECT_EQ(v.cause, CauseName(e.cause)) << who;
            }
            if (ownSignatureRead || !out.wholeRun) continue;
            if (reference == nullptr) {
                reference = &out;
                referenceFront = front;
                continue;
            }
            const std::vector<std::string> diff = DiffTraces(reference->trace, out.trace, 3);
            std::string shown;
            for (const std::string& line : diff) shown += line + "\n";
            EXPECT_TRUE(diff.empty()) << kFrontNames[static_cast<int>(referenceFront)] << " (-) and " << who
                                      << " (+) part:\n" << shown;
        }
    }
}

TEST_F(ContractTest, EveryFrontEndSendsTheSameCommandsAndComesToTheSameVerdict) { CheckRows(); }

// A job's steps in words: the kind, its file, the fuse bytes it writes or
// compares, the lock and calibration values. A write's own verify is said
// as the verify step that follows it, which it is on the wire. A front
// end's own steps (the avrdude form's inputs read at their turn) are left
// out: the rules are the job's steps.
std::vector<std::string> Describe(const Job& job) {
    std::vector<std::string> words;
    for (const JobStep& step : job.steps) {
        if (step.kind == StepKind::Custom) continue;
        std::string word = InfoOf(step.kind).name;
        if (step.image >= 0) word += " " + QFileInfo(QString::fromStdString(job.images[step.image].name)).fileName().toStdString();
        const StepNeed need = InfoOf(step.kind).need;
        if (need == StepNeed::Fuses) {
            const auto has = [&](int32_t bit) { return step.fuseBytes == 0 || (step.fuseBytes & bit) != 0; };
            if (has(kFuseExt)) word += FormatText(" ext=%02X", step.fuses.ext);
            if (has(kFuseHigh)) word += FormatText(" high=%02X", step.fuses.high);
            if (has(kFuseLow)) word += FormatText(" low=%02X", step.fuses.low);
        }
        if (need == StepNeed::Lock || need == StepNeed::LockWrite) word += FormatText(" %02X", step.lock);
        if (need == StepNeed::Calibration)
            word += FormatText(" %02X at %X", step.calib.value, step.calib.address);
        words.push_back(word);
        // The verify kinds follow their writes.
        if (step.verify)
            words.push_back(InfoOf(static_cast<StepKind>(static_cast<int>(step.kind) + 1)).name +
                            word.substr(std::string_view(InfoOf(step.kind).name).size()));
    }
    return words;
}

std::map<Front, std::vector<std::string>> ContractTest::BuiltJobs(const JobSpec& spec, const std::vector<Front>& fronts) {
    std::map<Front, std::vector<std::string>> built;
    const auto in = [&](Front f) { return std::find(fronts.begin(), fronts.end(), f) != fronts.end(); };
    if (in(Front::Dialog)) {
        // From the main window's controls as the dialog reads them; its run
        // leaves out the steps whose boxes are not ticked.
        AppRig rig(spec.device);
        FillWindow(rig.Model(), spec);
        BatchSettings settings;
        EXPECT_TRUE(rig.Window().BatchSettingsOf(step_bit::kEvery, File(spec.flash), File(spec.eeprom),
                                                 spec.fuses.has_value(), spec.lock.has_value(),
                                                 spec.calib.has_value(), settings));
        Job job = BatchJob(settings);
        std::erase_if(job.steps, [&](const JobStep& step) {
            return step.kind != StepKind::Erase && (InfoOf(step.kind).bit & spec.steps) == 0;
        });
        built[Front::Dialog] = Describe(job);
    }
    if (in(Front::Production)) built[Front::Production] = Describe(BatchJob(BatchSettingsOf(SettingFileJob(spec, false))));
    if (in(Front::Avrdude)) {
        // Its requests read and resolved on the part after its own signature read.
        avrdude::RunSettings settings;
        settings.deviceRow = FindDeviceByPartName(spec.device);
        settings.erase = true;
        const QStringList updates = AvrdudeUpdates(spec);
        for (qsizetype i = 1; i < updates.size(); i += 2) {
            avrdude::Request& request = settings.requests.emplace_back();
            EXPECT_FALSE(avrdude::ParseRequest(updates[i], request)) << updates[i].toStdString();
        }
        AppRig rig(spec.Box());
        rig.Core().SetLoadRules(true, true);  // as oriole-cli's avrdude form
        avrdude::RunStreams streams;
        streams.out = streams.err = std::tmpfile();
        avrdude::CAvrdudeRun run(rig.Core(), std::move(settings), streams);
        if (run.Connect() && run.Build()) built[Front::Avrdude] = Describe(run.GetJob());
        std::fclose(streams.out);
    }
    return built;
}

// The builders reachable in this process make the same steps of a row: the
// batch dialog from the window's controls, a production run from its
// setting file, the avrdude form from its requests. (The device commands
// build theirs in oriole-cli, which the rows above run as a program.)
TEST_F(ContractTest, EveryBuilderMakesTheSameSteps) {
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.what);
        const std::map<Front, std::vector<std::string>> built = BuiltJobs(row.job, row.fronts);
        if (built.size() < 2) continue;
        const auto& [firstFront, first] = *built.begin();
        for (const auto& [front, words] : built)
            EXPECT_EQ(words, first) << kFrontNames[static_cast<int>(front)] << " and "
                                    << kFrontNames[static_cast<int>(firstFront)];
    }
}

}  // namespace
}  // namespace oriole::test
