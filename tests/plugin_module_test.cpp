// riser.vst3 as a host sees it: the module entry points, the factory and the
// class record, loaded from the built bundle.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <climits>
#include <cstring>
#include <string>

#include "plugin/plugin_ids.h"
#include "pluginterfaces/base/ipluginbase.h"
#include "pluginterfaces/vst/ivstaudioprocessor.h"
#include "pluginterfaces/vst/ivstcomponent.h"
#include "pluginterfaces/vst/ivstunits.h"

using namespace Steinberg;

namespace {

struct Module {
    void* handle = nullptr;
    bool (*entry)(void*) = nullptr;
    bool (*exit)() = nullptr;
    IPluginFactory* (*factory)() = nullptr;

    Module() {
        const std::string path = std::string(RISER_BUNDLE_PATH) + "/Contents/x86_64-linux/riser.so";
        handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) return;
        entry = reinterpret_cast<bool (*)(void*)>(dlsym(handle, "ModuleEntry"));
        exit = reinterpret_cast<bool (*)()>(dlsym(handle, "ModuleExit"));
        factory = reinterpret_cast<IPluginFactory* (*)()>(dlsym(handle, "GetPluginFactory"));
    }
};

Module& module() {
    static Module m;  // stays loaded for the whole test program
    return m;
}

}  // namespace

TEST(PluginModule, EntryPointsCountTheirCalls) {
    Module& m = module();
    ASSERT_NE(m.handle, nullptr) << dlerror();
    ASSERT_TRUE(m.entry && m.exit && m.factory);
    EXPECT_TRUE(m.entry(m.handle));
    EXPECT_TRUE(m.entry(m.handle));
    EXPECT_TRUE(m.exit());
    EXPECT_TRUE(m.exit());
    EXPECT_FALSE(m.exit());  // more exits than entries
    EXPECT_TRUE(m.entry(m.handle));  // back to balance: count 0 -> 1
}

TEST(PluginModule, FactoryAndClassRecords) {
    Module& m = module();
    ASSERT_TRUE(m.factory);
    IPluginFactory* f1 = m.factory();
    IPluginFactory* f2 = m.factory();
    ASSERT_NE(f1, nullptr);
    EXPECT_EQ(f1, f2);
    const uint32 refs = f1->addRef();
    EXPECT_EQ(f1->release(), refs - 1);

    PFactoryInfo info{};
    ASSERT_EQ(f1->getFactoryInfo(&info), kResultOk);
    EXPECT_STREQ(info.vendor, "Corvid Signal LLC");
    EXPECT_EQ(info.flags, PFactoryInfo::kUnicode);
    EXPECT_EQ(f1->countClasses(), 1);

    IPluginFactory2* f2x = nullptr;
    ASSERT_EQ(f1->queryInterface(IPluginFactory2::iid, reinterpret_cast<void**>(&f2x)), kResultOk);
    PClassInfo2 ci{};
    ASSERT_EQ(f2x->getClassInfo2(0, &ci), kResultOk);
    EXPECT_STREQ(ci.category, "Audio Module Class");
    EXPECT_STREQ(ci.name, "Riser");
    EXPECT_STREQ(ci.subCategories, "Fx|Analyzer");
    EXPECT_STREQ(ci.version, "1.0.1");
    EXPECT_STREQ(ci.sdkVersion, "VST 3.7.4");
    EXPECT_STREQ(ci.vendor, "");
    EXPECT_EQ(ci.cardinality, PClassInfo::kManyInstances);
    EXPECT_EQ(ci.classFlags, 0u);
    TUID cid;
    riser::kClassId.toTUID(cid);
    EXPECT_EQ(std::memcmp(ci.cid, cid, sizeof cid), 0);

    // An instance answers both the component and the processor interface.
    Vst::IComponent* component = nullptr;
    ASSERT_EQ(f1->createInstance(ci.cid, Vst::IComponent::iid, reinterpret_cast<void**>(&component)), kResultOk);
    Vst::IAudioProcessor* processor = nullptr;
    EXPECT_EQ(component->queryInterface(Vst::IAudioProcessor::iid, reinterpret_cast<void**>(&processor)), kResultOk);
    processor->release();
    component->release();
    f2x->release();
    f1->release();
    f2->release();
}

TEST(PluginModule, BadFactoryRequestsAreRefused) {
    Module& m = module();
    ASSERT_TRUE(m.factory);
    IPluginFactory* f = m.factory();
    ASSERT_NE(f, nullptr);
    IPluginFactory3* f3 = nullptr;
    ASSERT_EQ(f->queryInterface(IPluginFactory3::iid, reinterpret_cast<void**>(&f3)), kResultOk);
    PClassInfo ci{};
    PClassInfo2 ci2{};
    PClassInfoW ciw{};
    for (int32 index : {1, -1, INT32_MIN}) {
        EXPECT_EQ(f3->getClassInfo(index, &ci), kInvalidArgument) << index;
        EXPECT_EQ(f3->getClassInfo2(index, &ci2), kInvalidArgument) << index;
        EXPECT_EQ(f3->getClassInfoUnicode(index, &ciw), kInvalidArgument) << index;
    }
    EXPECT_EQ(f3->getClassInfo2(0, nullptr), kInvalidArgument);

    TUID cid;
    riser::kClassId.toTUID(cid);
    TUID unknown = {};
    void* obj = &obj;
    EXPECT_NE(f->createInstance(nullptr, Vst::IComponent::iid, &obj), kResultOk);
    EXPECT_EQ(obj, nullptr);
    EXPECT_NE(f->createInstance(cid, nullptr, &obj), kResultOk);
    EXPECT_NE(f->createInstance(cid, Vst::IComponent::iid, nullptr), kResultOk);
    obj = &obj;
    EXPECT_EQ(f->createInstance(unknown, Vst::IComponent::iid, &obj), kNoInterface);
    EXPECT_EQ(obj, nullptr);
    EXPECT_NE(f->queryInterface(IPluginFactory2::iid, nullptr), kResultOk);

    // An instance asked for with a null result pointer is not leaked or written.
    Vst::IComponent* component = nullptr;
    ASSERT_EQ(f->createInstance(cid, Vst::IComponent::iid, reinterpret_cast<void**>(&component)), kResultOk);
    EXPECT_NE(component->queryInterface(Vst::IAudioProcessor::iid, nullptr), kResultOk);
    EXPECT_NE(component->queryInterface(Vst::IUnitInfo::iid, nullptr), kResultOk);
    component->release();
    f3->release();
    f->release();
}
