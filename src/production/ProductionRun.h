#pragma once
// A production run: the job prepared once (images loaded and hashed, the
// serial rule checked against them, the log opened), then one COrioleCore
// per box, each on its own thread with its own host, programming chip after
// chip with RunJob. Serial numbers come from one shared allocator, lines
// go to one shared log; a box that fails or goes away ends alone.

#include <QString>
#include <atomic>
#include <chrono>
#include <QJsonObject>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "host/MessageHost.h"
#include "image/ImageBuffer.h"
#include "link/WireTrace.h"
#include "ops/Job.h"
#include "production/EventStream.h"
#include "production/ProductionJob.h"
#include "production/ProductionLog.h"
#include "production/SerialNumbers.h"

namespace oriole {

struct ProductionOptions {
    // One box per spec; empty: the setting file's writer.
    std::vector<std::string> writers;
    bool writersFromUser = true;   // typed by the user, not read from the file
    bool repeat = false;           // wait for the next chip after each one
    int count = 0;                 // chips in all, over every box; 0: no limit (one per box without repeat)
    std::chrono::milliseconds poll{250};  // how often a waiting box asks for the chip
    // Every box's driver calls also go here (null: none); the lines of
    // several boxes interleave, each after a remark naming its writer.
    std::shared_ptr<CWireTrace> trace;
    // The lot, the operator and the work order, for the log and the event
    // stream (typed on the command line or in the window; empty: none).
    QString lot;
    QString operatorName;
    QString workOrder;
    // Every event of the run also goes here as a JSON line (null: none).
    std::shared_ptr<CEventStream> eventStream;
};

// How a run ended, for the front ends' last word and the event stream.
enum class RunEnd {
    Completed,  // the count was reached; without a count, every box did its chips
    Stopped,    // Stop was asked for before that
    Broken,     // a file changed, the serial numbers ran out, the log or event stream could not be written
    BoxesLost,  // boxes stopped answering before that, and none was left to finish
};
// "completed", "stopped", "broken", "boxes-lost".
const char* RunEndName(RunEnd end);

// What a box is doing, for the operator's panels and the event stream.
enum class BoxState {
    Insert,    // waiting for a chip on the socket
    Working,   // programming the chip now on the socket
    Remove,    // waiting for the chip just programmed to be taken out
    Lost,      // the box stopped answering; it programs nothing more
    Ended,     // the box's part of the run is over
};

struct ProductionEvents {
    // Every callback may come from any box's thread, one at a time per box.
    // A chip ended: its line is in the log.
    std::function<void(const ChipRecord&)> onChip;
    std::function<void(const std::string& box, MsgKind kind, const std::string& text)> onMessage;
    std::function<void(const std::string& box, BoxState state)> onState;
    // A chip was found on the box's socket and is about to be programmed;
    // `serial` is the number it gets (empty without a serial rule, or
    // before the number is taken: then a second call follows with it).
    std::function<void(const std::string& box, const std::string& serial)> onChipStart;
    // A step of the chip's job began (`done` false) or ended (`done` true, `ok`).
    std::function<void(const std::string& box, const JobStep& step, bool done, bool ok)> onStep;
    // The running step's progress, 0..100.
    std::function<void(const std::string& box, int percent)> onProgress;
};

// An image file as loaded at the start, with its SHA-256.
struct ProductionImage {
    QString name;      // "FLASH", "EEPROM"
    QString path;
    QByteArray sha256; // of the file's bytes, hexadecimal
    ImageBuffer image;
    bool flash = true;
};

// Every box the USB backends see (as `oriole-cli writers` lists them), as
// writer specs that open exactly that box: what `all` stands for.
std::vector<std::string> AllWriterSpecs();

class CProductionRun {
public:
    CProductionRun(ProductionJob job, ProductionOptions options, ProductionEvents events);
    ~CProductionRun();
    CProductionRun(const CProductionRun&) = delete;
    CProductionRun& operator=(const CProductionRun&) = delete;

    // Loads and hashes the images, checks the serial rule and the steps,
    // opens the log. False after one message (onMessage, box "").
    [[nodiscard]] bool Prepare();
    // Runs every box until its chips are done, Stop is asked for, or a
    // file changed; returns when every box has ended.
    void Run();
    // Ends the run after the chips now being programmed. Safe from any
    // thread and from a signal handler.
    void Stop() { m_stop.store(true); }
    bool Stopping() const { return m_stop.load(); }

