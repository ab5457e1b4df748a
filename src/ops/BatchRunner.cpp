#include "ops/BatchRunner.h"

namespace oriole {

bool RunBatch(std::span<const BatchStep> steps, const OpOptions& options, const BatchEvents& events) {
    OpOptions o = options;
    for (const BatchStep& step : steps) {
        if (step.wanted && !step.wanted()) continue;
        if (events.onStart) events.onStart(step);
        const bool ok = step.run(o);
        if (events.onEnd) events.onEnd(step, ok);
        if (!ok) return false;
        if (!step.keepsFirst) o.timing = false;
    }
    return true;
}

}  // namespace oriole
