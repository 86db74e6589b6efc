// The waveform view's mapping between pixel columns and sample frames: exact at every zoom
// level from the whole file down to one frame a column, with no drift when zooming in and out
// around the pointer, scrolling, or zooming to a selection; and the time ruler's marks.
#include <gtest/gtest.h>

#include <vector>

#include "edit/WaveformGeometry.h"

using namespace sundral;

namespace {

// Every zoom level the view steps through from the fit level down to one frame a column.
std::vector<int64_t> Levels(int64_t Total, int Width) {
    std::vector<int64_t> levels;
    for (int64_t spp = FitSamplesPerPixel(Total, Width);; spp = ZoomInLevel(spp)) {
        levels.push_back(spp);
        if (spp == 1) break;
    }
    return levels;
}

struct TSound {
    int64_t Total;
    int Width;
};
// A minute at 44.1 kHz in an odd width, an hour at 48 kHz, a sound shorter than the view.
const TSound kSounds[] = {{2646000, 497}, {172800000, 1280}, {300, 496}};

TEST(WaveformGeometry, ColumnsAndFramesMapExactlyAtEveryZoom) {
    for (const TSound& sound : kSounds) {
        for (int64_t spp : Levels(sound.Total, sound.Width)) {
            SCOPED_TRACE(spp);
            TWaveView view = FitView(sound.Total, sound.Width);
            view.SamplesPerPixel = spp;
            // A view starting off the level's grid, as zoom-to-selection makes.
            view.FirstSample = 7919;
            view = ClampView(view);
            for (int x = -2; x <= sound.Width + 2; ++x) {
                const int64_t s = PixelToSample(view, x);
                ASSERT_EQ(SampleToPixel(view, s), x);
                ASSERT_EQ(SampleToPixel(view, s + spp - 1), x);
                ASSERT_EQ(PixelToSample(view, x + 1) - s, spp);
            }
            // The fit view reaches the sound's end in its last column.
            const TWaveView fit = FitView(sound.Total, sound.Width);
            EXPECT_LT(SampleToPixel(fit, sound.Total - 1), sound.Width);
            EXPECT_EQ(fit.FirstSample, 0);
        }
    }
}

TEST(WaveformGeometry, ZoomAroundPointerKeepsItsFrameAndReturns) {
    for (const TSound& sound : kSounds) {
        const TWaveView fit = FitView(sound.Total, sound.Width);
        for (int x : {0, sound.Width / 3, sound.Width - 1}) {
            SCOPED_TRACE(x);
            // Zoom all the way in around x, then back out; every step keeps x's frame at x
            // unless the sound's ends stop it, and the way out retraces the way in.
            std::vector<TWaveView> path{fit};
            while (path.back().SamplesPerPixel > 1) {
                const TWaveView& from = path.back();
                const TWaveView to = ZoomAround(from, x, ZoomInLevel(from.SamplesPerPixel));
                const int64_t anchor = PixelToSample(from, x);
                if (to.FirstSample > 0 &&
                    to.FirstSample + int64_t(to.Width) * to.SamplesPerPixel < sound.Total) {
                    EXPECT_EQ(PixelToSample(to, x), anchor);
                }
                path.push_back(to);
            }
            for (size_t i = path.size() - 1; i > 0; --i) {
                const TWaveView out = ZoomAround(path[i], x, path[i - 1].SamplesPerPixel);
                if (PixelToSample(path[i], x) == PixelToSample(path[i - 1], x)) {
                    EXPECT_EQ(out, path[i - 1]) << "level " << path[i - 1].SamplesPerPixel;
                }
            }
            // Ctrl+wheel never zooms out past the whole sound nor in past a frame a column.
            EXPECT_EQ(ZoomAround(fit, x, ZoomOutLevel(fit.SamplesPerPixel)), fit);
            EXPECT_EQ(ZoomAround(path.back(), x, 0).SamplesPerPixel, 1);
        }
    }
}

TEST(WaveformGeometry, SelectionZoomAndScrollStayInTheSound) {
    const TSound sound = kSounds[0];
    const TWaveView fit = FitView(sound.Total, sound.Width);
    struct TCase {
        int64_t Start, End;
    };
    for (const TCase& c :
         {TCase{1000, 1001}, TCase{441000, 882001}, TCase{2645000, 2646000}, TCase{5000, 4000}}) {
        const TWaveView z = ZoomToRange(fit, c.Start, c.End);
        const int64_t lo = std::min(c.Start, c.End), hi = std::max(c.Start, c.End);
        // The whole selection shows, from its first frame unless the sound's end is nearer.
        EXPECT_LE(z.FirstSample, lo);
        EXPECT_LE(SampleToPixel(z, lo), z.Width);
        EXPECT_LT(SampleToPixel(z, hi - 1), z.Width);
        EXPECT_EQ(z.SamplesPerPixel, (hi - lo + z.Width - 1) / z.Width);
        // Scrolling far either way stops at the ends; there and back lands where it began.
        const TWaveView left = ScrollBy(z, -1000000000);
        const TWaveView right = ScrollBy(z, 1000000000);
        EXPECT_EQ(left.FirstSample, 0);
        EXPECT_EQ(right.FirstSample,
                  std::max<int64_t>(0, sound.Total - int64_t(z.Width) * z.SamplesPerPixel));
        EXPECT_EQ(ScrollBy(ScrollBy(left, 3), -3), left);
    }
}

TEST(WaveformGeometry, TimesFramesAndRulerSteps) {
    for (uint32_t rate : {8000u, 22050u, 44100u, 48000u}) {
        for (int64_t ms = 0; ms < 5000; ms += 100) {
            const int64_t s = MsToSample(ms, rate);
            // The first frame at or after the time; its time rounds back to it.
            EXPECT_GE(s * 1000, ms * rate);
            EXPECT_LT((s - 1) * 1000, ms * rate);
            EXPECT_EQ(SampleToMs(s, rate), ms);
        }
    }
    struct TCase {
        int64_t Spp;
        uint32_t Rate;
        int64_t Step;
    };
    // Marks 84 columns apart: 1 frame a column shows 100 ms marks; the whole hour in 1280
    // columns (135000 frames a column, 3.06 s a column) needs 5-minute marks.
    for (const TCase& c : {TCase{1, 44100, 100}, TCase{256, 44100, 500}, TCase{1000, 8000, 15000},
                           TCase{135000, 44100, 300000}, TCase{2000000, 8000, 28800000}}) {
        EXPECT_EQ(RulerStepMs(c.Spp, c.Rate, 84), c.Step) << c.Spp;
    }
}

} // namespace
