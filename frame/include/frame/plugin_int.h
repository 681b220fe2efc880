// The interfaces of a plug-in object besides its identity (rtl::IPlugin): it
// is given the host's registry (IContextAware) and is started and stopped
// (IStartable). The host drives them in this order: setContext, start, stop.
#pragma once

#include "rtl/context.h"
#include "rtl/plugin.h"

namespace frame {

using rtl::IPlugin;

class IContextAware : public rtl::IImplemented {
public:
    static constexpr rtl::Guid iid = rtl::MakeGuid("{35198F64-DC94-447B-8215-2B07FB89327F}");
    using Base = rtl::IImplemented;

    // Stores the context, replacing an earlier one.
    virtual void setContext(rtl::IContext* context) = 0;

protected:
    ~IContextAware() = default;
};

class IStartable : public rtl::IImplemented {
public:
    static constexpr rtl::Guid iid = rtl::MakeGuid("{C924465F-8496-4418-A44A-90CB55216B89}");
    using Base = rtl::IImplemented;

    virtual void start() = 0;
    virtual void stop() = 0;
    virtual bool isStarted() = 0;

protected:
    ~IStartable() = default;
};

} // namespace frame
