// The application as a child process of the testbed, used as a person uses
// it: on an X server of its own (Xvfb), keys typed through xdotool, and the
// window closed by a close request as a window manager sends it from the
// close box. What counts is what the program left behind: the settings file
// it saved and the box's memory.
#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include "usb/EmulatedFtdi.h"

namespace oriole::test {
namespace {

constexpr int kWaitMs = 30000;  // for each step; a passing run needs far less

// Xvfb and xdotool are no part of the program under test; they run without
// the umockdev preload.
QProcessEnvironment PlainEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("LD_PRELOAD"));
    env.remove(QStringLiteral("UMOCKDEV_DIR"));
    return env;
}

void Stop(QProcess& p) {
    if (p.state() == QProcess::NotRunning) return;
    p.kill();
    p.waitForFinished(5000);
}

// An X server on the first free display, gone with the object.
class CXServer {
public:
    CXServer() {
        m_server.setProcessEnvironment(PlainEnvironment());
        m_server.setStandardErrorFile(QProcess::nullDevice());
        // Xvfb picks a free display itself and names it on fd 1 once it
        // takes connections.
        m_server.start(QStringLiteral("Xvfb"),
                       {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0", "1366x768x24"});
        QByteArray out;
        const QDeadlineTimer deadline(kWaitMs);
        while (!out.contains('\n') && m_server.state() != QProcess::NotRunning &&
               !deadline.hasExpired()) {
            m_server.waitForReadyRead(200);
            out += m_server.readAllStandardOutput();
        }
        if (out.contains('\n')) m_display = ":" + out.trimmed();
    }
    ~CXServer() {
        m_server.terminate();
        if (!m_server.waitForFinished(5000)) Stop(m_server);
    }
    CXServer(const CXServer&) = delete;
    CXServer& operator=(const CXServer&) = delete;

    // Empty when the server did not come up.
    const QString& Display() const { return m_display; }

    // xdotool's output, or nothing when it failed or hung.
    std::optional<QString> Xdotool(const QStringList& args) const {
        QProcess tool;
        QProcessEnvironment env = PlainEnvironment();
        env.insert(QStringLiteral("DISPLAY"), m_display);
        tool.setProcessEnvironment(env);
        tool.start(QStringLiteral("xdotool"), args);
        if (!tool.waitForFinished(10000)) {
            Stop(tool);
            return std::nullopt;
        }
        if (tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) return std::nullopt;
        return QString::fromUtf8(tool.readAllStandardOutput()).trimmed();
    }

    // The close box: WM_DELETE_WINDOW in a WM_PROTOCOLS message, which is
    // all a window manager does for it. xdotool can only destroy a window,
    // which a program never sees as a close request.
    bool RequestClose(uint32_t window) const {
        xcb_connection_t* c = xcb_connect(m_display.toLocal8Bit().constData(), nullptr);
        bool sent = false;
        if (xcb_connection_has_error(c) == 0) {
            const auto atom = [c](const char* name) {
                xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
                    c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name),
                    nullptr);
                const xcb_atom_t a = r != nullptr ? r->atom : xcb_atom_t{XCB_ATOM_NONE};
                std::free(r);
                return a;
            };
            xcb_client_message_event_t event{};
            event.response_type = XCB_CLIENT_MESSAGE;
            event.format = 32;
            event.window = window;
            event.type = atom("WM_PROTOCOLS");
            event.data.data32[0] = atom("WM_DELETE_WINDOW");
            event.data.data32[1] = XCB_CURRENT_TIME;
            xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT,
                           reinterpret_cast<const char*>(&event));
            sent = xcb_flush(c) > 0;
        }
        xcb_disconnect(c);
        return sent;
    }

private:
    QProcess m_server;
    QString m_display;
};

