// The host's state calls as real hosts make them: a stream that stalls (a slow
// disk) while the audio thread runs, a stream that answers an error at its
// end, and a state saved right after an editor edit with no process call.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/engine.h"
#include "engine/value_format.h"
#include "tests/byte_stream.h"
#include "tests/plugin_host.h"

using namespace Steinberg;
using namespace Steinberg::Vst;
using b2test::Block;
using b2test::ByteStream;
using b2test::make_adapter;

namespace {

// A stream whose reads and writes wait inside the call until the test opens
// the gate, like a host writing a project to a slow network share.
class GateStream : public ByteStream {
public:
    using ByteStream::ByteStream;
    tresult PLUGIN_API read(void* buffer, int32 n, int32* done) override {
        pass_gate();
        return ByteStream::read(buffer, n, done);
    }
    tresult PLUGIN_API write(void* buffer, int32 n, int32* done) override {
        pass_gate();
        return ByteStream::write(buffer, n, done);
    }
    bool wait_entered() {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(60), [&] { return entered; });
    }
    void open() {
        std::lock_guard<std::mutex> lock(mutex);
        is_open = true;
        changed.notify_all();
    }

private:
    void pass_gate() {
        std::unique_lock<std::mutex> lock(mutex);
        entered = true;
        changed.notify_all();
        changed.wait(lock, [&] { return is_open; });
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool entered = false;
    bool is_open = false;
};

// Runs process calls on an audio thread while `state_call` is stuck inside
// the stream; true when `calls` of them completed meanwhile. The limit is
// generous: only a process call that waits for the stream can miss it.
template <typename StateCall>
bool audio_runs_while_the_stream_stalls(riser::Vst3Adapter* a, GateStream& stream, StateCall state_call) {
    std::thread host(state_call);
    const bool entered = stream.wait_entered();
    std::atomic<int> completed{0};
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        Block b(64, 0.25f);
        while (!stop.load()) {
            a->process(b.data);
            completed.fetch_add(1);
        }
    });
    constexpr int calls = 200;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (completed.load() < calls && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const bool kept_running = completed.load() >= calls;
    stream.open();
    host.join();
    stop.store(true);
    audio.join();
    return entered && kept_running;
}

std::vector<uint8_t> state_of(riser::Vst3Adapter* a) {
    ByteStream s;
    EXPECT_EQ(a->getState(&s), kResultOk);
    return s.bytes;
}

float global(riser::Vst3Adapter* a, int id) { return b2::global_value(a->get_engine(), id); }

// Counts the edit gestures that reach the host.
class CountingHandler : public IComponentHandler {
public:
    std::vector<std::pair<ParamID, ParamValue>> performed;
    tresult PLUGIN_API beginEdit(ParamID) override { return kResultOk; }
    tresult PLUGIN_API performEdit(ParamID id, ParamValue v) override {
        performed.emplace_back(id, v);
        return kResultOk;
    }
    tresult PLUGIN_API endEdit(ParamID) override { return kResultOk; }
    tresult PLUGIN_API restartComponent(int32) override { return kResultOk; }
    tresult PLUGIN_API queryInterface(const TUID, void** obj) override {
        *obj = nullptr;
        return kNoInterface;
    }
    uint32 PLUGIN_API addRef() override { return 1; }
    uint32 PLUGIN_API release() override { return 1; }
};

}  // namespace

TEST(PluginStateIo, ProcessKeepsRunningWhileGetStateWaitsForTheHostsDisk) {
    auto a = make_adapter();
    a->setParamNormalized(5, 1.0);  // RMS Window 3000 ms
    GateStream stream;
    tresult result = kInternalError;
    EXPECT_TRUE(audio_runs_while_the_stream_stalls(a.get(), stream, [&] { result = a->getState(&stream); }));
    EXPECT_EQ(result, kResultOk);
    EXPECT_EQ(stream.bytes, state_of(a.get()));
}

TEST(PluginStateIo, ProcessKeepsRunningWhileSetStateWaitsForTheHostsDisk) {
    auto source = make_adapter();
    source->setParamNormalized(5, 1.0);
    auto a = make_adapter();
    GateStream stream(state_of(source.get()));
    tresult result = kInternalError;
    EXPECT_TRUE(audio_runs_while_the_stream_stalls(a.get(), stream, [&] { result = a->setState(&stream); }));
    EXPECT_EQ(result, kResultOk);
    EXPECT_EQ(global(a.get(), b2::ID_RMS_WINDOW), 3000.0f);
}