    int Passed() const { return m_passed.load(); }
    int Failed() const { return m_failed.load(); }
    // Boxes that stopped answering (between chips or before a chip was
    // found): no chip failed and no number was spent for it.
    int BoxesLost() const { return m_lost.load(); }
    // A file changed, the serial numbers ran out, the log could not be written.
    bool Broken() const { return m_broken.load(); }
    // After Run: how the run ended.
    RunEnd End() const { return m_end; }
    // After Run: every chip passed, and the count was reached (without a
    // count, every box did its chips; a --repeat run without one ends by
    // Stop, with no box lost).
    bool Succeeded() const;
    // After Run: why it did not succeed, in one line; empty when it did.
    std::string Shortfall() const;
    // The file the log lines go to (another than the job's when that one
    // has other columns).
    const QString& LogPath() const { return m_log.Path(); }
    CProductionLog& Log() { return m_log; }
    const std::vector<ProductionImage>& Images() const { return m_images; }
    const ProductionJob& Job() const { return m_job; }
    const ProductionOptions& Options() const { return m_options; }
    // Each box's name in the events and the log, for these writer specs in their order.
    static std::vector<std::string> BoxNames(const std::vector<std::string>& writers);
    // A message to the front end, naming the box ("" before the boxes start).
    void Say(const std::string& box, MsgKind kind, const std::string& text) const;
    // The box's state, a chip's start, a step, a transfer's progress: to the front end.
    void State(const std::string& box, BoxState state);
    void ChipStart(const std::string& box, const std::string& serial) const;
    void Step(const std::string& box, const JobStep& step, bool done, bool ok) const;
    void Progress(const std::string& box, int percent) const;

private:
    friend class CBoxRun;

    [[nodiscard]] bool LoadImages(std::string& error);
    [[nodiscard]] bool CheckSerialRule(std::string& error);
    [[nodiscard]] bool CheckCalibration(std::string& error);
    // Every image file still has the bytes it had at the start.
    [[nodiscard]] bool ImagesUnchanged(std::string& error) const;
    // The job of one chip: the setting file's steps on the images loaded
    // at the start, under the run's fuse policy.
    oriole::Job ChipJob() const;
    // The serial number's bytes into the image of its memory.
    void StampSerial(std::vector<JobImage>& images, const SerialNumber& serial) const;
    // A chip may start: the count is not reached and nothing stopped the run.
    [[nodiscard]] bool ClaimChip();
    // A chip claimed was not programmed after all (its box was lost): another box may take its place.
    void Unclaim() {
        if (m_options.count > 0) m_claimed.fetch_sub(1);
    }
    // Chips remain to be programmed and nothing stopped the run.
    bool MoreChips() const {
        return !m_stop.load() && (m_options.count <= 0 || m_claimed.load() < m_options.count);
    }
    // The chip's line to the log and the front ends; false (the run broken) when the log failed.
    bool Record(const ChipRecord& record);
    // Rows for the chips a run that died left in the journal, said once.
    [[nodiscard]] bool LogInterrupted(std::string& error);
    void Break(const std::string& box, const std::string& why) const;
    // One event to the stream, when there is one; a stream that cannot be
    // written breaks the run.
    void Emit(const char* event, QJsonObject fields) const;
    QJsonObject BoxFields(const std::string& box) const;
    int BoxIndex(const std::string& box) const;
    [[nodiscard]] bool GoalReached() const;
    void EmitRunStart() const;
    // The chip-start held back for the box's number, now without it.
    void FlushChipStart(const std::string& box) const;

    ProductionJob m_job;
    ProductionOptions m_options;
    ProductionEvents m_events;
    std::vector<std::string> m_boxNames;  // one per writer, as messages and the log name the boxes
    std::string m_writerIgnored;          // the setting file's writer was not used: why
    std::vector<ProductionImage> m_images;
    std::unique_ptr<CSerialAllocator> m_serials;
    int m_calibIndex = -1;   // the calibration frequency's index; -1 none
    CProductionLog m_log;
    mutable std::atomic<bool> m_stop{false};
    mutable std::atomic<bool> m_broken{false};
    mutable std::mutex m_breakMutex;
    mutable std::string m_breakReason;           // the first reason the run broke
    std::atomic<int> m_lost{0};
    RunEnd m_end = RunEnd::Completed;
    // Boxes whose chip-start waits for the chip's number.
    mutable std::mutex m_boxMutex;
    mutable std::map<std::string, bool> m_startPending;
    std::map<std::string, bool> m_boxLost;
    std::atomic<int> m_claimed{0};
    std::atomic<int> m_passed{0};
    std::atomic<int> m_failed{0};
};

}  // namespace oriole
