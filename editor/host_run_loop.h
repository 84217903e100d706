// On Linux a plug-in window has no event loop of its own: the host lends its
// run loop through the IPlugFrame. This adapter hands it to VSTGUI's X11 back
// end as the frame's configuration.
#pragma once

#include "pluginterfaces/gui/iplugview.h"
#include "vstgui/lib/vstguibase.h"

#if SMTG_OS_LINUX
#include <vector>

#include "base/source/fobject.h"
#include "vstgui/lib/platform/platform_x11.h"

namespace b2 {

class host_run_loop : public VSTGUI::X11::IRunLoop, public VSTGUI::AtomicReferenceCounted {
public:
    // Null when the host frame offers no run loop.
    static VSTGUI::SharedPointer<host_run_loop> from_plug_frame(Steinberg::IPlugFrame* frame);

    bool registerEventHandler(int fd, VSTGUI::X11::IEventHandler* handler) override;
    bool unregisterEventHandler(VSTGUI::X11::IEventHandler* handler) override;
    bool registerTimer(uint64_t interval, VSTGUI::X11::ITimerHandler* handler) override;
    bool unregisterTimer(VSTGUI::X11::ITimerHandler* handler) override;

    explicit host_run_loop(Steinberg::Linux::IRunLoop* loop);
    ~host_run_loop() noexcept override;

private:

    // The host calls these; each forwards to one VSTGUI handler.
    struct event_forward : Steinberg::Linux::IEventHandler, Steinberg::FObject {
        VSTGUI::X11::IEventHandler* target = nullptr;
        void PLUGIN_API onFDIsSet(Steinberg::Linux::FileDescriptor) override {
            if (target) target->onEvent();
        }
        DELEGATE_REFCOUNT(Steinberg::FObject)
        DEFINE_INTERFACES
            DEF_INTERFACE(Steinberg::Linux::IEventHandler)
        END_DEFINE_INTERFACES(Steinberg::FObject)
    };
    struct timer_forward : Steinberg::Linux::ITimerHandler, Steinberg::FObject {
        VSTGUI::X11::ITimerHandler* target = nullptr;
        void PLUGIN_API onTimer() override {
            if (target) target->onTimer();
        }
        DELEGATE_REFCOUNT(Steinberg::FObject)
        DEFINE_INTERFACES
            DEF_INTERFACE(Steinberg::Linux::ITimerHandler)
        END_DEFINE_INTERFACES(Steinberg::FObject)
    };

    Steinberg::IPtr<Steinberg::Linux::IRunLoop> loop;
    std::vector<Steinberg::IPtr<event_forward>> events;
    std::vector<Steinberg::IPtr<timer_forward>> timers;
};

}  // namespace b2
#endif
