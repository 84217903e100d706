// Vst3Adapter: the plug-in object, both audio processor and edit controller.
// It turns the host's calls into engine operations and script hooks.
#pragma once

#include <atomic>

#include "engine/engine.h"
#include "plugin/plugin_ids.h"
#include "pluginterfaces/vst/ivstmidicontrollers.h"
#include "pluginterfaces/vst/ivstnoteexpression.h"
#include "public.sdk/source/vst/vstsinglecomponenteffect.h"

namespace riser {

class Vst3Adapter : public Steinberg::Vst::SingleComponentEffect,
                    public Steinberg::Vst::IMidiMapping,
                    public Steinberg::Vst::INoteExpressionController,
                    public b2::host_adapter {
public:
    using tresult = Steinberg::tresult;
    using ParamID = Steinberg::Vst::ParamID;
    using ParamValue = Steinberg::Vst::ParamValue;

    explicit Vst3Adapter(const BusConfig* config);
    ~Vst3Adapter() override;

    b2::engine* get_engine() const { return engine; }

    // IComponent / IPluginBase
    tresult PLUGIN_API initialize(Steinberg::FUnknown* context) override;
    tresult PLUGIN_API terminate() override;
    tresult PLUGIN_API setState(Steinberg::IBStream* state) override;
    tresult PLUGIN_API getState(Steinberg::IBStream* state) override;
    // Bus queries check the index before the SDK's lists see it.
    tresult PLUGIN_API getBusInfo(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir,
                                  Steinberg::int32 index, Steinberg::Vst::BusInfo& info) override;
    tresult PLUGIN_API activateBus(Steinberg::Vst::MediaType type, Steinberg::Vst::BusDirection dir,
                                   Steinberg::int32 index, Steinberg::TBool state) override;

    // IAudioProcessor
    tresult PLUGIN_API setBusArrangements(Steinberg::Vst::SpeakerArrangement* inputs, Steinberg::int32 numIns,
                                          Steinberg::Vst::SpeakerArrangement* outputs,
                                          Steinberg::int32 numOuts) override;
    tresult PLUGIN_API getBusArrangement(Steinberg::Vst::BusDirection dir, Steinberg::int32 index,
                                         Steinberg::Vst::SpeakerArrangement& arr) override;
    tresult PLUGIN_API canProcessSampleSize(Steinberg::int32 symbolicSampleSize) override;
    tresult PLUGIN_API setupProcessing(Steinberg::Vst::ProcessSetup& setup) override;
    tresult PLUGIN_API setProcessing(Steinberg::TBool state) override;
    tresult PLUGIN_API process(Steinberg::Vst::ProcessData& data) override;
    Steinberg::uint32 PLUGIN_API getTailSamples() override { return 0; }
    Steinberg::uint32 PLUGIN_API getProcessContextRequirements() override;

    // IEditController
    tresult PLUGIN_API setComponentState(Steinberg::IBStream*) override { return Steinberg::kNotImplemented; }
    tresult PLUGIN_API getParameterInfo(Steinberg::int32 paramIndex, Steinberg::Vst::ParameterInfo& info) override;
    tresult PLUGIN_API getParamStringByValue(ParamID id, ParamValue valueNormalized,
                                             Steinberg::Vst::String128 string) override;
    tresult PLUGIN_API getParamValueByString(ParamID id, Steinberg::Vst::TChar* string,
                                             ParamValue& valueNormalized) override;
    ParamValue PLUGIN_API getParamNormalized(ParamID id) override;
    tresult PLUGIN_API setParamNormalized(ParamID id, ParamValue value) override;
    Steinberg::IPlugView* PLUGIN_API createView(Steinberg::FIDString name) override;

    // IEditController2
    tresult PLUGIN_API openHelp(Steinberg::TBool) override { return Steinberg::kResultFalse; }
    tresult PLUGIN_API openAboutBox(Steinberg::TBool) override { return Steinberg::kResultFalse; }

    // IUnitInfo
    Steinberg::int32 PLUGIN_API getUnitCount() override { return 1; }
    tresult PLUGIN_API getUnitInfo(Steinberg::int32 unitIndex, Steinberg::Vst::UnitInfo& info) override;

    // IMidiMapping (implemented, not exposed by queryInterface)
    tresult PLUGIN_API getMidiControllerAssignment(Steinberg::int32 busIndex, Steinberg::int16 channel,
                                                   Steinberg::Vst::CtrlNumber midiControllerNumber,
                                                   ParamID& id) override;

    // INoteExpressionController (implemented, not exposed by queryInterface)
    Steinberg::int32 PLUGIN_API getNoteExpressionCount(Steinberg::int32 busIndex, Steinberg::int16 channel) override;
    tresult PLUGIN_API getNoteExpressionInfo(Steinberg::int32 busIndex, Steinberg::int16 channel,
                                             Steinberg::int32 noteExpressionIndex,
                                             Steinberg::Vst::NoteExpressionTypeInfo& info) override;
    tresult PLUGIN_API getNoteExpressionStringByValue(Steinberg::int32 busIndex, Steinberg::int16 channel,
                                                      Steinberg::Vst::NoteExpressionTypeID id,
                                                      Steinberg::Vst::NoteExpressionValue valueNormalized,
                                                      Steinberg::Vst::String128 string) override;
    tresult PLUGIN_API getNoteExpressionValueByString(Steinberg::int32 busIndex, Steinberg::int16 channel,
                                                      Steinberg::Vst::NoteExpressionTypeID id,
                                                      const Steinberg::Vst::TChar* string,
                                                      Steinberg::Vst::NoteExpressionValue& valueNormalized) override;

    // b2::host_adapter: the editor's gestures, passed to the host.
    void begin_edit(int id) override;
    void perform_edit(int id, double normalized) override;
    void end_edit(int id) override;
    // The loudness settings changed: the host's IComponentHandler2::setDirty.
    void state_changed() override;

    // FUnknown
    tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override;
    REFCOUNT_METHODS(SingleComponentEffect)

    static Steinberg::FUnknown* createInstance(void* context);

private:
    void register_parameters();
    // Lets the editor made by createView go: it no longer touches the engine.
    void drop_view();
    void create_buses();
    void read_host_name(Steinberg::FUnknown* context);
    void queue_input_events(Steinberg::Vst::IEventList* events);
    void queue_parameter_changes(Steinberg::Vst::IParameterChanges* changes, Steinberg::int32 samples);
    void copy_transport(const Steinberg::Vst::ProcessContext* context);
    void send_output_events(Steinberg::Vst::IEventList* out);
    static void pass_audio_through(float* const* inputs, float* const* outputs, Steinberg::int32 samples);
    static void pass_through_events(Steinberg::Vst::IEventList* in, Steinberg::Vst::IEventList* out);

    b2::engine* engine = nullptr;
    // The last editor createView made, with a reference of ours, so it can be
    // told to let go of the engine before the engine goes (terminate, release,
    // a second initialize). The editor holds no reference to the instance.
    Steinberg::IPlugView* view = nullptr;
    const BusConfig* bus_config = nullptr;
    double last_sample_rate = 0;  // for process calls without a process context
    // Set once setupProcessing has wired the current engine's strips; until
    // then process passes the audio through.
    std::atomic<bool> prepared{false};
};

}  // namespace riser
