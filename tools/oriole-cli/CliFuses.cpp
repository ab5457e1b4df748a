#include "CliFuses.h"

#include <cstdio>
#include <string>

namespace oriole::cli {

bool ReadAndPrintFuses(COrioleCore& core, FuseBytes& current, bool timing) {
    if (!core.ReadFuses(current.ext, current.high, current.low, timing)) return false;
    std::printf("現在のヒューズ (%s): Ext: %02X  High: %02X  Low: %02X\n", core.m_pDevice->name,
                current.ext, current.high, current.low);
    std::fflush(stdout);
    return true;
}

bool AcceptFuseWrite(COrioleCore& core, const FuseBytes& current, const FuseBytes& wanted,
                     bool allowRisky, const char* hint) {
    const unsigned risks = FuseWriteRisks(*core.m_pDevice, current, wanted);
    if (risks & fuse_risk::kReleasesSpien) {
        core.Host().ShowMessage(
            MsgKind::Error,
            "SPIEN を解除する書き込みはできません。解除するとこのライタで書き込めなくなります。");
        return false;
    }
    if (risks == 0) return true;
    std::string what;
    if (risks & fuse_risk::kProgramsRstdisbl)
        what += "RSTDISBL をプログラムします (RESET ピンが使えなくなります)。\n";
    if (risks & fuse_risk::kProgramsDwen)
        what += "DWEN をプログラムします (RESET ピンが使えなくなります)。\n";
    if (risks & fuse_risk::kChangesClock)
        what += "クロック源 (CKSEL) を変更します (そのクロックがないと書き込めなくなります)。\n";
    what += "このライタで書き込めなくなる可能性があります。";
    if (!allowRisky) {
        core.Host().ShowMessage(MsgKind::Error, "このヒューズ書き込みは\n" + what + "\n" + hint);
        return false;
    }
    core.Host().ShowMessage(MsgKind::Warning, "このヒューズ書き込みは\n" + what);
    return true;
}

}  // namespace oriole::cli
