// A file descriptor that closes itself, for tests that hand raw descriptors to the tag code.
//
// Ownership: the object owns the descriptor (a negative value means none).
#pragma once

#include <unistd.h>

namespace sundral_test {

struct TFd {
    int Value;
    explicit TFd(int V) : Value(V) {}
    ~TFd() {
        if (Value >= 0) close(Value);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
};

} // namespace sundral_test
