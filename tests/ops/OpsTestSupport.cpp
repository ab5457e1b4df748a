#include "ops/OpsTestSupport.h"

#include <QFile>

#include "image/ImageWriter.h"
#include "link/LinkState.h"

namespace oriole::test {

class OpsHost::Progress final : public IProgress {
public:
    Progress(OpsHost& host, std::shared_ptr<ProgressRecord> record)
        : m_host(host), m_record(std::move(record)) {}
    ~Progress() override { m_record->destroyed = true; }
    void SetRange(int32_t lower, int32_t upper) override {
        m_record->lower = lower;
        m_record->upper = upper;
    }
    void SetPos(int32_t pos) override {
        m_record->positions.push_back(pos);
        m_host.OnPos(pos);
    }
    void SetMessage(std::string_view text) override { m_record->message = text; }

private:
    OpsHost& m_host;
    std::shared_ptr<ProgressRecord> m_record;
};

void OpsHost::PumpOneMessage() {
    ++pumps;
    if (m_cancelPending && m_abort != nullptr) {
        *m_abort = kAbortCancelled;  // the Cancel button's click is dispatched
        m_cancelPending = false;
    }
    if (onPump) onPump(pumps);
}

std::unique_ptr<IProgress> OpsHost::CreateProgressDlg(int32_t lower, int32_t upper,
                                                      std::string_view caption,
                                                      std::string_view message, int32_t& abort) {
    auto record = std::make_shared<ProgressRecord>();
    record->caption = caption;
    progress.push_back(record);
    m_abort = &abort;
    auto window = std::make_unique<Progress>(*this, record);
    window->SetRange(lower, upper);
    window->SetMessage(message);
    if (m_cancelAt == -1) m_cancelPending = true;
    return window;
}

void OpsHost::OnPos(int32_t pos) {
    if (m_cancelAt && *m_cancelAt >= 0 && pos >= *m_cancelAt) {
        m_cancelPending = true;
        m_cancelAt.reset();
    }
}

std::string SRecordFile(const Cells& cells) {
    std::string text;
    size_t i = 0;
    while (i < cells.size()) {
        if (cells[i] < 0) {
            ++i;
            continue;
        }
        uint8_t run[32];
        int n = 0;
        const size_t start = i;
        while (i < cells.size() && cells[i] >= 0 && n < 32) run[n++] = static_cast<uint8_t>(cells[i++]);
        text += FormatSRecord(3, static_cast<uint32_t>(start), n, run);
    }
    text += FormatSRecord(7, 0, 0, nullptr);
    return text;
}

namespace {

sim::SimConfig ConfigFor(const std::string& device) {
    sim::SimConfig config;
    config.deviceRow = device.empty() ? 0 : FindDeviceByName(device);
    config.timing = false;
    EXPECT_TRUE(device.empty() || config.deviceRow != 0) << device;
    return config;
}

}  // namespace

OpsRig::OpsRig(const std::string& simDevice, const char* selected) : OpsRig(ConfigFor(simDevice), selected) {}

OpsRig::OpsRig(const sim::SimConfig& config, const char* selected)
    : box(std::make_shared<sim::CSimBox>(config, clock)), host(clock), core(host) {
    core.SetDriver(std::make_unique<CSimDriver>(box));
    if (selected != nullptr) {
        window.Controls().SetCheck(ctl_id::kAutoDetect, false);
        window.Controls().SelectListRow(Row(selected));
        window.OnSelectDevice();
    }
}

std::vector<std::string> OpsRig::Sent() const {
    std::vector<std::string> out;
    for (const std::string& line : Lines())
        if (line.starts_with("> ")) out.push_back(line);
    return out;
}

void OpsRig::ClearLog() {
    box->Transcript().Clear();
    host.recorder.messages.clear();
    host.progress.clear();
    host.sleeps.clear();
}

std::string OpsRig::WriteText(const std::string& name, const std::string& content) {
    const QString path = dir.filePath(QString::fromStdString(name));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content.data(), static_cast<qint64>(content.size()));
    return path.toStdString();
}

std::vector<std::string> Concat(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

std::vector<std::string> WithoutTiming(const std::vector<std::string>& lines) {
    std::vector<std::string> out;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].starts_with("> 54 ")) {
            if (i + 1 < lines.size() && lines[i + 1] == "< 94") ++i;
            continue;
        }
        out.push_back(lines[i]);
    }
    return out;
}

}  // namespace oriole::test
