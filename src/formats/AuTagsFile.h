// File access for the tag sets' file operations: whole reads and writes at an offset of a
// POSIX descriptor, retried on interruption and short transfers. Offsets are 64-bit.
//
// Threading: these functions keep no state; pread/pwrite leave the file position alone, so
// they do not disturb a caller that reads the same descriptor sequentially.
#pragma once

#include <cstddef>
#include <cstdint>

namespace sundral::tagio {

// True when all Count bytes were read at Offset.
bool ReadAt(int Handle, int64_t Offset, void* Buffer, size_t Count);
// True when all Count bytes were written at Offset.
bool WriteAt(int Handle, int64_t Offset, const void* Buffer, size_t Count);
// Writes at the current position (advancing it); true when all Count bytes were written.
bool WriteAll(int Handle, const void* Buffer, size_t Count);
// Size of the file, or -1 when it cannot be told.
int64_t FileSize(int Handle);
// Current position, or -1 when the descriptor cannot seek.
int64_t Position(int Handle);
// Moves to an absolute position; false when the move failed.
bool SetPosition(int Handle, int64_t Offset);

} // namespace sundral::tagio
