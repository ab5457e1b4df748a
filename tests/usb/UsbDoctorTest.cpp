// The connection check on the emulated FT232R: each way a first contact
// with a box goes wrong, and all well; and oriole-cli doctor with its report.
#include <gtest/gtest.h>
#include <grp.h>
#include <pwd.h>
#include <unistd.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <optional>

#include "base/FormatText.h"
#include "ops/Doctor.h"
#include "res/DoctorTexts.h"
#include "res/Texts.h"
#include "support/CliRun.h"
#include "usb/EmulatedFtdi.h"

namespace oriole::test {
namespace {

namespace t = text::doctor;

// The group our udev rule gives the node; any group but root's will do.
int RuleGroup() {
    const group* g = ::getgrnam("plugdev");
    return g ? static_cast<int>(g->gr_gid) : 4242;
}

std::string Report(const DoctorResult& r) {
    std::string text;
    for (const DoctorCheck& c : r.checks) text += (c.ok ? "OK " : "NG ") + c.title + ": " + c.detail + "\n";
    return text;
}

TEST(UsbDoctor, NamesWhatIsWrongWithTheBoxAndItsFix) {
    const std::string roundTrip = FormatText(t::kRoundTrip, 20);
    const struct {
        const char* what;
        const char* simOptions;  // nullptr: no box plugged in
        bool denied;             // the node opens for no one but root
        bool driverBound;        // ftdi_sio holds the chip
        bool ruleInstalled;
        std::vector<std::string> ng;  // the checks that fail, in order
        const char* fix;              // the first one's fix
        std::string about;            // a check ...
        const char* says;             // ... and what its finding says (nullptr: anything)
        bool answered;
    } rows[] = {
        {"no box plugged in", nullptr, false, false, true, {t::kUsbDevice, t::kOpen}, t::kNoUsbDeviceFix,
         t::kUsbDevice, t::kNoUsbDevice, false},
        {"permission denied", "ATmega328P,fast", true, false, true, {t::kPermission, t::kOpen},
         t::kPermissionRuleFix, t::kPermission, "mode 0000", false},
        {"no udev rule", "ATmega328P,fast", false, false, false, {t::kUdevRule}, t::kUdevRuleFix, t::kUdevRule,
         t::kUdevRuleMissing, true},
        {"kernel driver bound", "ATmega328P,fast", false, true, true, {t::kKernelDriver}, t::kKernelDriverFix,
         t::kKernelDriver, "ftdi_sio", true},
        {"box answers slowly", "ATmega328P,fast,slow=100", false, false, true, {roundTrip}, t::kRoundTripFix,
         roundTrip, nullptr, true},
        {"box answers after the wait", "ATmega328P,fast,slow=2000", false, false, true, {t::kTimingAck},
         t::kTimingLateFix, t::kTimingAck, "応答 94 が 2", false},
        {"box silent", "ATmega328P,fast,mute=T", false, false, true, {t::kTimingAck}, t::kTimingAckFix,
         t::kTimingAck, text::kWriterNoAnswer, false},
        {"no chip", "none,fast", false, false, true, {t::kChip}, t::kChipFix, t::kChip, t::kChipRefused, true},
        {"all well", "ATmega328P,fast", false, false, true, {}, nullptr, t::kChip, "1E 95 0F ATmega328P", true},
    };
    QTemporaryDir noRules, rules;
    ASSERT_TRUE(QFile::copy(QStringLiteral(ORIOLE_UDEV_RULE), rules.filePath("60-oriole.rules")));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        CUsbTestbed bed;
        if (row.simOptions != nullptr) {
            UsbBoxSetup box;
            box.simOptions = row.simOptions;
            box.kernelDriverBound = row.driverBound;
            if (row.ruleInstalled) box.ruleGroup = RuleGroup();
            CEmulatedFtdi& chip = bed.Plug(box);
            if (row.denied) bed.Deny(chip);
        }
        std::optional<WithoutFileOverride> asUser;
        if (row.denied) asUser.emplace();
        DoctorSetup setup;
        setup.writer = "ftdi";
        setup.roots.udevRules = {(row.ruleInstalled ? rules : noRules).path().toStdString()};
        const DoctorResult r = Diagnose(setup);

        std::vector<std::string> ng;
        for (const DoctorCheck& c : r.checks) {
            if (!c.ok) ng.push_back(c.title);
            EXPECT_EQ(c.fix.empty(), c.ok) << c.title;  // every NG says how to fix it
            EXPECT_EQ(c.detail.find('\n'), std::string::npos) << c.detail;  // one line a check
        }
        EXPECT_EQ(ng, row.ng) << Report(r);
        EXPECT_EQ(r.boxAnswered, row.answered) << Report(r);
        const auto about = std::find_if(r.checks.begin(), r.checks.end(),
                                        [&](const DoctorCheck& c) { return c.title == row.about; });
        ASSERT_NE(about, r.checks.end()) << Report(r);
        if (row.says != nullptr) EXPECT_NE(about->detail.find(row.says), std::string::npos) << about->detail;
        if (row.fix != nullptr) {
            const auto first =
                std::find_if(r.checks.begin(), r.checks.end(), [](const DoctorCheck& c) { return !c.ok; });
            ASSERT_NE(first, r.checks.end());
            EXPECT_EQ(first->fix, row.fix);
        }
    }
}

// The command: exit status 0 only when a box opened and answered, and a
// report that holds the printed checks and a trace but nothing of the user
// or the machine beyond its USB and group facts.
TEST(UsbDoctor, CommandExitsZeroOnlyWhenTheBoxAnsweredAndReportsNoPrivateFacts) {
    const struct {
        const char* simOptions;
        int status;
    } rows[] = {{"ATmega328P,fast", 0}, {"ATmega328P,fast,mute=T", 1}};
    std::vector<QString> privateFacts;
    if (const passwd* pw = ::getpwuid(::geteuid())) privateFacts.push_back(QString::fromUtf8(pw->pw_name));
    char host[256] = {};
    if (::gethostname(host, sizeof host - 1) == 0) privateFacts.push_back(QString::fromUtf8(host));
    const QString home = qEnvironmentVariable("HOME");
    ASSERT_FALSE(privateFacts.empty());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.simOptions);
        CUsbTestbed bed;
        UsbBoxSetup box;
        box.simOptions = row.simOptions;
        box.ruleGroup = RuleGroup();
        bed.Plug(box);
        QTemporaryDir dir;
        const QString reportPath = dir.filePath("doctor.txt");
        const CliRun r = RunCli({"doctor", "--writer", "ftdi", "--report", reportPath});
        EXPECT_EQ(r.status, row.status) << qPrintable(r.out) << qPrintable(r.err);
        QFile file(reportPath);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(r.err);
        const QString report = QString::fromUtf8(file.readAll());
        EXPECT_TRUE(report.startsWith(r.out)) << qPrintable(report);
        EXPECT_TRUE(report.contains("# wire trace\n")) << qPrintable(report);
        EXPECT_TRUE(report.contains("open \"ORIOLE Ver.1.00\"")) << qPrintable(report);
        for (const QString& fact : privateFacts) {
            const QRegularExpression word("\\b" + QRegularExpression::escape(fact) + "\\b");
            EXPECT_FALSE(report.contains(word)) << qPrintable(fact) << "\n" << qPrintable(report);
        }
        if (!home.isEmpty() && home != "/") EXPECT_FALSE(report.contains(home)) << qPrintable(report);
    }
}

}  // namespace
}  // namespace oriole::test
