// The device selection on the control model, the operation frame, the device
// check and the chip erase, against the simulated box.
#include <gtest/gtest.h>

#include "ops/OpsTestSupport.h"
#include "base/FormatText.h"
#include "res/Texts.h"

namespace oriole::test {
namespace {

using namespace ctl_id;

// What each device leaves enabled: Ext., High, Low (fields and labels), the
// fuse details button and the calibration controls. One rig chooses them in
// turn, so every control is switched both ways.
TEST(DeviceSelection, ControlsFollowTheFuseMaskAndCalibration) {
    const struct {
        const char* device;
        bool ext, high, low, details, calibration;
    } cases[] = {
        {"ATmega8", false, true, true, true, true},   {"AT90S4433", false, false, true, true, false},
        {"AT90S1200", false, false, false, false, false}, {"ATmega162", true, true, true, true, true},
        {"ATmega649", true, true, true, true, true},  {"AT90S4433", false, false, true, true, false},
        {"ATmega6490", true, true, true, true, true}, {"ATmega48", true, true, true, true, true},
    };
    OpsRig rig("ATmega8", "ATmega8");
    const CMainControls& k = rig.window.Controls();
    const auto expect = [&](const auto& c) {
        EXPECT_EQ(k.IsEnabled(kExtEdit), c.ext);
        EXPECT_EQ(k.IsEnabled(kExtLabel), c.ext);
        EXPECT_EQ(k.IsEnabled(kHighEdit), c.high);
        EXPECT_EQ(k.IsEnabled(kHighLabel), c.high);
        EXPECT_EQ(k.IsEnabled(kLowEdit), c.low);
        EXPECT_EQ(k.IsEnabled(kLowLabel), c.low);
        EXPECT_EQ(k.IsEnabled(kFuseDetails), c.details);
        for (int id : {kCalibFreqLabel, kCalibFreq, kCalibValueLabel, kCalibValue, kCalibAddress, kCalibMemory,
                       kCalibDetails})
            EXPECT_EQ(k.IsEnabled(id), c.calibration) << id;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.device);
        rig.window.Controls().SelectListRow(Row(c.device));
        rig.window.OnSelectDevice();
        expect(c);
        EXPECT_EQ(rig.core.DeviceRow(), Row(c.device));
        EXPECT_EQ(&rig.core.Device(), &DeviceAt(Row(c.device)));
    }
    // "(auto)" leaves the controls as ATmega48 set them.
    rig.window.Controls().SelectListRow(0);
    rig.window.OnSelectDevice();
    EXPECT_EQ(rig.core.DeviceRow(), 0);
    expect(cases[std::size(cases) - 1]);
}

// The same device keeps the shown values; another one, or "(auto)", clears
// them and turns the value buttons off.
TEST(DeviceSelection, AnotherDeviceClearsTheShownValuesTheSameKeepsThem) {
    OpsRig rig("ATmega48", "ATmega48");
    CMainControls& k = rig.window.Controls();
    const int kValueButtons[] = {kFuseWrite, kFuseVerify, kLockWrite, kLockVerify, kCalibWrite, kCalibVerify};
    auto fill = [&] {
        k.SetText(kHighEdit, "D9");
        k.SetText(kLowEdit, "E2");
        k.SetText(kLockEdit, "3C");
        k.SetText(kCalibValue, "A5");
        k.SetText(kCalibMemory, text::kCalibFlashLabel);
        for (int id : kValueButtons) k.Enable(id, true);
    };
    auto choose = [&](int row) {
        k.SelectListRow(row);
        rig.window.OnSelectDevice();
    };
    auto expectCleared = [&] {
        for (int id : {kHighEdit, kLowEdit, kLockEdit, kCalibValue}) EXPECT_EQ(k.Text(id), "") << id;
        EXPECT_EQ(k.Text(kCalibMemory), text::kCalibrationWriteMemoryDefault);
        for (int id : kValueButtons) EXPECT_FALSE(k.IsEnabled(id)) << id;
    };
    fill();
    rig.window.SelectDevice(Row("ATmega48"));
    EXPECT_EQ(k.Text(kLowEdit), "E2");
    EXPECT_EQ(k.Text(kHighEdit), "D9");
    EXPECT_TRUE(k.IsEnabled(kLockWrite));
    EXPECT_TRUE(k.IsEnabled(kLockVerify));
    choose(Row("ATmega48"));
    EXPECT_EQ(k.Text(kLockEdit), "3C");

    choose(Row("ATmega88"));
    EXPECT_EQ(rig.core.DeviceRow(), Row("ATmega88"));
    expectCleared();

    fill();
    choose(0);
    EXPECT_EQ(rig.core.DeviceRow(), 0);
    expectCleared();
    EXPECT_TRUE(k.IsEnabled(kExtEdit));
    EXPECT_TRUE(k.IsEnabled(kCalibDetails));
}

TEST(DeviceSelection, ModelReportsEachChangeOnce) {
    CMainControls k;
    std::vector<int> changed;
    k.onChanged = [&](int id) { changed.push_back(id); };
    k.SetText(kLowEdit, "E2");
    k.SetText(kLowEdit, "E2");
    k.SetCheck(kAutoDetect, true);  // already checked after start
    k.Enable(kFuseWrite, true);
    k.SelectListRow(5);
    EXPECT_EQ(changed, (std::vector<int>{kLowEdit, kFuseWrite, kDeviceList}));
}

TEST(DeviceSelection, DetectionSelectsTheListItem) {
    OpsRig rig("ATmega8");
    EXPECT_EQ(rig.window.Controls().ListSelection(), 0);
    ASSERT_TRUE(rig.core.CheckDevice(true));
    EXPECT_EQ(rig.window.Controls().ListSelection(), Row("ATmega8"));
    EXPECT_EQ(rig.core.DeviceRow(), Row("ATmega8"));
    EXPECT_TRUE(rig.window.Controls().IsEnabled(kHighEdit));
    EXPECT_FALSE(rig.window.Controls().IsEnabled(kExtEdit));
    EXPECT_TRUE(rig.Texts().empty());
}

TEST(DeviceSelection, IsDeviceKnownByAutoDetectOrList) {
    OpsRig rig("ATmega8");
    EXPECT_TRUE(rig.window.IsDeviceKnown());
    rig.window.Controls().SetCheck(kAutoDetect, false);
    EXPECT_FALSE(rig.window.IsDeviceKnown());
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kDeviceUnknown});
    rig.window.Controls().SelectListRow(Row("ATmega8"));
    EXPECT_TRUE(rig.window.IsDeviceKnown());
}

