// A timer tick with moving meters redraws only the views it changed, and
// what it redraws is complete: after any run of ticks the picture equals a
// full redraw of the page.
#include <gtest/gtest.h>

#include "editor/offscreen_ticks.h"
#include "engine/engine.h"
#include "tests/meter_levels.h"
#include "tests/plugin_host.h"

namespace {

class TickRedrawTest : public ::testing::TestWithParam<double> {
protected:
    b2test::AdapterPtr adapter = b2test::make_adapter();
    b2::MeterSnapshot& published(int c) { return adapter->get_engine()->strips[c].detector.snapshot; }
    void publish() {
        for (int c = 0; c < 2; ++c) published(c).ready.store(1);
    }
    void SetUp() override {
        for (int c = 0; c < 2; ++c) b2test::set_levels(published(c), {-19.5f, -7.25f, 12.5f});
        publish();
    }
};

TEST_P(TickRedrawTest, MovingMetersRedrawTheirBarsAndNothingIsLeftStale) {
    b2::offscreen_ticks ticks(adapter->get_engine(), GetParam());
    ASSERT_TRUE(ticks.ok());
    EXPECT_EQ(ticks.tick(), 0) << "no new snapshot, nothing to redraw";

    for (int i = 1; i <= 24; ++i) {
        SCOPED_TRACE(i);
        int changed = 6;
        if (i == 12) {
            // Levels at rest; a threshold recolours the right peak bar and its readout.
            published(1).peakThresholds[2] = -7.0f;
            changed = 2;
        } else {
            const float step = static_cast<float>(i % 7);
            for (int c = 0; c < 2; ++c) {
                b2::MeterSnapshot& s = published(c);
                s.peakDb = -7.25f - step * 1.3f - static_cast<float>(c);
                s.rmsDb = -19.5f - step * 0.7f;
                s.crestDb = 12.5f - step * 0.6f;
            }
        }
        if (i % 8 == 0) {  // a new maximum on the left: two readouts change
            published(0).heldPeakDb += 0.5f;
            published(0).heldRmsDb += 0.5f;
            changed += 2;
        }
        publish();
        EXPECT_EQ(ticks.tick(), changed);
        EXPECT_TRUE(ticks.matches_full_redraw());
    }
    // The last tick redrew the six bars (8 or 12 by 528 pixels) and two
    // readouts (32 by 14), nothing more.
    const double zoom = GetParam();
    EXPECT_EQ(ticks.redrawn_pixels(), (56.0 * 528.0 + 2.0 * 32.0 * 14.0) * zoom * zoom);
}

INSTANTIATE_TEST_SUITE_P(Zoom, TickRedrawTest, ::testing::Values(1.0, 2.0));

}  // namespace
