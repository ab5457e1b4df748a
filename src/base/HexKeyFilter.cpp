#include "base/HexKeyFilter.h"

namespace oriole {

std::optional<char16_t> FilterHexKey(char16_t typed, int held, int limit) {
    if (typed < u' ') return typed;
    if (held >= limit) return std::nullopt;
    if ((typed >= u'0' && typed <= u'9') || (typed >= u'A' && typed <= u'F')) return typed;
    if (typed >= u'a' && typed <= u'f') return static_cast<char16_t>(typed - u'a' + u'A');
    return std::nullopt;
}

}  // namespace oriole
