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

FuseBytes MergedFuses(const FuseBytes& current, const FuseBytes& wanted, int32_t onlyBytes) {
    if (onlyBytes == 0) return wanted;
    FuseBytes f = current;
    if (onlyBytes & kFuseExt) f.ext = wanted.ext;
    if (onlyBytes & kFuseHigh) f.high = wanted.high;
    if (onlyBytes & (kFuseLow | kFuseSingle)) f.low = wanted.low;
    return f;
}

unsigned FuseRisksOfValue(const AVR_DEVICE& device, const FuseBytes& wanted, int32_t onlyBytes) {
    // Against a chip whose bits are all unprogrammed, every 0 of RSTDISBL or
    // DWEN is a change; the clock bits are left out. A byte not written is
    // the same before and after, and all 0 so that it never reads as a
    // SPIEN release.
    const FuseBytes before = MergedFuses(FuseBytes{0, 0, 0}, FuseBytes{}, onlyBytes);
    const unsigned risks = FuseWriteRisks(device, before, MergedFuses(FuseBytes{0, 0, 0}, wanted, onlyBytes));
    return risks & ~fuse_risk::kChangesClock;
}

bool AcceptFuseWrite(IMessageHost& host, const AVR_DEVICE& device, const FuseBytes& current,
                     const FuseBytes& wanted, const FusePolicy& policy) {
    const unsigned risks = FuseWriteRisks(device, current, wanted) & ~(policy.accepted & ~fuse_risk::kReleasesSpien);
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