TEST(Frame, CheckDeviceWithTimingAndDetection) {
    OpsRig rig("ATmega8");
    ASSERT_TRUE(rig.core.CheckDevice(true));
    EXPECT_EQ(rig.Lines(), (std::vector<std::string>{
                               "> 54 03 03 03 02 92 5A 5A 5A", "< 94", "> 41 00", "< 53", "> 43",
                               "< 1E 93 07", "> 54 02 02 03 01 5A 2D 5A 2D", "< 94", "> 42", "< 82"}));
    EXPECT_EQ(rig.Opens(), 1);
    EXPECT_EQ(rig.Closes(), 1);
}

TEST(Frame, NoDeviceAndNoDetectionRefusesBeforeOpening) {
    OpsRig rig("ATmega8");
    rig.window.Controls().SetCheck(kAutoDetect, false);
    uint8_t lock = 0;
    EXPECT_FALSE(rig.core.ReadLockBits(lock, true));
    EXPECT_FALSE(rig.core.ReadFlash(0, true));
    EXPECT_EQ(rig.Texts(), (std::vector<std::string>{text::kDeviceUnknown, text::kDeviceUnknown}));
    EXPECT_EQ(rig.Opens(), 0);
    // The check itself only asks whether the device takes programming mode.
    EXPECT_TRUE(rig.core.CheckDevice(false));
}

TEST(Frame, FailedBeginStillSendsBAndCloses) {
    OpsRig rig("");  // nothing on the socket: the enable is refused
    uint8_t lock = 0;
    EXPECT_FALSE(rig.core.ReadLockBits(lock, false));
    EXPECT_EQ(rig.Lines(), Concat({{"> 41 00", "< FE"}, kLeave}));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kProgrammingRefused});
    EXPECT_EQ(rig.Closes(), 1);

    // A signature of no catalogue device: no own command, m_nDevice 0.
    OpsRig other("ATmega8", "ATmega8");
    other.window.Controls().SetCheck(ctl_id::kAutoDetect, true);
    other.box->Faults().signature = std::array<uint8_t, 3>{0x1E, 0x99, 0x99};
    EXPECT_FALSE(other.core.ReadLockBits(lock, false));
    EXPECT_EQ(other.Lines(), Concat({kEnter, {"> 43", "< 1E 99 99"}, kLeave}));
    EXPECT_EQ(other.Texts(), std::vector<std::string>{text::kDeviceNotDetected});
    EXPECT_EQ(other.core.DeviceRow(), 0);
    EXPECT_EQ(other.window.Controls().ListSelection(), Row("ATmega8"));
}

TEST(Frame, InvalidWriterSpecIsOneErrorAndNothingElse) {
    OpsRig rig("ATmega8");
    rig.core.SetWriterSpec("carrier-pigeon", WriterSpecSource::User);
    EXPECT_FALSE(rig.core.CheckDevice(true));
    ASSERT_EQ(rig.host.recorder.messages.size(), 1u);
    EXPECT_EQ(rig.host.recorder.messages[0].kind, MsgKind::Error);
    EXPECT_TRUE(rig.host.recorder.messages[0].text.starts_with("AVRライタの指定が正しくありません: carrier-pigeon"));
    EXPECT_TRUE(rig.Lines().empty());
}

