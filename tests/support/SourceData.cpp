#include "SourceData.h"

namespace sundral_test {

std::vector<uint8_t> DrainSource(sundral::TAuInput& Source, const std::vector<uint32_t>& Asks) {
    std::vector<uint8_t> out;
    for (size_t k = 0;; ++k) {
        const uint8_t* p = nullptr;
        uint32_t n = Asks[k % Asks.size()];
        Source.GetData(p, n);
        if (n == 0) break;
        out.insert(out.end(), p, p + n);
    }
    return out;
}

} // namespace sundral_test
