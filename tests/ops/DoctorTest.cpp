// The connection check on the simulated box: what it finds when all is well,
// when the box cannot be opened, stays silent or has no chip on its socket.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <string>

#include "ops/Doctor.h"
#include "res/DoctorTexts.h"

namespace oriole::test {
namespace {

namespace t = text::doctor;

const DoctorCheck* Find(const DoctorResult& r, const char* title) {
    for (const DoctorCheck& c : r.checks)
        if (c.title == title) return &c;
    return nullptr;
}

TEST(Doctor, SaysWhatIsWrongWithTheBoxAndHowToFixIt) {
    const struct {
        const char* writer;
        bool answered;     // a box opened and acknowledged the timing request
        const char* failed;  // the check that is NG (nullptr: the box checks all pass)
        const char* chip;    // the chip check's finding, when it ran and passed
        const char* fix = nullptr;  // the failed check's fix, where the row is about it
    } rows[] = {
        {"sim:ATmega328P,timing=off", true, nullptr, "ATmega328P"},
        {"sim:ATtiny13,timing=off", true, nullptr, "ATtiny13"},
        {"sim:none,timing=off", true, t::kChip, nullptr},
        {"sim:ATmega328P,timing=off,fail=open:1", false, t::kOpen, nullptr},
        {"sim:ATmega328P,timing=off,mute=T", false, t::kTimingAck, nullptr},
        // A box that is missing, one this user may not open and one in use
        // need different fixes: the first two fail the open, the last the
        // line setup.
        {"sim:ATmega328P,timing=off,fail=open:2", false, t::kOpen, nullptr, t::kOpenNotFoundFix},
        {"sim:ATmega328P,timing=off,fail=open:256", false, t::kOpen, nullptr, t::kOpenDeniedFix},
        {"sim:ATmega328P,timing=off,fail=open:257", false, t::kLineSetup, nullptr, t::kLineSetupFix},
    };
    QTemporaryDir empty;  // a machine without USB facts: only the box is looked at
    for (const auto& row : rows) {
        DoctorSetup setup;
        setup.writer = row.writer;
        setup.roots.sysfs = empty.path().toStdString();
        setup.roots.dev = empty.path().toStdString();
        setup.roots.udevRules = {empty.path().toStdString()};
        setup.roundTrips = 3;
        const DoctorResult r = Diagnose(setup);
        EXPECT_EQ(r.boxAnswered, row.answered) << row.writer;
        for (const DoctorCheck& c : r.checks) {
            // Every NG says how to fix it; an OK has nothing to fix.
            EXPECT_EQ(c.fix.empty(), c.ok) << row.writer << ": " << c.title;
        }
        const DoctorCheck* open = Find(r, t::kOpen);
        ASSERT_NE(open, nullptr) << row.writer;
        EXPECT_EQ(open->ok, row.failed != t::kOpen) << row.writer;
        if (row.failed != nullptr) {
            const DoctorCheck* failed = Find(r, row.failed);
            ASSERT_NE(failed, nullptr) << row.writer;
            EXPECT_FALSE(failed->ok) << row.writer << ": " << failed->detail;
            if (row.fix != nullptr) EXPECT_EQ(failed->fix, row.fix) << row.writer;
        }
        if (row.chip != nullptr) {
            const DoctorCheck* chip = Find(r, t::kChip);
            ASSERT_NE(chip, nullptr) << row.writer;
            EXPECT_TRUE(chip->ok) << row.writer << ": " << chip->detail;
            EXPECT_NE(chip->detail.find(row.chip), std::string::npos) << chip->detail;
        }
    }
}

}  // namespace
}  // namespace oriole::test
