// Module entry of riser.vst3: the class factory with its one class.
#include <mutex>
#include <new>

#include "plugin/plugin_ids.h"
#include "plugin/vst3_adapter.h"
#include "public.sdk/source/main/pluginfactory.h"

namespace riser {

namespace {

// The SDK's factory, refusing null arguments that it would dereference.
class Factory : public Steinberg::CPluginFactory {
public:
    using CPluginFactory::CPluginFactory;
    Steinberg::tresult PLUGIN_API createInstance(Steinberg::FIDString cid, Steinberg::FIDString iid,
                                                 void** obj) override {
        if (!obj) return Steinberg::kInvalidArgument;
        if (!cid || !iid) {
            *obj = nullptr;
            return Steinberg::kInvalidArgument;
        }
        return CPluginFactory::createInstance(cid, iid, obj);
    }
    Steinberg::tresult PLUGIN_API queryInterface(const Steinberg::TUID iid, void** obj) override {
        if (!obj) return Steinberg::kInvalidArgument;
        return CPluginFactory::queryInterface(iid, obj);
    }
};

Steinberg::CPluginFactory* make_factory() {
    using namespace Steinberg;
    static const PFactoryInfo info(kVendor, kVendorUrl, kVendorEmail, PFactoryInfo::kUnicode);
    auto* factory = new (std::nothrow) Factory(info);
    if (!factory) return nullptr;
    TUID cid;
    kClassId.toTUID(cid);
    static const PClassInfo2 klass(cid, PClassInfo::kManyInstances, kCategory, kName, 0, kSubCategories, "",
                                   kVersion, kSdkVersion);
    factory->registerClass(&klass, Vst3Adapter::createInstance, const_cast<BusConfig*>(&kBusConfig));
    return factory;
}

}  // namespace

}  // namespace riser

namespace {
std::mutex g_factory_mutex;
}

// The first call creates the factory; later calls hand out one more reference
// to the same factory while any host still holds it. The last release deletes
// it (the SDK's factory then clears gPluginFactory), so nothing outlives the
// module. The mutex makes concurrent first calls safe.
SMTG_EXPORT_SYMBOL Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory() {
    std::lock_guard<std::mutex> guard(g_factory_mutex);
    if (!Steinberg::gPluginFactory)
        Steinberg::gPluginFactory = riser::make_factory();
    else
        Steinberg::gPluginFactory->addRef();
    return Steinberg::gPluginFactory;
}
