#pragma once
// The fixture of the production tests: a job folder (support/JobFolder.h)
// with a setting file for an ATmega328P on a fast simulated box, the job it
// makes, and what a run reports.

#include <gtest/gtest.h>

#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "production/ProductionRun.h"
#include "support/JobFolder.h"

namespace oriole::test {

class ProductionFixture : public ::testing::Test, protected JobFolder {
protected:
    std::string Utf8Path(const char* name) const { return Path(name).toStdString(); }
    QByteArray Read(const QString& path) const { return ReadPath(path); }
    // The job of a setting file with these extra lines under [Production].
    ProductionJob Job(const QByteArray& autoCheck, const QByteArray& production) {
        WriteSettingFile(autoCheck, production);
        ProductionJob job;
        std::string error;
        EXPECT_TRUE(LoadProductionJob(Path("job.set"), job, error)) << error;
        return job;
    }
    ProductionEvents Events() {
        ProductionEvents e;
        e.onMessage = [this](const std::string& box, MsgKind, const std::string& text) {
            const std::lock_guard lock(m_mutex);
            m_messages.push_back(box + ": " + text);
        };
        e.onChip = [this](const ChipRecord& r) {
            const std::lock_guard lock(m_mutex);
            m_chips.push_back(r);
            if (onChip) onChip(r);
        };
        return e;
    }
    ProductionEvents Events(std::vector<JobStep>* steps) {
        ProductionEvents e = Events();
        e.onStep = [this, steps](const std::string&, const JobStep& step, bool done, bool) {
            const std::lock_guard lock(m_mutex);
            if (!done) steps->push_back(step);
        };
        return e;
    }
    std::string Messages() {
        std::string all;
        for (const std::string& m : m_messages) all += m + "\n";
        return all;
    }
    // The log's lines after the header.
    QList<QByteArray> LogLines(const ProductionJob& job) {
        QList<QByteArray> lines = Read(LogFileOf(job)).split('\n');
        lines.removeAll(QByteArray());
        if (!lines.isEmpty()) lines.removeFirst();
        return lines;
    }
    // Options for `count` chips on one fast box that swaps them.
    static ProductionOptions Tray(int count, const std::string& extra = "") {
        ProductionOptions options;
        options.writers = {"sim:ATmega328P,fast,swap=100:150" + extra};
        options.count = count;
        options.poll = std::chrono::milliseconds(40);
        return options;
    }

    std::mutex m_mutex;
    std::vector<std::string> m_messages;
    std::vector<ChipRecord> m_chips;
    std::function<void(const ChipRecord&)> onChip;
};

}  // namespace oriole::test
