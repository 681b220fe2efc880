#include "rtl/host_module.h"

#include <mutex>

namespace rtl {

namespace {

class TSampleObject : public TLTMIfcObject<IImplemented> {};
class TOwnSerialFactory : public TLTMIfcObject<IMultiserialFactory> {};

template <typename T, typename I> I* ProcessLifeObject() {
    auto* object = new T;
    object->addRef(); // kept for the process's life
    return object;
}

struct SerialState {
    std::mutex mutex;
    Ref<IMultiserialFactory> installed;
};
SerialState& Serial() {
    static SerialState* state = new SerialState;
    return *state;
}

} // namespace

Ref<IImplemented> THostModule::sampleInstance() {
    static IImplemented* sample = ProcessLifeObject<TSampleObject, IImplemented>();
    return Ref<IImplemented>(sample);
}

THostModule::THostModule()
    : THostModuleBase(sampleInstance(), TLogger::ownFactory(), TSerialMgr::ownFactory()) {}

THostModule::THostModule(Ref<IImplemented> sample, Ref<IMultilogFactory> log,
                         Ref<IMultiserialFactory> serial)
    : THostModuleBase(std::move(sample), std::move(log), std::move(serial)) {}

TGUIHostModule::TGUIHostModule(QObject* application)
    : THostModuleBase(THostModule::sampleInstance(), TLogger::ownFactory(),
                      TSerialMgr::ownFactory()),
      application_(application) {}

TGUIHostModule::TGUIHostModule(QObject* application, Ref<IImplemented> sample,
                               Ref<IMultilogFactory> log, Ref<IMultiserialFactory> serial)
    : THostModuleBase(std::move(sample), std::move(log), std::move(serial)),
      application_(application) {}

Ref<IMultiserialFactory> TSerialMgr::ownFactory() {
    static IMultiserialFactory* own = ProcessLifeObject<TOwnSerialFactory, IMultiserialFactory>();
    return Ref<IMultiserialFactory>(own);
}

void TSerialMgr::setMultiserialFactory(Ref<IMultiserialFactory> factory) {
    if (factory && SameObject(factory.get(), ownFactory().get()))
        factory.reset();
    Ref<IMultiserialFactory> old;
    std::lock_guard lock(Serial().mutex);
    old = std::exchange(Serial().installed, std::move(factory));
}

Ref<IMultiserialFactory> TSerialMgr::multiserialFactory() {
    {
        std::lock_guard lock(Serial().mutex);
        if (Serial().installed)
            return Serial().installed;
    }
    return ownFactory();
}

} // namespace rtl
