// The backends the contract suite runs against.
#include <QLibrary>
#include <thread>

#include "PtySimServer.h"

#include "link/Backends.h"
#include "link/BackendHarness.h"
#include "link/SimDriver.h"

namespace oriole::test {
namespace {

class SimHarness : public BackendHarness {
public:
    bool Start(const std::string& options, std::string& why) override {
        auto config = sim::ParseSimOptions(options, why);
        if (!config) return false;
        m_box = std::make_shared<sim::CSimBox>(*config, m_clock);
        m_driver = std::make_unique<CSimDriver>(m_box);
        return true;
    }
    IWriterDriver& Driver() override { return *m_driver; }
    std::vector<std::string> Transcript() override { return m_box->Transcript().Lines(); }
    void ClearTranscript() override { m_box->Transcript().Clear(); }
    std::vector<std::string> CallLog() override { return m_box->CallLog(); }
    bool InjectsCallFaults() const override { return true; }
    IClock& Clock() override { return m_clock; }
    bool CanSkipTime() const override { return true; }
    void SkipTime(ClockTime span) override { m_clock.Advance(span); }
    void ClearFaults() override { m_box->Faults() = {}; }

private:
    CVirtualClock m_clock;
    std::shared_ptr<sim::CSimBox> m_box;
    std::unique_ptr<CSimDriver> m_driver;
};

// The d2xx backend loading the fake D2XX library that the test build makes.
class D2xxHarness : public BackendHarness {
public:
    D2xxHarness() : m_library(QString::fromUtf8(ORIOLE_FAKE_FTD2XX)) {}

    bool Start(const std::string& options, std::string& why) override {
        if (!m_library.load()) {
            why = m_library.errorString().toStdString();
            return false;
        }
        m_reset = reinterpret_cast<int (*)(const char*)>(m_library.resolve("OrioleFake_Reset"));
        m_transcript = reinterpret_cast<size_t (*)(char*, size_t)>(m_library.resolve("OrioleFake_Transcript"));
        m_callLog = reinterpret_cast<size_t (*)(char*, size_t)>(m_library.resolve("OrioleFake_CallLog"));
        m_clear = reinterpret_cast<void (*)()>(m_library.resolve("OrioleFake_ClearTranscript"));
        if (!m_reset || !m_transcript || !m_callLog || !m_clear) {
            why = "fake library lacks its test entry points";
            return false;
        }
        if (m_reset(options.c_str()) != 0) {
            why = "bad sim options";
            return false;
        }
        m_driver = CreateD2xxDriver(ORIOLE_FAKE_FTD2XX, why);
        return m_driver != nullptr;
    }
    IWriterDriver& Driver() override { return *m_driver; }
    std::vector<std::string> Transcript() override { return SplitLines(Text(m_transcript)); }
    void ClearTranscript() override { m_clear(); }
    std::vector<std::string> CallLog() override { return SplitLines(Text(m_callLog)); }
    bool InjectsCallFaults() const override { return true; }
    IClock& Clock() override { return SystemClock(); }

private:
    static std::string Text(size_t (*get)(char*, size_t)) {
        std::string text(get(nullptr, 0) + 1, '\0');
        text.resize(get(text.data(), text.size()));
        return text;
    }

    QLibrary m_library;  // kept loaded so the fake's box outlives each driver
    int (*m_reset)(const char*) = nullptr;
    size_t (*m_transcript)(char*, size_t) = nullptr;
    size_t (*m_callLog)(char*, size_t) = nullptr;
    void (*m_clear)() = nullptr;
    std::unique_ptr<IWriterDriver> m_driver;
};

// The serial backend on a pseudo-terminal served by the simulated box on a
// thread of its own, as oriole-sim serves it.
class SerialHarness : public BackendHarness {
public:
    ~SerialHarness() override { StopServer(); }

    bool Start(const std::string& options, std::string& why) override {
        StopServer();
        auto config = sim::ParseSimOptions(options, why);
        if (!config) return false;
        m_server = std::make_unique<sim::CPtySimServer>();
        if (!m_server->Start(*config, why)) return false;
        m_thread = std::thread([this] { m_server->Serve(); });
        m_driver = CreateSerialDriver(m_server->Path(), why);
        return m_driver != nullptr;
    }
    IWriterDriver& Driver() override { return *m_driver; }
    std::vector<std::string> Transcript() override {
        return m_server->WithBox([](sim::CSimBox& box) { return box.Transcript().Lines(); });
    }
    void ClearTranscript() override {
        m_server->WithBox([](sim::CSimBox& box) { box.Transcript().Clear(); });
    }
    std::vector<std::string> CallLog() override { return {}; }
    bool InjectsCallFaults() const override { return false; }
    IClock& Clock() override { return SystemClock(); }
    bool PutStrayByte() override { return m_server->PutStrayBytes(std::string(1, '\0')); }

private:
    void StopServer() {
        m_driver.reset();
        if (m_thread.joinable()) {
            m_server->Stop();
            m_thread.join();
        }
        m_server.reset();
    }

    std::unique_ptr<sim::CPtySimServer> m_server;
    std::thread m_thread;
    std::unique_ptr<IWriterDriver> m_driver;
};

}  // namespace

std::unique_ptr<BackendHarness> MakeSerialHarness() { return std::make_unique<SerialHarness>(); }
std::unique_ptr<BackendHarness> MakeSimHarness() { return std::make_unique<SimHarness>(); }
std::unique_ptr<BackendHarness> MakeD2xxHarness() { return std::make_unique<D2xxHarness>(); }

}  // namespace oriole::test