// One run of the application on a settings folder, killed if still running
// at the end.
class CAppRun {
public:
    CAppRun(const CXServer& x, const QString& settingsDir) : m_x(x) {
        // The testbed's UMOCKDEV_DIR and the preload travel in the
        // environment; the tests' offscreen platform does not.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("DISPLAY"), x.Display());
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        // Under LeakSanitizer: libdbus (reached from Qt's X11 platform) and
        // fontconfig keep blocks to the end; they are not the program's.
        const QString suppressions = settingsDir + QStringLiteral("/lsan-suppressions.txt");
        QFile file(suppressions);
        if (file.open(QIODevice::WriteOnly))
            file.write("leak:libdbus-1.so\nleak:libfontconfig.so\n");
        QString lsan = env.value(QStringLiteral("LSAN_OPTIONS"));
        env.insert(QStringLiteral("LSAN_OPTIONS"),
                   (lsan.isEmpty() ? QString() : lsan + u':') + "suppressions=" + suppressions);
        m_app.setProcessEnvironment(env);
        m_errors = settingsDir + QStringLiteral("/stderr.txt");
        m_app.setStandardErrorFile(m_errors);
        m_app.start(QStringLiteral(ORIOLE_APP_PATH), {"--settings-dir", settingsDir});
    }
    ~CAppRun() { Stop(m_app); }
    CAppRun(const CAppRun&) = delete;
    CAppRun& operator=(const CAppRun&) = delete;

    // The program's shown windows with their titles.
    std::vector<std::pair<uint32_t, QString>> Windows() {
        std::vector<std::pair<uint32_t, QString>> windows;
        if (m_app.state() == QProcess::NotRunning) return windows;
        const std::optional<QString> ids =
            m_x.Xdotool({"search", "--onlyvisible", "--pid", QString::number(m_app.processId())});
        for (const QString& id : ids ? ids->split(u'\n', Qt::SkipEmptyParts) : QStringList())
            windows.emplace_back(id.toUInt(),
                                 m_x.Xdotool({"getwindowname", id}).value_or(QString()));
        return windows;
    }

    // A shown window of the program whose title starts with `title`; 0 when
    // none appeared in time. (xdotool's own --name also matches the class.)
    uint32_t WaitForWindow(const QString& title, bool whole = false) {
        const QDeadlineTimer deadline(kWaitMs);
        while (!deadline.hasExpired() && m_app.state() != QProcess::NotRunning) {
            for (const auto& [id, name] : Windows())
                if (whole ? name == title : name.startsWith(title)) return id;
            // Also how the child's end is noticed.
            m_app.waitForFinished(100);
        }
        return 0;
    }

    // Gives `window` the keyboard focus and types the keys.
    bool Type(uint32_t window, const QStringList& keys) {
        const QString id = QString::number(window);
        return m_x.Xdotool({"windowfocus", "--sync", id}) &&
               m_x.Xdotool(QStringList{"key", "--delay", "40"} + keys);
    }

    // Closes the main window and waits for the program's end: the window
    // ignores the close box while a command runs, so the request is repeated
    // until it is taken. The exit code, or -1.
    int Close(uint32_t window) {
        const QDeadlineTimer deadline(kWaitMs);
        while (m_app.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            m_x.RequestClose(window);
            m_app.waitForFinished(250);
        }
        if (m_app.state() != QProcess::NotRunning) return -1;
        return m_app.exitStatus() == QProcess::NormalExit ? m_app.exitCode() : -1;
    }

    // For failure messages: the program's error output and its windows,
    // such as a message box left open.
    QString Errors() {
        QFile file(m_errors);
        QString text =
            QString::fromUtf8(file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray());
        text += "windows:";
        for (const auto& w : Windows()) text += " \"" + w.second + "\"";
        if (m_app.state() == QProcess::NotRunning)
            text += QStringLiteral("; ended with %1").arg(m_app.exitCode());
        return text;
    }

private:
    const CXServer& m_x;
    QProcess m_app;
    QString m_errors;  // the program's error output
};

bool ToolsMissing(std::string& why) {
    for (const char* tool : {"Xvfb", "xdotool"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty()) {
            why = std::string(tool) + " is not installed (Debian: xvfb, xdotool)";
            return true;
        }
    }
    return false;
}

bool WriteText(const QString& path, const QByteArray& text) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

