// A 16-byte identifier as the media-format runtime writes them: one 32-bit, two 16-bit and
// eight single-byte fields.
#pragma once

#include <cstdint>
#include <cstring>

namespace sundral {

struct TGUID {
    uint32_t D1;
    uint16_t D2;
    uint16_t D3;
    uint8_t D4[8];
};

// True when all 16 bytes of the two identifiers are equal.
inline bool IsEqualGUID(const TGUID& A, const TGUID& B) {
    return A.D1 == B.D1 && A.D2 == B.D2 && A.D3 == B.D3 &&
           std::memcmp(A.D4, B.D4, sizeof A.D4) == 0;
}

} // namespace sundral
