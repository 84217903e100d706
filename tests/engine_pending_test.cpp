// The hand-over of the editor's edits (the pending bank) to the other banks:
// taken by the block loop on the audio thread or by the editor's tick on the
// UI thread, whichever comes first, each edit once and none lost. The
// threaded cases are meant to run under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "tests/test_support.h"

using namespace b2;

namespace {

using b2test::EnginePtr;
using Clock = std::chrono::steady_clock;

// The audio thread: whole blocks until told to stop.
class AudioLoop {
public:
    explicit AudioLoop(engine* e) : thread([this, e] { run(e); }) {}
    ~AudioLoop() { stop(); }
    void stop() {
        done.store(true, std::memory_order_release);
        if (thread.joinable()) thread.join();
    }
    long calls() const { return count.load(std::memory_order_acquire); }
    // Waits until `n` more blocks have run.
    void wait_blocks(long n) const {
        const long until = calls() + n;
        while (calls() < until) std::this_thread::yield();
    }

private:
    void run(engine* e) {
        std::vector<float> in(64, 0.25f), out(64);
        float* ins[2] = {in.data(), in.data()};
        float* outs[2] = {out.data(), out.data()};
        while (!done.load(std::memory_order_acquire)) {
            process_block(e, ins, outs, 64);
            count.fetch_add(1, std::memory_order_release);
        }
    }
    std::atomic<bool> done{false};
    std::atomic<long> count{0};
    std::thread thread;
};

// Distinct in-range RMS windows (ms), never the same twice in a row.
float window_value(int i) { return 100.0f + static_cast<float>(i % 1000); }

TEST(EnginePending, TheEditorTickTakesAnEditWhileNoAudioRuns) {
    EnginePtr e(b2test::make_engine());
    process_block(e.get(), nullptr, nullptr, 16);
    clear_editor_flags(e.get());

    set_slot(e.get(), BANK_PENDING, ID_RMS_WINDOW, 600.0f);
    propagate_pending(e.get());  // the tick
    EXPECT_FALSE(e->banks[BANK_PENDING][ID_RMS_WINDOW].is_changed());
    EXPECT_TRUE(e->banks[BANK_EDITOR][ID_RMS_WINDOW].is_changed());
    EXPECT_EQ(e->banks[BANK_EDITOR][ID_RMS_WINDOW].get(), 600.0f);
    EXPECT_EQ(global_value(e.get(), ID_RMS_WINDOW), 600.0f);
    EXPECT_TRUE(e->banks[BANK_GLOBAL][ID_RMS_WINDOW].is_changed()) << "kept for the first sub-block";

    // Audio starts: the modules see the change once, nothing is applied again.
    clear_editor_flags(e.get());
    process_block(e.get(), nullptr, nullptr, 16);
    EXPECT_FALSE(e->banks[BANK_GLOBAL][ID_RMS_WINDOW].is_changed());
    EXPECT_FALSE(e->banks[BANK_EDITOR][ID_RMS_WINDOW].is_changed());
    propagate_pending(e.get());
    EXPECT_FALSE(e->banks[BANK_EDITOR][ID_RMS_WINDOW].is_changed());
    EXPECT_EQ(global_value(e.get(), ID_RMS_WINDOW), 600.0f);
}

// The UI thread edits and ticks while the audio thread runs. Each edit must
// reach the global bank and stay there: a slower thread that took an older
// edit must never write it over a newer one.
TEST(EnginePending, EditsFromTheEditorKeepTheirOrderWhileAudioRuns) {
    EnginePtr e(b2test::make_engine());
    AudioLoop audio(e.get());
    audio.wait_blocks(1);
    constexpr int kEdits = 3000;
    constexpr long kBlocks = 300;  // the audio thread runs through the whole test
    const long first_block = audio.calls();
    int failed_at = -1;
    int i = 0;
    for (; (i < kEdits || audio.calls() < first_block + kBlocks) && failed_at < 0; ++i) {
        const float v = window_value(i);
        set_slot(e.get(), BANK_PENDING, ID_RMS_WINDOW, v);
        propagate_pending(e.get());
        // Later ticks, until the edit shows.
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        while (global_value(e.get(), ID_RMS_WINDOW) != v) {
            if (Clock::now() > deadline) {
                failed_at = i;
                break;
            }
            std::this_thread::yield();
            propagate_pending(e.get());
        }
    }
    // An older value written late would show here even when the wait above passed.
    for (int i = 0; i < 20; ++i) {
        std::this_thread::yield();
        propagate_pending(e.get());
    }
    audio.stop();
    EXPECT_EQ(failed_at, -1) << "edit " << failed_at << " lost or overwritten by an older one";
    EXPECT_EQ(global_value(e.get(), ID_RMS_WINDOW), window_value(i - 1));
    EXPECT_EQ(e->banks[BANK_EDITOR][ID_RMS_WINDOW].get(), window_value(i - 1));
    EXPECT_FALSE(e->banks[BANK_PENDING][ID_RMS_WINDOW].is_changed());
}

// A writer hammers the pending bank while the audio thread takes it: the
// last value written must end up in the global bank.
TEST(EnginePending, AWriterHammeringThePendingBankLosesNothing) {
    constexpr int kRounds = 20;
    constexpr int kWrites = 5000;
    constexpr long kBlocks = 50;
    int lost = 0;
    for (int round = 0; round < kRounds; ++round) {
        EnginePtr e(b2test::make_engine());
        AudioLoop audio(e.get());
        audio.wait_blocks(1);
        int last = 0;
        std::thread writer([&] {
            const long until = audio.calls() + kBlocks;
            int i = 0;
            for (; i < kWrites || audio.calls() < until; ++i)
                set_slot(e.get(), BANK_PENDING, ID_RMS_WINDOW, window_value(i));
            last = i - 1;
        });
        writer.join();
        audio.wait_blocks(2);  // the last write has been there for a whole block
        audio.stop();
        if (global_value(e.get(), ID_RMS_WINDOW) != window_value(last)) ++lost;
        EXPECT_FALSE(e->banks[BANK_PENDING][ID_RMS_WINDOW].is_changed());
    }
    EXPECT_EQ(lost, 0) << "rounds whose last edit never reached the global bank";
}

}  // namespace
