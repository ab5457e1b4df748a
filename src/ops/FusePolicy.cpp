#include "ops/FusePolicy.h"

#include <string>

#include "res/Texts.h"

namespace oriole {

std::string FuseRiskText(unsigned risks) {
    if (risks & fuse_risk::kReleasesSpien) return text::kFuseSpienRelease;
    std::string what = text::kFuseRiskIntro;
    if (risks & fuse_risk::kProgramsRstdisbl) what += text::kFuseRiskRstdisbl;
    if (risks & fuse_risk::kProgramsDwen) what += text::kFuseRiskDwen;
    if (risks & fuse_risk::kChangesClock) what += text::kFuseRiskClock;
    return what + text::kFuseRiskUnreachable;
}

unsigned FuseRisksOfValue(const AVR_DEVICE& device, const FuseBytes& wanted) {
    // Against a chip whose bits are all unprogrammed, every 0 of RSTDISBL or
    // DWEN is a change; the clock bits are left out.
    const unsigned risks = FuseWriteRisks(device, FuseBytes{}, wanted);
    return risks & ~fuse_risk::kChangesClock;
}

bool AcceptFuseWrite(IMessageHost& host, const AVR_DEVICE& device, const FuseBytes& current,
                     const FuseBytes& wanted, const FusePolicy& policy) {
    const unsigned risks = FuseWriteRisks(device, current, wanted);
    if (risks & fuse_risk::kReleasesSpien) {
        host.ShowFailure(Cause::Policy, MsgKind::Error, text::kFuseSpienRelease);
        return false;
    }
    if (risks == 0) return true;
    const std::string what = FuseRiskText(risks);
    switch (policy.risky) {
        case RiskyFuses::Allow:
            host.ShowMessage(MsgKind::Warning, what);
            return true;
        case RiskyFuses::Ask:
            return host.ShowMessage(MsgKind::Question, what + "\n" + text::kFuseRiskQuestion, Answer::No) ==
                   Answer::Yes;
        case RiskyFuses::Refuse: break;
    }
    std::string refusal = what;
    if (policy.hint != nullptr && *policy.hint != '\0') refusal += std::string("\n") + policy.hint;
    host.ShowFailure(Cause::Policy, MsgKind::Error, refusal);
    return false;
}

}  // namespace oriole