TEST(PluginStateIo, AStreamAnsweringFalseAtItsEndLoadsInFull) {
    auto source = make_adapter();
    source->setParamNormalized(5, 1.0);
    source->setParamNormalized(16, 1.0);  // "K Filter", the last record
    auto a = make_adapter();
    ByteStream s(state_of(source.get()));
    s.false_on_short_read = true;
    EXPECT_EQ(a->setState(&s), kResultOk);
    EXPECT_EQ(global(a.get(), b2::ID_RMS_WINDOW), 3000.0f);
    EXPECT_EQ(global(a.get(), b2::ID_K_FILTER), 1.0f);

    // The same stream answering false with nothing in it could not be read.
    ByteStream empty;
    empty.false_on_short_read = true;
    EXPECT_EQ(a->setState(&empty), kResultFalse);
    EXPECT_EQ(global(a.get(), b2::ID_RMS_WINDOW), 3000.0f);
}

TEST(PluginStateIo, AStateLongerThanOneReadLoadsWhole) {
    // Fifty default states and then one with "RMS Window" at 3000 ms, joined
    // into one stream of several kilobytes: the records at its end count.
    auto defaults = make_adapter();
    auto source = make_adapter();
    source->setParamNormalized(5, 1.0);
    std::vector<uint8_t> joined;
    for (int i = 0; i < 50; ++i) {
        const std::vector<uint8_t> one = state_of(defaults.get());
        joined.insert(joined.end(), one.begin(), one.end());
    }
    const std::vector<uint8_t> last = state_of(source.get());
    joined.insert(joined.end(), last.begin(), last.end());
    ASSERT_GT(joined.size(), 4096u);  // more than one read of the host stream
    auto a = make_adapter();
    ByteStream s(joined);
    EXPECT_EQ(a->setState(&s), kResultOk);
    EXPECT_EQ(global(a.get(), b2::ID_RMS_WINDOW), 3000.0f);
}

TEST(PluginEdits, AnEditorEditIsTheInstancesValueBeforeAnyProcessCall) {
    auto a = make_adapter();
    CountingHandler handler;
    a->setComponentHandler(&handler);
    b2::engine* e = a->get_engine();

    b2::perform_edit(e, b2::ID_GAIN, 12.0f);
    b2::perform_edit(e, b2::ID_K_FILTER, 1.0f);
    const double gain = b2::to_normalized(b2::ID_GAIN, 12.0f);
    EXPECT_DOUBLE_EQ(a->getParamNormalized(b2::ID_GAIN), gain);
    EXPECT_EQ(a->getParamNormalized(b2::ID_K_FILTER), 1.0);
    ASSERT_EQ(handler.performed.size(), 2u);
    EXPECT_EQ(handler.performed[0].first, static_cast<ParamID>(b2::ID_GAIN));
    EXPECT_DOUBLE_EQ(handler.performed[0].second, gain);

    // A project saved now keeps the edit.
    auto reloaded = make_adapter();
    ByteStream s(state_of(a.get()));
    EXPECT_EQ(reloaded->setState(&s), kResultOk);
    EXPECT_NEAR(global(reloaded.get(), b2::ID_GAIN), 12.0f, 1e-4f);
    EXPECT_EQ(global(reloaded.get(), b2::ID_K_FILTER), 1.0f);

    // The host's echo through process leaves it as it is.
    ParameterChanges changes(1);
    int32 index = 0;
    changes.addParameterData(b2::ID_GAIN, index)->addPoint(0, gain, index);
    Block b(64, 0.5f);
    b.data.inputParameterChanges = &changes;
    a->process(b.data);
    EXPECT_NEAR(global(a.get(), b2::ID_GAIN), 12.0f, 1e-4f);

    // Values no host parameter can hold never reach the instance.
    b2::perform_edit(e, b2::ID_SMOOTH, 0.9f);
    EXPECT_EQ(global(a.get(), b2::ID_SMOOTH), 0.1f);
    a->setComponentHandler(nullptr);
}
