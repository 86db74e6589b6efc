#include "edit/WaveformGeometry.h"

#include <algorithm>
#include <iterator>

namespace sundral {
namespace {

int64_t FloorDiv(int64_t A, int64_t B) {
    const int64_t q = A / B;
    return (A % B != 0 && (A < 0) != (B < 0)) ? q - 1 : q;
}

} // namespace

int64_t PixelToSample(const TWaveView& View, int64_t X) {
    return View.FirstSample + X * View.SamplesPerPixel;
}

int64_t SampleToPixel(const TWaveView& View, int64_t Sample) {
    return FloorDiv(Sample - View.FirstSample, View.SamplesPerPixel);
}

int64_t FitSamplesPerPixel(int64_t TotalSamples, int Width) {
    const int64_t width = std::max(Width, 1);
    return std::max<int64_t>(1, (std::max<int64_t>(TotalSamples, 0) + width - 1) / width);
}

TWaveView FitView(int64_t TotalSamples, int Width) {
    TWaveView view;
    view.Width = std::max(Width, 1);
    view.TotalSamples = std::max<int64_t>(TotalSamples, 0);
    view.SamplesPerPixel = FitSamplesPerPixel(TotalSamples, Width);
    return view;
}

TWaveView ClampView(TWaveView View) {
    View.Width = std::max(View.Width, 1);
    View.SamplesPerPixel = std::clamp<int64_t>(View.SamplesPerPixel, 1,
                                               FitSamplesPerPixel(View.TotalSamples, View.Width));
    const int64_t span = int64_t(View.Width) * View.SamplesPerPixel;
    const int64_t last = std::max<int64_t>(0, View.TotalSamples - span);
    View.FirstSample = std::clamp<int64_t>(View.FirstSample, 0, last);
    return View;
}

TWaveView ZoomAround(const TWaveView& View, int X, int64_t SamplesPerPixel) {
    TWaveView zoomed = View;
    zoomed.SamplesPerPixel =
        std::clamp<int64_t>(SamplesPerPixel, 1, FitSamplesPerPixel(View.TotalSamples, View.Width));
    const int64_t anchor = PixelToSample(View, X);
    zoomed.FirstSample = anchor - int64_t(X) * zoomed.SamplesPerPixel;
    return ClampView(zoomed);
}

int64_t ZoomInLevel(int64_t SamplesPerPixel) {
    return std::max<int64_t>(1, SamplesPerPixel / 2);
}

int64_t ZoomOutLevel(int64_t SamplesPerPixel) {
    return std::max<int64_t>(1, SamplesPerPixel) * 2;
}

TWaveView ZoomToRange(const TWaveView& View, int64_t Start, int64_t End) {
    if (End < Start) std::swap(Start, End);
    TWaveView zoomed = View;
    zoomed.SamplesPerPixel = FitSamplesPerPixel(End - Start, View.Width);
    zoomed.FirstSample = Start;
    return ClampView(zoomed);
}

TWaveView ScrollBy(const TWaveView& View, int64_t Columns) {
    TWaveView scrolled = View;
    scrolled.FirstSample += Columns * View.SamplesPerPixel;
    return ClampView(scrolled);
}

int64_t MsToSample(int64_t Ms, uint32_t SampleRate) {
    const int64_t scaled = Ms * int64_t(SampleRate);
    return scaled / 1000 + (scaled % 1000 > 0 ? 1 : 0);
}

int64_t SampleToMs(int64_t Sample, uint32_t SampleRate) {
    return SampleRate ? FloorDiv(Sample * 1000, int64_t(SampleRate)) : 0;
}

int64_t RulerStepMs(int64_t SamplesPerPixel, uint32_t SampleRate, int MinPixels) {
    static constexpr int64_t kSteps[] = {100,    200,    500,     1000,   2000,   5000,
                                         10000,  15000,  30000,   60000,  120000, 300000,
                                         600000, 900000, 1800000, 3600000};
    if (SampleRate == 0) return kSteps[0];
    // Marks Step apart lie Step * Rate / 1000 / SamplesPerPixel columns apart.
    const int64_t need = int64_t(std::max(MinPixels, 1)) * std::max<int64_t>(SamplesPerPixel, 1);
    for (int64_t step : kSteps) {
        if (step * int64_t(SampleRate) >= need * 1000) return step;
    }
    int64_t step = kSteps[std::size(kSteps) - 1];
    while (step * int64_t(SampleRate) < need * 1000) step *= 2;
    return step;
}

} // namespace sundral
