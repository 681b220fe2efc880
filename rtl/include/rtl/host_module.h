// Host modules describe one framework instance (this runtime as one library
// sees it): its sample object, by which two instances are told apart, and the
// factories through which a plug-in of another instance reaches this one's
// logger and serial manager. TSerialMgr keeps the installed serial factory.
#pragma once

#include "rtl/ifc_object.h"
#include "rtl/logger.h"

class QObject;

namespace rtl {

// The serial-port manager's factory of a framework instance. Our plug-ins open
// their ports themselves; the factory is carried so that attaching a plug-in
// of another instance keeps the host's serial manager in charge.
class IMultiserialFactory : public IImplemented {
public:
    static constexpr Guid iid = MakeGuid("{B14C7E02-59A8-4D3F-9C61-0E8F2A7D5B39}");
    using Base = IImplemented;

protected:
    ~IMultiserialFactory() = default;
};

class TSerialMgr {
public:
    // Installs another instance's factory, or none (back to this instance's own).
    static void setMultiserialFactory(Ref<IMultiserialFactory> factory);
    // The installed factory, or this instance's own when none is installed.
    static Ref<IMultiserialFactory> multiserialFactory();
    static Ref<IMultiserialFactory> ownFactory();
};

class IHostModule : public IImplemented {
public:
    static constexpr Guid iid = MakeGuid("{C3E19A57-0B6D-4F28-B7A4-5D82E6F01C93}");
    using Base = IImplemented;

    virtual Ref<IImplemented> getObjectSample() = 0;
    virtual Ref<IMultilogFactory> multilogFactory() = 0;
    virtual Ref<IMultiserialFactory> multiserialFactory() = 0;

protected:
    ~IHostModule() = default;
};

class IGUIHostModule : public IHostModule {
public:
    static constexpr Guid iid = MakeGuid("{77EF9282-4914-414F-B21D-9D6DFEEF05FA}");
    using Base = IHostModule;

    // The application object that parents the module's dialogs.
    virtual QObject* application() = 0;

protected:
    ~IGUIHostModule() = default;
};

template <typename I> class THostModuleBase : public TLTMIfcObject<I> {
public:
    Ref<IImplemented> getObjectSample() override { return sample_; }
    Ref<IMultilogFactory> multilogFactory() override { return log_; }
    Ref<IMultiserialFactory> multiserialFactory() override { return serial_; }

protected:
    THostModuleBase(Ref<IImplemented> sample, Ref<IMultilogFactory> log,
                    Ref<IMultiserialFactory> serial)
        : sample_(std::move(sample)), log_(std::move(log)), serial_(std::move(serial)) {}

private:
    Ref<IImplemented> sample_;
    Ref<IMultilogFactory> log_;
    Ref<IMultiserialFactory> serial_;
};

class THostModule : public THostModuleBase<IHostModule> {
public:
    // This framework instance: its sample object and its own factories.
    THostModule();
    // Another instance's (tests build one to stand for a foreign framework).
    THostModule(Ref<IImplemented> sample, Ref<IMultilogFactory> log,
                Ref<IMultiserialFactory> serial);

    // The sample object of this framework instance; the same object for every
    // caller of this runtime library.
    static Ref<IImplemented> sampleInstance();
};

class TGUIHostModule : public THostModuleBase<IGUIHostModule> {
public:
    explicit TGUIHostModule(QObject* application);
    TGUIHostModule(QObject* application, Ref<IImplemented> sample, Ref<IMultilogFactory> log,
                   Ref<IMultiserialFactory> serial);
    QObject* application() override { return application_; }

private:
    QObject* application_;
};

} // namespace rtl
