#include "platform/AuException.h"

namespace sundral {

std::mutex& EngineLock() {
    static std::mutex lock;
    return lock;
}

} // namespace sundral