QByteArray ReadText(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Whether the box has sent these bytes to the host.
bool BoxSent(CEmulatedFtdi& chip, const std::vector<uint8_t>& bytes) {
    return chip.WithBox([&](sim::CSimBox& box) {
        std::vector<uint8_t> sent;
        for (const auto& e : box.Transcript().Entries())
            if (!e.toBox) sent.insert(sent.end(), e.bytes.begin(), e.bytes.end());
        return std::search(sent.begin(), sent.end(), bytes.begin(), bytes.end()) != sent.end();
    });
}

class UsbApp : public testing::Test {
protected:
    void SetUp() override {
        std::string why;
        if (ToolsMissing(why)) GTEST_SKIP() << why;
        ASSERT_TRUE(m_dir.isValid());
        m_ini = m_dir.filePath("ORIOLE.ini");
        UsbBoxSetup setup;
        setup.serial = "ORB0000A";
        setup.simOptions = "ATmega328P,fast";
        m_chip = &m_bed.Plug(setup);
        ASSERT_FALSE(m_x.Display().isEmpty()) << "Xvfb did not start";
    }

    // Settings whose last device is not the box's; the writer is the ftdi
    // backend on the emulated chip.
    void WriteSettings(const QByteArray& more = {}) {
        ASSERT_TRUE(
            WriteText(m_ini, "[Device]\r\nLastAVR=ATtiny13\r\nWriter=ftdi,sn=ORB0000A\r\n" + more));
    }

    CUsbTestbed m_bed;
    CEmulatedFtdi* m_chip = nullptr;
    QTemporaryDir m_dir;
    QString m_ini;
    CXServer m_x;
};

// The keyboard path to a button is the window's tab order: the device list
// has the focus at start, 検出 comes next.
TEST_F(UsbApp, DetectButtonFindsTheBoxsDeviceAndTheSettingsKeepIt) {
    WriteSettings();
    CAppRun app(m_x, m_dir.path());
    const uint32_t window = app.WaitForWindow(QStringLiteral("ORIOLE Ver"));
    ASSERT_NE(window, 0u) << "no main window; " << qPrintable(app.Errors());
    ASSERT_TRUE(app.Type(window, {"Tab", "space"}));

    // The signature on the wire shows the button worked.
    const QDeadlineTimer deadline(kWaitMs);
    while (!BoxSent(*m_chip, {0x1E, 0x95, 0x0F}) && !deadline.hasExpired())
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(BoxSent(*m_chip, {0x1E, 0x95, 0x0F}))
        << "the box was never asked for its signature";

    ASSERT_EQ(app.Close(window), 0)
        << "the program did not end on the close box; " << qPrintable(app.Errors());
    const QByteArray ini = ReadText(m_ini);
    EXPECT_TRUE(ini.contains("LastAVR=ATmega328P\r\n")) << ini.constData();
    EXPECT_TRUE(ini.contains("Writer=ftdi,sn=ORB0000A\r\n")) << ini.constData();
}

// FLASH write with erase and verify, from the settings' file name; the
// result box is closed with Enter.
TEST_F(UsbApp, FlashWriteAndVerifyReachTheBox) {
    const QString hex = m_dir.filePath("p.hex");
    ASSERT_TRUE(WriteText(hex, ":0400000001020304F2\r\n:00000001FF\r\n"));
    WriteSettings("[FLASH]\r\nFile=" + hex.toLocal8Bit() + "\r\nErase=1\r\nVerify=1\r\n");
    m_chip->WithBox([](sim::CSimBox& box) { box.Target().Flash()[4] = 0x55; });

    CAppRun app(m_x, m_dir.path());
    const uint32_t window = app.WaitForWindow(QStringLiteral("ORIOLE Ver"));
    ASSERT_NE(window, 0u) << "no main window; " << qPrintable(app.Errors());
    // From the device list: 検出, 自動検出, 一括実行, 消去, 設定, the file
    // name, 参照, the erase and verify boxes, then FLASH 書き込み.
    QStringList keys(10, QStringLiteral("Tab"));
    keys << QStringLiteral("space");
    ASSERT_TRUE(app.Type(window, keys));

    const uint32_t result = app.WaitForWindow(QStringLiteral("ORIOLE"), true);
    ASSERT_NE(result, 0u) << "no result box; " << qPrintable(app.Errors());
    ASSERT_TRUE(app.Type(result, {"Return"}));
    ASSERT_EQ(app.Close(window), 0) << qPrintable(app.Errors());

    const std::vector<uint8_t> head = m_chip->WithBox([](sim::CSimBox& box) {
        const auto& f = box.Target().Flash();
        return std::vector<uint8_t>(f.begin(), f.begin() + 5);
    });
    // Erased before the write: the byte after the program is blank again.
    EXPECT_EQ(head, (std::vector<uint8_t>{0x01, 0x02, 0x03, 0x04, 0xFF}));
}

}  // namespace
}  // namespace oriole::test
