#include "formats/AuWaveTypes.h"

namespace sundral {

const char* WavTypeName(TWavType Value) {
    switch (Value) {
    case TWavType::wtUnsupported:
        return "wtUnsupported";
    case TWavType::wtPCM:
        return "wtPCM";
    case TWavType::wtDVIADPCM:
        return "wtDVIADPCM";
    case TWavType::wtMSADPCM:
        return "wtMSADPCM";
    case TWavType::wtACM:
        return "wtACM";
    case TWavType::wtIEEEFloat:
        return "wtIEEEFloat";
    case TWavType::wtExtPCM:
        return "wtExtPCM";
    case TWavType::wtExtIEEEFloat:
        return "wtExtIEEEFloat";
    case TWavType::wtALaw:
        return "wtALaw";
    case TWavType::wtMuLaw:
        return "wtMuLaw";
    }
    return "wtUnsupported";
}

} // namespace sundral
