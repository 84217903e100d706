// process() is fit for the audio thread: from a fresh instance's first call
// on it allocates nothing, takes no lock but the audio-side script lock, leaves no denormal
// numbers behind in the strips after silence and hands the caller's
// floating-point mode back unchanged.
//
// This program replaces the global allocation functions and interposes the
// pthread mutex calls; they count only while the calling thread is inside a
// watched process() call (a thread_local flag), so the host side of the test
// may allocate and lock as it likes.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <pthread.h>
#include <xmmintrin.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <mutex>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/thread/include/flock.h"
#include "engine/loudness_stage.h"
#include "engine/script_bridge.h"
#include "engine/value_format.h"
#include "dsp/denormal_guard.h"
#include "tests/byte_stream.h"
#include "tests/plugin_host.h"

#define RT_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

thread_local bool t_watch = false;  // inside a watched process() call
std::atomic<uint64_t> g_news{0}, g_deletes{0}, g_mallocs{0};
std::atomic<uint64_t> g_audio_locks{0}, g_foreign_locks{0};
std::atomic<uintptr_t> g_lock_lo{0}, g_lock_hi{0};  // the audio lock object

void note_new() {
    if (t_watch) g_news.fetch_add(1, std::memory_order_relaxed);
}
void note_delete(void* p) {
    if (t_watch && p) g_deletes.fetch_add(1, std::memory_order_relaxed);
}

void* counted_new(std::size_t n) {
    note_new();
    return std::malloc(n ? n : 1);
}
void* counted_new(std::size_t n, std::align_val_t a) {
    note_new();
    const std::size_t align = static_cast<std::size_t>(a);
    return std::aligned_alloc(align, (n + align - 1) / align * align);
}
void counted_delete(void* p) {
    note_delete(p);
    std::free(p);
}

void note_lock(const void* m) {
    if (!t_watch) return;
    const auto at = reinterpret_cast<uintptr_t>(m);
    if (at >= g_lock_lo.load(std::memory_order_relaxed) && at < g_lock_hi.load(std::memory_order_relaxed))
        g_audio_locks.fetch_add(1, std::memory_order_relaxed);
    else
        g_foreign_locks.fetch_add(1, std::memory_order_relaxed);
}

// The next definition of a libc function after this program's own. A plain
// atomic, not a function-local static: its guard could itself take a lock.
template <typename Fn>
Fn next_symbol(std::atomic<Fn>& cache, const char* name) {
    Fn f = cache.load(std::memory_order_acquire);
    if (!f) {
        f = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
        cache.store(f, std::memory_order_release);
    }
    return f;
}

using mutex_fn = int (*)(pthread_mutex_t*);
std::atomic<mutex_fn> g_real_lock{nullptr}, g_real_trylock{nullptr};

}  // namespace