TEST(Erase, ConfirmedEraseClearsTheChipAndReports) {
    OpsRig rig("ATmega8", "ATmega8");
    rig.Target().Flash()[0x10] = 0x00;
    rig.host.recorder.answers = {Answer::Yes};
    ASSERT_TRUE(rig.core.EraseDevice());
    EXPECT_EQ(WithoutTiming(rig.Lines()), Concat({kEnter, {"> 44", "< 84"}, kLeave}));
    EXPECT_EQ(rig.Target().Flash()[0x10], 0xFF);
    ASSERT_EQ(rig.host.recorder.messages.size(), 2u);
    EXPECT_EQ(rig.host.recorder.messages[0], (RecordedMessage{MsgKind::Question, text::kEraseConfirm}));
    EXPECT_EQ(rig.host.recorder.messages[1], (RecordedMessage{MsgKind::Information, text::kEraseDone}));
}

TEST(Erase, NoOpensNothing) {
    OpsRig rig("ATmega8", "ATmega8");
    rig.host.recorder.answers = {Answer::No};
    EXPECT_FALSE(rig.core.EraseDevice());
    EXPECT_EQ(rig.Opens(), 0);
    EXPECT_TRUE(rig.Lines().empty());
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kEraseConfirm});
}

TEST(Erase, QuietAsksNothingAndReportsOnlyFailures) {
    OpsRig rig("ATmega8", "ATmega8");
    EXPECT_TRUE(rig.core.EraseDevice(Quietly(true)));
    EXPECT_TRUE(rig.Texts().empty());
    // A wrong completion byte fails with the byte it was.
    rig.box->Faults().wrongAck = {'D'};
    EXPECT_FALSE(rig.core.EraseDevice(Quietly(true)));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{FormatText(text::kWriterWrongAck, 0x84u, 0x04u)});
    rig.ClearLog();
    // A silent box is reported by the wait.
    rig.box->Faults().wrongAck.clear();
    rig.box->Faults().mute = {{'D', 0}};
    EXPECT_FALSE(rig.core.EraseDevice(Quietly(true)));
    EXPECT_EQ(rig.Texts(), std::vector<std::string>{text::kWriterNoAnswer});
}

TEST(Erase, Attiny12SendsItsFollowUpSequence) {
    OpsRig rig("ATtiny12", "ATtiny12");
    ASSERT_TRUE(rig.core.EraseDevice(Quietly(true)));
    EXPECT_EQ(WithoutTiming(rig.Lines()),
              Concat({kEnter,
                      {"> 44", "< 84", "> 51 40", "< 91", "> 51 00", "< 91", "> 51 00", "< 91", "> 51 FF",
                       "< 91", "> 44", "< 84"},
                      kLeave}));
    EXPECT_EQ(rig.box->Firmware().EraseFollowUps(), (std::vector<uint8_t>{0x40, 0x00, 0x00, 0xFF}));
}

TEST(Erase, Attiny12FollowUpStopsAtTheFirstFailure) {
    OpsRig rig("ATtiny12", "ATtiny12");
    rig.box->Faults().wrongAck = {'Q'};
    EXPECT_FALSE(rig.core.EraseDevice(Quietly(true)));
    EXPECT_EQ(WithoutTiming(rig.Lines()), Concat({kEnter, {"> 44", "< 84", "> 51 40", "< 11"}, kLeave}));
}

TEST(Frame, AfterACancelEveryOperationRefusesButStillSendsB) {
    OpsRig rig("ATmega8", "ATmega8");
    const std::string file = rig.WriteImage("a.s", Cells(256, 0x12));
    rig.host.CancelAt(-1);
    EXPECT_FALSE(rig.core.WriteFlash(file, {.timing = true, .verify = false}));
    EXPECT_EQ(rig.core.LinkState().m_nAbort, kAbortCancelled);
    EXPECT_TRUE(rig.Texts().empty());
    EXPECT_TRUE(rig.host.LastProgress().destroyed);

    rig.ClearLog();
    rig.host.recorder.answers = {Answer::Yes};
    EXPECT_FALSE(rig.core.EraseDevice());
    // The box dropped the page the cancel cut off, so B is a command again.
    EXPECT_EQ(rig.Lines(), (std::vector<std::string>{"> 42", "< 82"}));
    EXPECT_EQ(rig.Texts(), (std::vector<std::string>{text::kEraseConfirm, text::kAbortedEarlier}));
    EXPECT_EQ(rig.Opens(), rig.Closes());
}

}  // namespace
}  // namespace oriole::test
