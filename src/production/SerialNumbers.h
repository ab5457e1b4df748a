#pragma once
// Serial numbers: a number as the bytes a rule stores, and the allocator
// that hands out each number once. The counter file is advanced and synced
// before the number is used, so a crash, a pulled plug or a kill can skip a
// number but never give two chips the same one. Boxes running at once share
// one allocator; other runs on the same counter wait for its lock.
//
// The counter (or list) is the run's own file, not a path to trust: a name
// that is a link is resolved once, to a regular file with no other name
// (a dangling link, a second hard link, a device or folder is refused), and
// every name of one file comes to one real path. Its lock is a file named
// by that path (FILE.lock, made once and never written), so two runs on two
// names of one counter wait for each other. The journal beside it
// (FILE.journal) is never a link nor another file's second name: it is
// read, replaced and removed only as the regular file the run wrote.
//
// The counter file holds the next number, then, when failed chips gave
// their numbers back (FailedSerial=reuse), a line "free N N ..." of the
// numbers the next chips get first. Every number, `free` ones too, obeys
// one rule: first <= n, on the step's grid, n <= last, a free one below the
// next, and none already logged OK. A list gives a number back by taking
// the used mark off its line. Each number taken is noted in the journal
// (ChipJournal.h) first, and its note leaves when the chip's row is logged.

#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "production/ChipJournal.h"
#include "production/ProductionJob.h"

namespace oriole {

// The rule's bytes for `value`, in address order; nothing when the value
// does not fit the width in the rule's encoding. The byte order turns the
// binary encodings round (bin, and bcd: two figures a byte); ASCII figures
// (dec, hex) always read left to right, most significant first.
std::optional<std::vector<uint8_t>> EncodeSerial(const SerialRule& rule, uint64_t value);

// One number (or list line) taken for a chip.
struct SerialNumber {
    std::vector<uint8_t> bytes;  // in address order
    QString text;                // as the log shows it: decimal, or the list line
};

class CSerialAllocator {
public:
    // `counterFile` is used when the rule has no list.
    CSerialAllocator(SerialRule rule, QString counterFile);

    // Checks the rule before the first chip: every value from first to last
    // fits (a counter), the counter's numbers obey the rule, the list file
    // can be read and holds no number twice, the files are the run's own and
    // the journal can be read. False with the reason.
    [[nodiscard]] bool Check(std::string& error) const;

    // Takes the next number (a number given back first) for the chip on
    // `box` (its place in the run `boxIndex`, started at `time`): the
    // journal notes it, then the counter file (or list) is replaced and
    // synced, folder included, before this returns. False with the reason
    // when the numbers are used up or a file cannot be read or written.
    [[nodiscard]] bool Take(SerialNumber& number, const QString& box, int boxIndex, const QString& time,
                            const QString& settingFile, std::string& error);
    [[nodiscard]] bool Take(SerialNumber& number, std::string& error) {
        return Take(number, QStringLiteral("-"), 0, {}, {}, error);
    }

    // The chip on `box` has its row in the log: its journal line goes. With
    // `giveBack` (a failed chip under FailedSerial=reuse) its number is
    // given to a later chip, once.
    [[nodiscard]] bool Finish(const QString& box, const QString& serial, bool giveBack, std::string& error);

    // At the start, once the log `logPath` is open, all under the lock:
    // the numbers to come (the counter's, the list's next line) are checked
    // against the log (none logged OK),
    // each journal line of a run that died mid-chip gets its row through
    // `writeRow` (unless its number was never spent, or the log has the
    // chip's row already), and those lines are forgotten. Lines of another
    // machine, and those of runs that cannot be judged older than an hour,
    // stay, named in `kept` (a message; empty when none). False with the
    // reason; lines whose row could not be written stay for the next start.
    using RowWriter = std::function<bool(const JournalEntry& entry, std::string& error)>;
    [[nodiscard]] bool Recover(const QString& logPath, const RowWriter& writeRow, std::string& kept,
                               std::string& error);

    // How long a run waits for another's lock before it gives up, and where
    // it says, within a second, that it waits and for which file.
    void SetLockWait(std::chrono::milliseconds patience, std::function<void(const std::string&)> onWait) {
        m_patience = patience;
        m_onWait = std::move(onWait);
    }

    const SerialRule& Rule() const { return m_rule; }
    // The files as used: real paths.
    const QString& NumbersFile() const { return m_rule.listFile.isEmpty() ? m_counterFile : m_rule.listFile; }
    QString JournalFile() const { return JournalFileOf(NumbersFile()); }
    QString LockFile() const { return NumbersFile() + QStringLiteral(".lock"); }
    // This run, as its journal lines name it.
    const RunIdentity& Run() const { return m_self; }

    // The number the next Take would give, as the log shows it, without
    // taking it; empty when none is left or the file cannot be read.
    QString Next() const;

private:
    struct Counter;
    class Lock;
    [[nodiscard]] bool ReadCounter(Counter& counter, std::string& error) const;
    [[nodiscard]] bool CheckCounter(const Counter& counter, std::string& error) const;
    [[nodiscard]] bool ReadJournal(std::vector<JournalEntry>& entries, std::string& error) const;
    [[nodiscard]] bool WriteJournal(const std::vector<JournalEntry>& entries, std::string& error) const;
    [[nodiscard]] bool TakeFromCounter(SerialNumber& number, const JournalEntry& note, std::string& error);
    [[nodiscard]] bool TakeFromList(SerialNumber& number, const JournalEntry& note, std::string& error);

    SerialRule m_rule;
    QString m_counterFile;
    std::string m_refused;  // why the numbers file cannot be the run's, found when resolved
    RunIdentity m_self = NewRunIdentity();
    std::chrono::milliseconds m_patience{60000};
    std::function<void(const std::string&)> m_onWait;
    std::mutex m_mutex;
};

// The next number of the job's rule, for the window before Start; empty
// without a rule or when none can be given.
QString NextSerialText(const ProductionJob& job);

}  // namespace oriole
