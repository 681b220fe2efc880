// IPlugin, the identity every plug-in object answers, and TPlugin, the base
// that answers it: a plug-in class sets name, description and version in its
// constructor and lists the further interfaces it implements.
//
//   class TMyAdapter : public rtl::TPlugin<frame::IPBXAdapter, frame::IStartable,
//                                          frame::IContextAware> { ... };
#pragma once

#include "rtl/ifc_object.h"

#include <cstdint>
#include <string>

namespace rtl {

class IPlugin : public IImplemented {
public:
    static constexpr Guid iid = MakeGuid("{8AFC6F67-8092-49B1-B86F-F131FD9DC1E2}");
    using Base = IImplemented;

    virtual std::string pluginName() = 0;
    virtual int64_t version() = 0;
    virtual std::string description() = 0;
    virtual std::string vendor() = 0;
    virtual uint32_t vendorFlags() = 0;

protected:
    ~IPlugin() = default;
};

// `Main` is IPlugin or an interface derived from it; its IPlugin operations
// are answered here and are final.
template <typename Main = IPlugin, typename... More>
class TPlugin : public TLTMIfcObject<Main, More...> {
    static_assert(std::is_base_of_v<IPlugin, Main>, "the first interface must extend IPlugin");

public:
    std::string pluginName() final { return name_; }
    int64_t version() final { return version_; }
    std::string description() final { return description_; }
    std::string vendor() final { return vendor_; }
    uint32_t vendorFlags() final { return vendorFlags_; }

protected:
    void setName(std::string name) { name_ = std::move(name); }
    void setDescription(std::string text) { description_ = std::move(text); }
    void setVersion(int64_t version) { version_ = version; }
    void setVendor(std::string vendor, uint32_t flags = 0) {
        vendor_ = std::move(vendor);
        vendorFlags_ = flags;
    }

private:
    std::string name_;
    std::string description_;
    std::string vendor_;
    int64_t version_ = 0;
    uint32_t vendorFlags_ = 0;
};

} // namespace rtl