void* operator new(std::size_t n) {
    if (void* p = counted_new(n)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n) {
    if (void* p = counted_new(n)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, const std::nothrow_t&) noexcept { return counted_new(n); }
void* operator new[](std::size_t n, const std::nothrow_t&) noexcept { return counted_new(n); }
void* operator new(std::size_t n, std::align_val_t a) {
    if (void* p = counted_new(n, a)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t n, std::align_val_t a) {
    if (void* p = counted_new(n, a)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept { return counted_new(n, a); }
void* operator new[](std::size_t n, std::align_val_t a, const std::nothrow_t&) noexcept { return counted_new(n, a); }
void operator delete(void* p) noexcept { counted_delete(p); }
void operator delete[](void* p) noexcept { counted_delete(p); }
void operator delete(void* p, std::size_t) noexcept { counted_delete(p); }
void operator delete[](void* p, std::size_t) noexcept { counted_delete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { counted_delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { counted_delete(p); }
void operator delete(void* p, std::align_val_t) noexcept { counted_delete(p); }
void operator delete[](void* p, std::align_val_t) noexcept { counted_delete(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { counted_delete(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { counted_delete(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { counted_delete(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { counted_delete(p); }

// The C allocator as well (event lists, rings and blobs use it): glibc's
// functions under their internal names. Sanitizers bring their own allocator,
// so their builds count operator new and the script allocator only.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define RT_COUNTS_MALLOC 1
extern "C" void* __libc_malloc(std::size_t);
extern "C" void* __libc_calloc(std::size_t, std::size_t);
extern "C" void* __libc_realloc(void*, std::size_t);
extern "C" void* __libc_memalign(std::size_t, std::size_t);
extern "C" void __libc_free(void*);

namespace {
void note_malloc() {
    if (t_watch) g_mallocs.fetch_add(1, std::memory_order_relaxed);
}
}  // namespace

RT_EXPORT void* malloc(std::size_t n) {
    note_malloc();
    return __libc_malloc(n);
}
RT_EXPORT void* calloc(std::size_t n, std::size_t size) {
    note_malloc();
    return __libc_calloc(n, size);
}
RT_EXPORT void* realloc(void* p, std::size_t n) {
    note_malloc();
    return __libc_realloc(p, n);
}
RT_EXPORT void* aligned_alloc(std::size_t align, std::size_t n) {
    note_malloc();
    return __libc_memalign(align, n);
}
RT_EXPORT void free(void* p) {
    if (p && t_watch) g_mallocs.fetch_add(1, std::memory_order_relaxed);
    __libc_free(p);
}
#endif

RT_EXPORT int pthread_mutex_lock(pthread_mutex_t* m) {
    note_lock(m);
    return next_symbol(g_real_lock, "pthread_mutex_lock")(m);
}
RT_EXPORT int pthread_mutex_trylock(pthread_mutex_t* m) {
    note_lock(m);
    return next_symbol(g_real_trylock, "pthread_mutex_trylock")(m);
}

using namespace Steinberg;
using namespace Steinberg::Vst;

namespace {

struct Counts {
    uint64_t news, deletes, mallocs, script, audio_locks, foreign_locks;
};
Counts counts() {
    return {g_news.load(), g_deletes.load(), g_mallocs.load(), b2::script_allocation_count(), g_audio_locks.load(),
            g_foreign_locks.load()};
}

void expect_no_allocation_or_foreign_lock(const Counts& before, const Counts& after) {
    EXPECT_EQ(after.news - before.news, 0u);
    EXPECT_EQ(after.deletes - before.deletes, 0u);
    EXPECT_EQ(after.mallocs - before.mallocs, 0u);
    EXPECT_EQ(after.script - before.script, 0u);
    EXPECT_EQ(after.foreign_locks - before.foreign_locks, 0u);
}

// Runs `f` as the watched audio thread.
template <typename F>
void watched(F&& f) {
    t_watch = true;
    f();
    t_watch = false;
}

void watch_lock_of(b2::engine* e) {
    const auto lo = reinterpret_cast<uintptr_t>(e->audio_lock);
    g_lock_lo.store(lo);
    g_lock_hi.store(lo + sizeof(Steinberg::Base::Thread::FLock));
}

// Takes both published snapshots and the loudness view the way the
// editor's timer does, and now and then presses the loudness page's Reset
// and Pause.
struct EditorConsumer {
    b2::MeterSnapshot shown[2];
    long takes = 0;
    b2::LoudnessView loudness{};
    long loudness_takes = 0;
    long ticks = 0;
    void tick(b2::engine* e) {
        if (b2::take_meter_snapshots(e, shown)) ++takes;
        b2::take_scale_change(e);
        b2::clear_editor_flags(e);
        if (b2::take_loudness_view(e, loudness)) ++loudness_takes;
        ++ticks;
        if (ticks % 50 == 0) b2::request_loudness_reset(e);
        b2::request_loudness_pause(e, ticks % 70 > 60);
    }
};

// A host that drives one instance the way a DAW does: every call carries a
// process context, input events (a note on and its note off), an output
// event list and now and then a few automation points; block lengths vary.
// Everything the host needs is made before the measured stretch.
struct Host {
    static constexpr int32 kMaxBlock = 512;
    b2test::AdapterPtr a = b2test::make_adapter(48000.0, kMaxBlock);
    b2test::Block block{kMaxBlock};
    EventList in_events{8};
    EventList out_events{64};
    ProcessContext context{};
    std::vector<std::unique_ptr<ParameterChanges>> automation;
    EditorConsumer editor;
    bool with_events;
    long calls = 0;
    long non_finite = 0;

    // `events` false: no notes and no automation at all.
    explicit Host(bool events = true) : with_events(events) {
        Event on{};
        on.type = Event::kNoteOnEvent;
        on.sampleOffset = 5;
        on.noteOn = {0, 60, 0.0f, 0.7f, 0, 42};
        Event off{};
        off.type = Event::kNoteOffEvent;
        off.sampleOffset = 300;
        off.noteOff = {0, 60, 0.0f, 42, 0.0f};
        in_events.addEvent(on);
        in_events.addEvent(off);
        context.sampleRate = 48000.0;
        context.tempo = 120.0;
        context.state = ProcessContext::kPlaying | ProcessContext::kTempoValid |
                        ProcessContext::kProjectTimeMusicValid | ProcessContext::kCycleValid;
        for (int k = 0; k < 8; ++k) {
            auto changes = std::make_unique<ParameterChanges>(4);
            int32 index = 0;
            changes->addParameterData(b2::ID_GAIN, index)->addPoint(17 * k, 0.4 + 0.03 * k, index);
            changes->addParameterData(b2::ID_RMS_WINDOW, index)->addPoint(100, 0.1 * k, index);
            changes->addParameterData(b2::ID_SCALE_TOP, index)->addPoint(0, 0.5 + 0.05 * k, index);
            changes->addParameterData(b2::ID_K_FILTER, index)->addPoint(250, k % 2, index);
            automation.push_back(std::move(changes));
        }
        // The loudness stage follows the transport, which stops now and then.
        b2::LoudnessSettings loudness;
        loudness.mode = b2::LOUDNESS_TRANSPORT;
        loudness.resetOnPlay = 1;
        b2::set_loudness_settings(a->get_engine(), loudness);
        block.data.inputEvents = with_events ? &in_events : nullptr;
        block.data.outputEvents = &out_events;
        block.data.processContext = &context;
    }

    int32 length_of(long call) const {
        static const int32 lengths[] = {512, 512, 256, 100, 1, 37, 512, 480};
        return lengths[call % 8];
    }

    void fill(int32 n) {
        for (int32 i = 0; i < n; ++i) {
            const double t = static_cast<double>(calls) * kMaxBlock + i;
            const float level = 0.1f + 0.8f * static_cast<float>((calls / 40) % 5) / 4.0f;
            block.in[0][static_cast<size_t>(i)] = level * static_cast<float>(std::sin(t * 0.0731));
            block.in[1][static_cast<size_t>(i)] = level * static_cast<float>(std::sin(t * 0.0113));
        }
    }

    // One process call; only the call itself is watched.
    void call() {
        const int32 n = length_of(calls);
        fill(n);
        block.data.numSamples = n;
        block.data.inputParameterChanges = with_events && calls % 10 == 0
                                               ? automation[static_cast<size_t>(calls / 10 % 8)].get()
                                               : nullptr;
        out_events.clear();
        context.projectTimeSamples = calls * kMaxBlock;
        context.projectTimeMusic = static_cast<double>(calls) * 0.02;
        if (calls % 64 == 0) context.state ^= ProcessContext::kPlaying;
        watched([&] { a->process(block.data); });
        for (int32 i = 0; i < n; ++i)
            if (!std::isfinite(block.out[0][static_cast<size_t>(i)]) ||
                !std::isfinite(block.out[1][static_cast<size_t>(i)]))
                ++non_finite;
        ++calls;
        if (calls % 3 == 0) editor.tick(a->get_engine());
    }
};

TEST(RealtimeProbes, CountersSeeAllocationsAndLocks) {
    const Counts before = counts();
    std::mutex m;
    watched([&] {
        int* volatile p = new int(3);  // volatile: the pair cannot be optimised away
        delete p;
        std::lock_guard<std::mutex> hold(m);
    });
    const Counts after = counts();
    EXPECT_EQ(after.news - before.news, 1u);
    EXPECT_EQ(after.deletes - before.deletes, 1u);
    EXPECT_EQ(after.foreign_locks - before.foreign_locks, 1u);
#ifdef RT_COUNTS_MALLOC
    EXPECT_GE(after.mallocs - before.mallocs, 2u);  // the int's malloc and free
#endif
    // Outside a watched call nothing is counted.
    delete new int(4);
    m.lock();
    m.unlock();
    EXPECT_EQ(counts().news, after.news);
    EXPECT_EQ(counts().foreign_locks, after.foreign_locks);
}

TEST(RealtimeProcess, SteadyStateAllocatesNothingAndLocksOnlyTheScript) {
    Host host;
    watch_lock_of(host.a->get_engine());
    for (int i = 0; i < 400; ++i) host.call();  // warm-up
    const long takes_before = host.editor.takes;
    const float peak_before = host.editor.shown[0].peakDb;
    const long loudness_takes_before = host.editor.loudness_takes;
    const uint64_t steps_before = host.editor.loudness.steps;
    const Counts before = counts();
    constexpr int kCalls = 6000;
    for (int i = 0; i < kCalls; ++i) host.call();
    const Counts after = counts();

    expect_no_allocation_or_foreign_lock(before, after);
    // The script lock is taken (the process hook on every call, plus each
    // publication), so the lock probe did see process() at work.
    EXPECT_GE(after.audio_locks - before.audio_locks, static_cast<uint64_t>(kCalls));

    // The measured stretch really ran the chain, the events and the automation.
    EXPECT_EQ(host.non_finite, 0);
    EXPECT_EQ(host.editor.takes - takes_before, kCalls / 3);
    EXPECT_NE(host.editor.shown[0].peakDb, peak_before);
    // And the loudness stage: it measured the stretch (about 37 s, 370
    // steps) and published every step.
    EXPECT_GT(host.editor.loudness.steps - steps_before, 300u);
    EXPECT_GT(host.editor.loudness_takes - loudness_takes_before, 300);
    EXPECT_EQ(host.out_events.getEventCount(), 2);  // the note on and off, passed through
    b2::engine* e = host.a->get_engine();
    EXPECT_NEAR(b2::global_value(e, b2::ID_SCALE_TOP), b2::to_plain(b2::ID_SCALE_TOP, 0.5f + 0.05f * 7), 1e-4f);
    EXPECT_DOUBLE_EQ(e->tempo_ticks, 128.0);
}

// A fresh instance, from its very first process call: the first notes and
// points, the first meter publication (the script's deepest hook), state
// calls in between (they run in the same script state, on the host's
// thread) and automation as dense as a host can send all run without an
// allocation or a lock other than the script's.
TEST(RealtimeProcess, AColdInstanceAllocatesNothingFromItsFirstCall) {
    for (bool events : {false, true}) {
        SCOPED_TRACE(events ? "notes and automation" : "audio only");
        Host host(events);
        watch_lock_of(host.a->get_engine());
        const Counts before = counts();
        for (int i = 0; i < 60; ++i) host.call();
        for (int round = 0; round < 40; ++round) {
            b2test::ByteStream state;
            ASSERT_EQ(host.a->getState(&state), kResultOk);
            state.pos = 0;
            ASSERT_EQ(host.a->setState(&state), kResultOk);
            for (int i = 0; i < 4; ++i) host.call();
        }
        const Counts after = counts();
        expect_no_allocation_or_foreign_lock(before, after);
        EXPECT_GE(after.audio_locks - before.audio_locks, 220u);
        EXPECT_GT(host.editor.takes, 0);  // publications did happen
        EXPECT_GT(host.editor.loudness_takes, 0);
    }

    auto a = b2test::make_adapter(48000.0, 4096);
    watch_lock_of(a->get_engine());
    auto dense = b2test::dense_automation(0, 4096, [](int id, int32 p) { return (id + p % 16) / 40.0; });
    b2test::Block block(4096, 0.5f);
    block.data.inputParameterChanges = dense.get();
    EditorConsumer editor;
    const Counts before = counts();
    for (int i = 0; i < 4; ++i) {
        watched([&] { a->process(block.data); });
        editor.tick(a->get_engine());
    }
    const Counts after = counts();
    expect_no_allocation_or_foreign_lock(before, after);
}

// ---- denormals ----------------------------------------------------------------

// Lists the subnormal floats among everything a strip carries from one block
// to the next (and its last outputs).
struct SubnormalScan {
    std::vector<std::string> found;
    long total = 0;

    void check(const std::string& what, const float* v, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            if (std::fpclassify(v[i]) != FP_SUBNORMAL) continue;
            ++total;
            if (found.size() < 12) found.push_back(what + "[" + std::to_string(i) + "]");
        }
    }
    void check(const std::string& what, float v) { check(what, &v, 1); }

    explicit SubnormalScan(const b2::engine* e) {
        for (int c = 0; c < 2; ++c) {
            const b2::ChannelStrip& s = e->strips[c];
            const std::string p = "strip" + std::to_string(c) + ".";
            check(p + "input.output", s.input.output, b2::kBlock);
            check(p + "gain.gain", s.gain.gain);
            check(p + "gain.target", s.gain.target);
            check(p + "gain.ramp", s.gain.ramp, b2::kBlock);
            check(p + "gain.output", s.gain.output, b2::kBlock);
            check(p + "kweight.hpSum", s.kweight.hpSum);
            check(p + "kweight.hpSumOfSums", s.kweight.hpSumOfSums);
            check(p + "kweight.h", s.kweight.h, b2::kBlock + 2);
            check(p + "kweight.y", s.kweight.y, b2::kBlock + 2);
            check(p + "kweight.output", s.kweight.output, b2::kBlock);
            const b2::LevelDetector& d = s.detector;
            check(p + "detector.peak", d.peak);
            check(p + "detector.sum", d.sum);
            check(p + "detector.crest", d.crest);
            check(p + "detector.heldPeak", d.heldPeak);
            check(p + "detector.heldSum", d.heldSum);
            check(p + "detector.heldCrest", d.heldCrest);
            check(p + "detector.ring", d.ring, static_cast<size_t>(d.capacity));
            const b2::MeterSnapshot& m = d.snapshot;
            const float readouts[6] = {m.heldPeakDb, m.peakDb, m.heldRmsDb, m.rmsDb, m.heldCrestDb, m.crestDb};
            check(p + "snapshot", readouts, 6);
        }
    }
};

// A second of loud programme, then 60 s of digital silence, with an editor
// taking snapshots; `run` is the process call.
template <typename Run>
void loud_then_silence(b2::engine* e, EditorConsumer& editor, Run run) {
    constexpr int32 n = 512;
    b2test::Block loud(n), quiet(n, 0.0f);
    long calls = 0;
    for (; calls < 94; ++calls) {  // 1 s
        for (int32 i = 0; i < n; ++i) {
            const double t = static_cast<double>(calls * n + i);
            loud.in[0][static_cast<size_t>(i)] = 0.9f * static_cast<float>(std::sin(t * 0.05));
            loud.in[1][static_cast<size_t>(i)] = 0.7f * static_cast<float>(std::sin(t * 0.31 + 1.0));
        }
        run(loud.data);
        if (calls % 3 == 0) editor.tick(e);
    }
    ASSERT_GT(e->strips[0].detector.peak, 0.3f);  // the chain did see the loud part
    for (long q = 0; q * n < 60 * 48000; ++q, ++calls) {
        run(quiet.data);
        if (calls % 3 == 0) editor.tick(e);
    }
}

class RealtimeDenormals : public ::testing::TestWithParam<bool> {};

TEST_P(RealtimeDenormals, SilenceAfterLoudProgrammeLeavesNoSubnormalState) {
    auto a = b2test::make_adapter(48000.0, 512);
    a->setParamNormalized(b2::ID_K_FILTER, GetParam() ? 1.0 : 0.0);
    b2::engine* e = a->get_engine();
    EditorConsumer editor;
    loud_then_silence(e, editor, [&](ProcessData& d) { a->process(d); });
    const SubnormalScan scan(e);
    EXPECT_EQ(scan.total, 0) << ::testing::PrintToString(scan.found);
    // And the meters did come down to silence. (With the filter on, its
    // output may settle on a tiny normal number, far below the readout floor.)
    for (const b2::MeterSnapshot& s : editor.shown) {
        EXPECT_EQ(s.peakDb, -280.0f);
        EXPECT_EQ(s.heldPeakDb, -280.0f);
        EXPECT_EQ(s.rmsDb, -280.0f);
        EXPECT_EQ(s.heldRmsDb, -280.0f);
    }
}

INSTANTIATE_TEST_SUITE_P(KFilter, RealtimeDenormals, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& i) { return i.param ? "On" : "Off"; });

// The scan above can fail: the same programme through the block loop with
// the processor's denormal modes off does leave subnormal numbers behind.
TEST(RealtimeDenormalsProbe, WithoutFlushingTheSameSilenceLeavesSubnormals) {
    auto a = b2test::make_adapter(48000.0, 512);
    a->setParamNormalized(b2::ID_K_FILTER, 1.0);
    b2::engine* e = a->get_engine();
    const unsigned int saved = _mm_getcsr();
    _mm_setcsr(saved & ~0x8040u);  // no FTZ, no DAZ
    EditorConsumer editor;
    loud_then_silence(e, editor, [&](ProcessData& d) {
        b2::process_block(e, d.inputs[0].channelBuffers32, d.outputs[0].channelBuffers32, d.numSamples);
    });
    _mm_setcsr(saved);
    EXPECT_GT(SubnormalScan(e).total, 0);  // the filter histories, among others
}

TEST(RealtimeProcess, FlushesDenormalsInsideAndRestoresTheCallersMode) {
    auto a = b2test::make_adapter(48000.0, 256);
    b2test::Block b(256, 0.5f);
    for (int i = 0; i < 50; ++i) a->process(b.data);  // the gain ramp settles at 1
    std::fill(b.in[0].begin(), b.in[0].end(), 1e-39f);  // subnormal input
    std::fill(b.in[1].begin(), b.in[1].end(), -3e-40f);
    ASSERT_EQ(std::fpclassify(b.in[0][0]), FP_SUBNORMAL);

    const unsigned int saved = _mm_getcsr();
    const unsigned int masks = 0x1F80u;  // all exceptions masked
    const unsigned int modes[] = {
        masks,                    // the usual default
        masks | 0x6000u,          // round toward zero
        masks | 0x8040u | 0x2000u,  // FTZ and DAZ already on, round down
        masks | 0x4000u | 0x0040u,  // round up, DAZ only
    };
    for (unsigned int mode : modes) {
        _mm_setcsr(mode);
        a->process(b.data);
        const unsigned int after = _mm_getcsr();
        _mm_setcsr(saved);
        EXPECT_EQ(after, mode) << std::hex << mode;
        // Subnormal input read as zero, whatever the caller's mode.
        for (int c = 0; c < 2; ++c)
            for (float v : b.out[c]) ASSERT_EQ(v, 0.0f) << std::hex << mode;
    }
}

}  // namespace
