// Module entry of riser.vst3: the class factory with its one class.
#include "plugin/plugin_ids.h"
#include "plugin/vst3_adapter.h"
#include "public.sdk/source/main/pluginfactory.h"

namespace riser {

namespace {

Steinberg::CPluginFactory* make_factory() {
    using namespace Steinberg;
    static const PFactoryInfo info(kVendor, kVendorUrl, kVendorEmail, PFactoryInfo::kUnicode);
    auto* factory = new CPluginFactory(info);
    TUID cid;
    kClassId.toTUID(cid);
    static const PClassInfo2 klass(cid, PClassInfo::kManyInstances, kCategory, kName, 0, kSubCategories, "",
                                   kVersion, kSdkVersion);
    factory->registerClass(&klass, Vst3Adapter::createInstance, const_cast<BusConfig*>(&kBusConfig));
    return factory;
}

}  // namespace

}  // namespace riser

// The first call creates the factory (safe against concurrent first use);
// every call hands out one more reference to the same factory.
SMTG_EXPORT_SYMBOL Steinberg::IPluginFactory* PLUGIN_API GetPluginFactory() {
    static Steinberg::CPluginFactory* factory = riser::make_factory();
    factory->addRef();
    return factory;
}
