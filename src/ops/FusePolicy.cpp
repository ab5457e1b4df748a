#include "ops/FusePolicy.h"

#include <string>

#include "res/Texts.h"

namespace oriole {

bool AcceptFuseWrite(IMessageHost& host, const AVR_DEVICE& device, const FuseBytes& current,
                     const FuseBytes& wanted, bool allowRisky, const char* hint) {
    const unsigned risks = FuseWriteRisks(device, current, wanted);
    if (risks & fuse_risk::kReleasesSpien) {
        host.ShowMessage(MsgKind::Error, text::kFuseSpienRelease);
        return false;
    }
    if (risks == 0) return true;
    std::string what;
    if (risks & fuse_risk::kProgramsRstdisbl) what += text::kFuseRiskRstdisbl;
    if (risks & fuse_risk::kProgramsDwen) what += text::kFuseRiskDwen;
    if (risks & fuse_risk::kChangesClock) what += text::kFuseRiskClock;
    what += text::kFuseRiskUnreachable;
    if (!allowRisky) {
        std::string refusal = std::string(text::kFuseRiskIntro) + what;
        if (hint != nullptr && *hint != '\0') refusal += std::string("\n") + hint;
        host.ShowMessage(MsgKind::Error, refusal);
        return false;
    }
    host.ShowMessage(MsgKind::Warning, std::string(text::kFuseRiskIntro) + what);
    return true;
}

}  // namespace oriole
