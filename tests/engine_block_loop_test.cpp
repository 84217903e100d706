// The block loop on host buffers of every length, absent buses, and a writer
// thread racing the audio thread.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "tests/test_support.h"

using namespace b2;

namespace {

using b2test::EnginePtr;

float test_signal(int i, int channel) {
    return 0.25f * std::sin(0.01f * static_cast<float>(i) + static_cast<float>(channel));
}

// Processes `frames` in heap buffers of exactly `block` samples so that any
// access past the end is caught by AddressSanitizer.
void run_blocks(engine* e, int block, int frames, std::vector<float>* collected = nullptr, int start = 0) {
    for (int done = 0; done < frames; done += block) {
        std::unique_ptr<float[]> in[2], out[2];
        float* ins[2];
        float* outs[2];
        for (int c = 0; c < 2; ++c) {
            in[c].reset(new float[block]);
            out[c].reset(new float[block]);
            for (int i = 0; i < block; ++i) in[c][i] = test_signal(start + done + i, c);
            ins[c] = in[c].get();
            outs[c] = out[c].get();
        }
        process_block(e, ins, outs, block);
        if (collected)
            for (int i = 0; i < block; ++i) {
                collected[0].push_back(out[0][i]);
                collected[1].push_back(out[1][i]);
            }
    }
}

}  // namespace

TEST(EngineBlockLoop, EveryHostBlockLengthPassesAudioWithinBounds) {
    for (int block = 1; block <= 64; ++block) {
        EnginePtr e(b2test::make_engine());
        run_blocks(e.get(), 64, 48000);  // settle the gain at 0 dB
        std::vector<float> got[2];
        const int frames = block * 5;
        run_blocks(e.get(), block, frames, got, 0);
        ASSERT_EQ(static_cast<int>(got[0].size()), frames);
        for (int c = 0; c < 2; ++c)
            for (int i = 0; i < frames; ++i)
                ASSERT_NEAR(got[c][i], test_signal(i, c), 1e-6f) << "block " << block << " sample " << i;
    }
}

TEST(EngineBlockLoop, InPlaceBuffersAndAbsentBuses) {
    EnginePtr e(b2test::make_engine());
    run_blocks(e.get(), 64, 48000);
    std::vector<float> l(40), r(40);
    for (int i = 0; i < 40; ++i) {
        l[i] = test_signal(i, 0);
        r[i] = test_signal(i, 1);
    }
    float* io[2] = {l.data(), r.data()};
    process_block(e.get(), io, io, 40);
    for (int i = 0; i < 40; ++i) {
        EXPECT_NEAR(l[i], test_signal(i, 0), 1e-6f);
        EXPECT_NEAR(r[i], test_signal(i, 1), 1e-6f);
    }

    // No input bus: the strips read silence. No output bus: nothing is written.
    std::vector<float> ol(40, 9.0f), orr(40, 9.0f);
    float* outs[2] = {ol.data(), orr.data()};
    process_block(e.get(), nullptr, outs, 40);
    for (int i = 0; i < 40; ++i) EXPECT_EQ(ol[i], 0.0f);
    process_block(e.get(), io, nullptr, 40);
    float* half[2] = {l.data(), nullptr};
    process_block(e.get(), half, half, 40);  // a missing channel pointer is an absent channel
    process_block(e.get(), io, io, -5);      // negative counts run nothing
}

TEST(EngineBlockLoop, WriterThreadAgainstRunningBlockLoop) {
    EnginePtr e(b2test::make_engine());
    std::atomic<bool> stop{false};
    std::thread writer([&] {
        for (int i = 0; i < 20000; ++i) {
            set_global_value(e.get(), ID_GAIN, static_cast<float>(i % 13) - 6.0f);
            set_slot(e.get(), BANK_PENDING, ID_RMS_WINDOW, 100.0f + static_cast<float>(i % 50));
            set_global_value(e.get(), ID_K_FILTER, static_cast<float>(i & 1));
            if (e->banks[BANK_EDITOR][ID_GAIN].is_changed()) clear_editor_flags(e.get());
        }
        set_global_value(e.get(), ID_GAIN, -6.0f);
        stop = true;
    });
    std::vector<float> in(64, 0.5f), out(64);
    float* ins[2] = {in.data(), in.data()};
    float* outs[2] = {out.data(), out.data()};
    while (!stop) process_block(e.get(), ins, outs, 64);
    writer.join();
    for (int i = 0; i < 200; ++i) process_block(e.get(), ins, outs, 64);
    EXPECT_EQ(global_value(e.get(), ID_GAIN), -6.0f);
    for (float v : out) EXPECT_TRUE(std::isfinite(v));
}
