// Where a waveform view's pixel columns lie in the sound, in whole sample frames.
//
// Column X of the view covers the frames [FirstSample + X * SamplesPerPixel,
// FirstSample + (X + 1) * SamplesPerPixel): a zoom level is a whole number of frames a column,
// so every column starts on a frame and the mapping has no rounding to drift with. Zooming
// around a column keeps the frame at its left edge where it is; zooming in and out again
// brings back the same view.
//
// Threading: pure functions, any thread.
#pragma once

#include <cstdint>

namespace sundral {

struct TWaveView {
    int64_t FirstSample = 0;
    int64_t SamplesPerPixel = 1;
    int Width = 1; // columns
    int64_t TotalSamples = 0;

    bool operator==(const TWaveView&) const = default;
};

// The first frame of column X (X may lie outside the view).
int64_t PixelToSample(const TWaveView& View, int64_t X);
// The column holding frame Sample (rounded towards minus infinity, so frames left of the view
// give negative columns).
int64_t SampleToPixel(const TWaveView& View, int64_t Sample);

// The zoom level that shows the whole sound in Width columns (at least 1 frame a column).
int64_t FitSamplesPerPixel(int64_t TotalSamples, int Width);
// The view of the whole sound.
TWaveView FitView(int64_t TotalSamples, int Width);
// FirstSample moved back into the sound: the view ends no later than the sound's end when it
// can, and starts no earlier than its first frame.
TWaveView ClampView(TWaveView View);
// Zoom to SamplesPerPixel (clamped to 1..the fit level) keeping the frame at the left edge of
// column X in column X, as far as the sound's ends allow.
TWaveView ZoomAround(const TWaveView& View, int X, int64_t SamplesPerPixel);
// The next finer and coarser zoom levels: half and twice the frames a column.
int64_t ZoomInLevel(int64_t SamplesPerPixel);
int64_t ZoomOutLevel(int64_t SamplesPerPixel);
// The view showing frames [Start, End) whole, starting with Start.
TWaveView ZoomToRange(const TWaveView& View, int64_t Start, int64_t End);
// Scrolled by Columns columns (negative: to the left), clamped.
TWaveView ScrollBy(const TWaveView& View, int64_t Columns);

// Times and frames: the first frame at or after Ms milliseconds, and the milliseconds (rounded
// down) at which frame Sample starts.
int64_t MsToSample(int64_t Ms, uint32_t SampleRate);
int64_t SampleToMs(int64_t Sample, uint32_t SampleRate);

// The time ruler's step in milliseconds: the smallest of 100 ms, 200 ms, 500 ms, 1 s, 2 s,
// 5 s, 10 s, 15 s, 30 s, 1 min, 2 min, 5 min, 10 min, 15 min, 30 min, 1 h, ... whose marks
// lie at least MinPixels columns apart.
int64_t RulerStepMs(int64_t SamplesPerPixel, uint32_t SampleRate, int MinPixels);

} // namespace sundral
