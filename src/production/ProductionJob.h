#pragma once
// What a production run programs: a setting file (device, link, FLASH and
// EEPROM files, the fuse, lock and calibration values with their enables),
// the batch steps of its AutoCheck mask, and an optional serial-number rule
// from its [Production] section. A file without that section programs as
// the batch dialog would, with no serial number.

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

#include "devices/FuseGuard.h"
#include "ops/Job.h"
#include "ops/OrioleCore.h"

namespace oriole {

enum class SerialEncoding : uint8_t { Binary, Bcd, AsciiDecimal, AsciiHex };

// What becomes of the number of a chip that failed: spent with it (the good
// chips' numbers have gaps), or given to the next chip.
enum class FailedSerial : uint8_t { Spend, Reuse };

struct SerialRule {
    CalibMemory memory = CalibMemory::Eeprom;  // FLASH or EEPROM
    uint32_t address = 0;
    int width = 4;            // bytes, 1 to 8
    bool bigEndian = false;   // most significant byte (or figure) first
    SerialEncoding encoding = SerialEncoding::Binary;
    uint64_t first = 1;
    uint64_t step = 1;
    uint64_t last = UINT64_MAX;
    QString counterFile;      // empty: beside the setting file
    QString listFile;         // not empty: one line of hex bytes per chip instead of a counter
    FailedSerial failedSerial = FailedSerial::Spend;
};

struct ProductionJob {
    QString settingFile;
    int deviceRow = 0;
    std::string writer = "auto";
    bool writerFromFile = true;  // the setting file named it (what it may open is limited)
    uint32_t clock = 1000000;
    int32_t usbTiming = 0;
    int32_t dataSpeed = 1;
    QString flashFile;
    QString eepromFile;
    uint32_t steps = 0x001;   // step_bit mask (AutoCheck)
    bool fuseEnabled = false;
    FuseBytes fuses;
    bool lockEnabled = false;
    uint8_t lock = 0xFF;
    bool calibEnabled = false;
    QString calibFrequency;   // as shown, one of the device's calibration frequencies
    CalibMemory calibMemory = CalibMemory::Flash;
    bool calibMemoryKnown = false;
    uint32_t calibAddress = 0;
    std::optional<SerialRule> serial;
    bool allowRiskyFuses = false;  // [Production] AllowRiskyFuses=1: RSTDISBL, DWEN, clock source
    QString logFile;          // empty: beside the setting file
    bool logBom = true;       // [Production] LogBom=0: a new log without the UTF-8 byte-order mark
    // Files the user named (on the command line, in the window) rather than
    // the setting file: they may be anywhere.
    bool logFromUser = false;
    bool counterFromUser = false;
    bool listFromUser = false;
    // Besides the setting file's folder, where the files the setting file
    // names may be written (--data-dir; empty: none).
    QString dataDir;
};

// The job's steps and values as the batch dialog would run them.
BatchSettings BatchSettingsOf(const ProductionJob& job);

// Reads a setting file through the settings key table, then its
// [Production] section. False with the reason (one line) in `error`.
[[nodiscard]] bool LoadProductionJob(const QString& path, ProductionJob& job, std::string& error);

// "MEMORY:ADDRESS:WIDTH[:le|be][:bin|bcd|dec|hex]" (MEMORY flash or eeprom,
// ADDRESS hexadecimal) into `rule`, keeping its numbers and files.
[[nodiscard]] bool ParseSerialSpec(const QString& spec, SerialRule& rule, std::string& error);

// A number of the serial rule (first, step, last) as the setting file and
// the command line write it: decimal figures (leading zeros change
// nothing), or 0x and hexadecimal figures.
[[nodiscard]] bool ParseSerialValue(const QString& text, uint64_t& value);

// Step names of --steps ("erase,flash,flash-verify,...") as a step_bit mask.
[[nodiscard]] bool ParseStepNames(const QString& names, uint32_t& mask, std::string& error);

// The steps do what the job names, and can pass: every image named is
// written or verified, something besides the erase is done, and no memory
// is verified after the erase without being written. False with the reason.
[[nodiscard]] bool CheckJobSteps(const ProductionJob& job, std::string& error);

// Every file the setting file makes the run create or change (the log, the
// counter or list and its journal, named or beside the setting file)
// resolves, links followed, inside the setting file's folder or the data
// folder, and has no other name (hard link). False with the reason, naming
// the key and the path.
[[nodiscard]] bool CheckJobOutputs(const ProductionJob& job, std::string& error);

// `path` (links followed, the last one even when it dangles) lies inside
// one of `folders`.
[[nodiscard]] bool ResolvesInside(const QString& path, const QStringList& folders);

// Two paths name one file: the same device and inode (links followed), or,
// where one of them does not exist yet, the same path once resolved.
[[nodiscard]] bool SameFile(const QString& a, const QString& b);

// The file of `job` that `path` names, of those it reads or keeps (its
// images, the setting file, the counter or list and its journal, and the log
// when `withLog`); empty for none. An output option may name none of them.
[[nodiscard]] QString InputOfJob(const ProductionJob& job, const QString& path, bool withLog);

// The files beside the setting file when the job names none.
QString CounterFileOf(const ProductionJob& job);
QString LogFileOf(const ProductionJob& job);

}  // namespace oriole
