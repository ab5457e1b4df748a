// The avrdude form in process: -U texts read into requests, and requests
// turned into the job they run, as values, on the simulated box.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <thread>

#include "avrdude/AvrdudeRun.h"
#include "ops/OpsTestSupport.h"

namespace oriole::test {
namespace {

using avrdude::Request;

TEST(AvrdudeRequests, TextsReadAsAvrdudeReadsThem) {
    struct Row {
        const char* text;
        Cause refused;  // None: read
        Memory mem;
        char op;
        const char* file;
        char format;
        bool prefix;
    };
    const Row rows[] = {
        {"flash:w:prog.hex:i", Cause::None, Memory::Flash, 'w', "prog.hex", 'i', false},
        {"prog.hex", Cause::None, Memory::Flash, 'w', "prog.hex", 0, false},  // -U FILE writes FLASH
        {"eeprom:r:-:h", Cause::None, Memory::Eeprom, 'r', "-", 'h', false},
        {"hfuse:v:0xD9:m", Cause::None, Memory::HighFuse, 'v', "0xD9", 'm', false},
        {"fuse:w:0x62:m", Cause::None, Memory::LowFuse, 'w', "0x62", 'm', false},   // an alias
        {"lockbits:w:0xFC:m", Cause::None, Memory::Lock, 'w', "0xFC", 'm', false},
        {"ee:r:out.bin:r", Cause::None, Memory::Eeprom, 'r', "out.bin", 'r', true},  // a prefix
        {"c:\\x.hex", Cause::Other, Memory::Flash, 'w', "", 0, false},  // no op
        {"flash:x:a.hex", Cause::Other, Memory::Flash, 'w', "", 0, false},
        {"flash:w:", Cause::Other, Memory::Flash, 'w', "", 0, false},
        {"flash:r:a.hex:m", Cause::Other, Memory::Flash, 'w', "", 0, false},  // m is input only
        {"flash:w:a.hex:z", Cause::Other, Memory::Flash, 'w', "", 0, false},
        {"nosuch:w:a.hex", Cause::NoSuchMemory, Memory::Flash, 'w', "", 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        Request r;
        const avrdude::Refusal refused = avrdude::ParseRequest(row.text, r);
        EXPECT_EQ(refused.cause, row.refused) << refused.message;
        if (row.refused != Cause::None) {
            EXPECT_FALSE(refused.message.empty());
            continue;
        }
        EXPECT_EQ(r.mem, row.mem);
        EXPECT_EQ(r.op, row.op);
        EXPECT_EQ(r.file.toStdString(), row.file);
        EXPECT_EQ(r.format, row.format);
        EXPECT_EQ(r.prefix, row.prefix);
        EXPECT_EQ(r.spec.toStdString(), row.text);
    }
}

// The steps a command line's requests become, before anything runs.
struct Built {
    bool ok = false;
    Job job;
    std::vector<StepKind> kinds;
    Cause failure = Cause::None;
};

struct Flags {
    bool erase = false, noAutoErase = false, noVerify = false, dryRun = false;
};

Built Build(OpsRig& rig, const std::vector<std::string>& texts, Flags flags = {}) {
    avrdude::RunSettings settings{.erase = flags.erase,
                                  .noAutoErase = flags.noAutoErase,
                                  .noVerify = flags.noVerify,
                                  .dryRun = flags.dryRun};
    for (const std::string& text : texts) {
        Request& r = settings.requests.emplace_back();
        if (text.starts_with("-T ")) {
            r = avrdude::TerminalRequest(QString::fromStdString(text.substr(3)), 'T');
            continue;
        }
        const avrdude::Refusal refused = avrdude::ParseRequest(QString::fromStdString(text), r);
        EXPECT_FALSE(refused) << text << ": " << refused.message;
    }
    std::FILE* sink = std::tmpfile();
    avrdude::CAvrdudeRun run(rig.core, settings, {.out = sink, .err = sink});
    Built built;
    built.ok = run.Connect() && run.Build();
    built.job = run.GetJob();
    for (const JobStep& step : built.job.steps) built.kinds.push_back(step.kind);
    built.failure = run.Failure();
    std::fclose(sink);
    return built;
}

TEST(AvrdudeJob, RequestsBecomeTheStepsAvrdudeRuns) {
    using K = StepKind;
    OpsRig rig("ATmega328P");
    const std::string hex = rig.WriteImage("prog.hex", {0x0C, 0x94, 0x34, 0x00});
    struct Row {
        const char* what;
        std::vector<std::string> requests;
        Flags flags;
        std::vector<StepKind> kinds;  // a Custom step flushes the terminal's cache before each -U
    };
    const Row rows[] = {
        {"a FLASH write erases first and verifies", {"flash:w:" + hex + ":s"}, {},
         {K::Erase, K::Custom, K::WriteFlash}},
        {"-D: no erase", {"flash:w:" + hex + ":s"}, {.noAutoErase = true}, {K::Custom, K::WriteFlash}},
        {"-e without a FLASH write still erases", {"eeprom:r:-:h"}, {.erase = true},
         {K::Erase, K::Custom, K::ReadEeprom}},
        {"a fuse byte and the lock", {"hfuse:w:0xD9:m", "lock:v:0x3C:m"}, {},
         {K::Custom, K::WriteFuses, K::Custom, K::VerifyLock}},
        {"a fuse read", {"efuse:r:-:h"}, {}, {K::Custom, K::ReadFuses}},
        {"-n: a fuse write only reads", {"lfuse:w:0xFF:m"}, {.dryRun = true}, {K::Custom, K::ReadFuses}},
        {"a memory the part lacks is skipped", {"fuse:w:0x62:m"}, {}, {K::Custom, K::WriteFuses}},
        {"the calibration: one read per byte", {"calibration:r:-:h"}, {}, {K::Custom, K::ReadCalibration}},
        {"a terminal line is its own step", {"-T write eeprom 0 1", "eeprom:r:-:h"}, {},
         {K::Custom, K::Custom, K::ReadEeprom}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const Built built = Build(rig, row.requests, row.flags);
        ASSERT_TRUE(built.ok);
        EXPECT_EQ(built.kinds, row.kinds);
    }
}

TEST(AvrdudeJob, ValuesOfTheSteps) {
    OpsRig rig("ATmega328P");
    const Built fuse = Build(rig, {"hfuse:w:0xD9:m", "lock:v:0x3C:m", "efuse:w:0x05:m"}, {.noVerify = true});
    ASSERT_TRUE(fuse.ok);
    ASSERT_EQ(fuse.job.steps.size(), 6u);
    EXPECT_EQ(fuse.job.steps[1].fuses.high, 0xD9);
    EXPECT_EQ(fuse.job.steps[1].fuseBytes, kFuseHigh);
    EXPECT_FALSE(fuse.job.steps[1].verify);  // -V
    EXPECT_EQ(fuse.job.steps[3].lock, 0xFC);  // a verify compares the bits the part has
    EXPECT_EQ(fuse.job.steps[5].fuses.ext, 0x05);
    EXPECT_EQ(fuse.job.steps[5].fuseBytes, kFuseExt);

    const Built eeprom = Build(rig, {"eeprom:w:1,2,0x33:m"});
    ASSERT_TRUE(eeprom.ok);
    ASSERT_EQ(eeprom.job.images.size(), 1u);
    const ImageBuffer& image = eeprom.job.images[0].image;
    ASSERT_EQ(image.count, 3u);
    EXPECT_EQ(image.cells[0], 1);
    EXPECT_EQ(image.cells[2], 0x33);
    EXPECT_TRUE(eeprom.job.steps.back().verify);
}

TEST(AvrdudeJob, RefusalsCarryTheirCause) {
    OpsRig rig("ATmega328P");
    std::string oneMore = "1";  // one value more than the EEPROM's 1024 bytes
    for (int i = 0; i < 1024; ++i) oneMore += ",1";
    struct Row {
        std::vector<std::string> requests;
        Cause cause;
    };
    const Row rows[] = {
        {{"lfuse:w:0x1FF:m"}, Cause::TooLarge},
        {{"eeprom:w:1,zz:m"}, Cause::Other},
        {{"signature:w:" + rig.WriteText("sig.bin", "") + ":r"}, Cause::EmptyInput},
        {{"eeprom:w:" + oneMore + ":m"}, Cause::TooLarge},
        {{"flash:w:" + rig.WriteText("none.hex", "not a record") + ":i"}, Cause::File},
        // A read-only memory's write is refused with the inputs, before the erase runs.
        {{"flash:w:" + rig.WriteImage("prog.hex", {0x0C, 0x94}) + ":s", "calibration:w:0x12:m"}, Cause::NoSuchMemory},
        {{"signature:w:0x1e,0x95,0x0f:m"}, Cause::NoSuchMemory},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.requests.front());
        const Built built = Build(rig, row.requests);
        EXPECT_FALSE(built.ok);
        EXPECT_EQ(built.failure, row.cause);
        EXPECT_EQ(rig.core.FirstFailure().cause, row.cause);
        rig.core.ForgetFailures();
    }
}

// Standard input keeps the bounds of files: an endless input to "-" or to
// the terminal ends at 64 MB with one message, and nothing is written.
TEST(AvrdudeJob, StandardInputEndsAtTheBoundOfFiles) {
    for (const char* request : {"eeprom:w:-:i", "-t"}) {
        SCOPED_TRACE(request);
        OpsRig rig("ATmega328P");
        int pair[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
        // As `yes |`: comment lines without end, until the reader goes.
        std::thread writer([fd = pair[1]] {
            const std::string line = "#" + std::string(60000, 'y') + "\n";
            while (send(fd, line.data(), line.size(), MSG_NOSIGNAL) > 0) {
            }
            ::close(fd);
        });
        avrdude::RunSettings settings;
        settings.requests.push_back(std::string(request) == "-t"
                                        ? avrdude::TerminalRequest("-t", 't')
                                        : [&] {
                                              Request r;
                                              EXPECT_FALSE(avrdude::ParseRequest(request, r));
                                              return r;
                                          }());
        std::FILE* sink = std::tmpfile();
        avrdude::CAvrdudeRun run(rig.core, settings, {.out = sink, .err = sink, .in = pair[0]});
        EXPECT_FALSE(run.Run());
        ::shutdown(pair[0], SHUT_RDWR);
        writer.join();
        ::close(pair[0]);
        std::fclose(sink);
        EXPECT_EQ(run.Failure(), Cause::File);
        const std::vector<std::string> texts = rig.Texts();
        ASSERT_FALSE(texts.empty());
        EXPECT_NE(texts.back().find("64 MB"), std::string::npos) << texts.back();
        EXPECT_EQ(rig.Target().Changes(), 0);
    }
}

}  // namespace
}  // namespace oriole::test
