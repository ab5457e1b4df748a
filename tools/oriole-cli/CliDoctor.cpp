// oriole-cli doctor [--writer SPEC] [--report FILE]: the connection check,
// printed one check a line, OK or NG with the fix, then a summary. Exit 0
// only when a box opened and answered.
#include <QByteArray>
#include <cstdio>
#include <string>

#include "CliCommon.h"
#include "base/AtomicFile.h"
#include "ops/Doctor.h"

namespace oriole::cli {

namespace {

std::string Text(const DoctorResult& r) {
    std::string out;
    int ng = 0;
    for (const DoctorCheck& c : r.checks) {
        out += (c.ok ? "OK  " : "NG  ") + c.title + ": " + c.detail + "\n";
        if (!c.ok) {
            out += "    → " + c.fix + "\n";
            ++ng;
        }
    }
    out += "\n";
    if (r.boxAnswered)
        out += ng == 0 ? "ライタは正常に応答しました。\n" : "ライタは応答しました (NG " + std::to_string(ng) + " 件)。\n";
    else
        out += "ライタと通信できませんでした (NG " + std::to_string(ng) + " 件)。\n";
    return out;
}

}  // namespace

int RunDoctor(const QStringList& args) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        "ライタとの接続を順に調べ、各項目を OK / NG と直し方で表示します。\n"
        "ライタが開けて応答したときだけ終了コード 0 です。");
    parser.addOption({"writer", "ライタ (auto, ftdi, d2xx[:LIB], serial[:PATH], sim[:...])", "SPEC", "auto"});
    parser.addOption({"report", "同じ内容と通信のトレースを FILE に書きます (不具合報告に添付)", "FILE"});
    parser.addOption({"usb-timing", "0..5 (既定 0)", "N", "0"});
    if (const int status = ParseCommand(parser, args, 0, 0); status >= 0) return status;
    DoctorSetup setup;
    setup.writer = parser.value("writer").toStdString();
    uint32_t timing = 0;
    if (!ParseUnsigned(parser.value("usb-timing"), timing) || timing > 5)
        return UsageError("--usb-timing は 0 から 5 です。");
    setup.usbTiming = static_cast<int32_t>(timing);
    // The report's trace goes to an unnamed temporary file first, and into
    // the report after the text.
    std::FILE* traceFile = parser.isSet("report") ? std::tmpfile() : nullptr;
    if (traceFile != nullptr) setup.trace = CWireTrace::OnDescriptor(fileno(traceFile));
    const DoctorResult result = Diagnose(setup);
    const std::string text = Text(result);
    std::fputs(text.c_str(), stdout);
    int status = result.boxAnswered ? kExitOk : kExitFailed;
    if (parser.isSet("report")) {
        QByteArray report = QByteArray::fromStdString(text);
        if (traceFile != nullptr) {
            report += "\n# wire trace\n";
            std::rewind(traceFile);
            char buffer[65536];
            for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, traceFile)) > 0;)
                report.append(buffer, static_cast<qsizetype>(n));
            std::fclose(traceFile);
        } else {
            report += "\n# 一時ファイルを作れないため、トレースはありません\n";
        }
        const char* fault = nullptr;
        if (!WriteFileAtomically(parser.value("report"), report, &fault)) {
            std::fprintf(stderr, "oriole-cli: レポートを書けません: %s (%s)\n", qPrintable(parser.value("report")),
                         fault ? fault : "");
            status = kExitFailed;
        }
    }
    if (std::fflush(stdout) != 0) return kExitFailed;
    return status;
}

}  // namespace oriole::cli
