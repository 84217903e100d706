#include "editor/host_run_loop.h"

#if SMTG_OS_LINUX
#include <algorithm>

namespace b2 {

using Steinberg::kResultTrue;

VSTGUI::SharedPointer<host_run_loop> host_run_loop::from_plug_frame(Steinberg::IPlugFrame* frame) {
    if (!frame) return nullptr;
    Steinberg::Linux::IRunLoop* loop = nullptr;
    if (frame->queryInterface(Steinberg::Linux::IRunLoop::iid, reinterpret_cast<void**>(&loop)) != kResultTrue ||
        !loop)
        return nullptr;
    auto adapter = VSTGUI::makeOwned<host_run_loop>(loop);
    loop->release();  // the adapter holds its own reference
    return adapter;
}

host_run_loop::host_run_loop(Steinberg::Linux::IRunLoop* l) : loop(l) {}

host_run_loop::~host_run_loop() noexcept {
    for (auto& e : events) loop->unregisterEventHandler(e);
    for (auto& t : timers) loop->unregisterTimer(t);
}

bool host_run_loop::registerEventHandler(int fd, VSTGUI::X11::IEventHandler* handler) {
    auto forward = Steinberg::owned(new event_forward);
    forward->target = handler;
    if (loop->registerEventHandler(forward, fd) != kResultTrue) return false;
    events.push_back(forward);
    return true;
}

bool host_run_loop::unregisterEventHandler(VSTGUI::X11::IEventHandler* handler) {
    auto it = std::find_if(events.begin(), events.end(), [&](auto& e) { return e->target == handler; });
    if (it == events.end()) return false;
    loop->unregisterEventHandler(*it);
    events.erase(it);
    return true;
}

bool host_run_loop::registerTimer(uint64_t interval, VSTGUI::X11::ITimerHandler* handler) {
    auto forward = Steinberg::owned(new timer_forward);
    forward->target = handler;
    if (loop->registerTimer(forward, interval) != kResultTrue) return false;
    timers.push_back(forward);
    return true;
}

bool host_run_loop::unregisterTimer(VSTGUI::X11::ITimerHandler* handler) {
    auto it = std::find_if(timers.begin(), timers.end(), [&](auto& t) { return t->target == handler; });
    if (it == timers.end()) return false;
    loop->unregisterTimer(*it);
    timers.erase(it);
    return true;
}

}  // namespace b2
#endif
