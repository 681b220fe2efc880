// TLTMIfcObject<Interfaces...>: the reference-counted base of every object that
// implements interfaces. It answers the reference counting, the queries for each
// listed interface and its parents, `implementor` and `toString` (the class
// name unless overridden). Objects are freed with their last reference.
#pragma once

#include "rtl/interface.h"

#include <atomic>
#include <string>
#include <type_traits>

namespace rtl {

// The class name of a polymorphic object's dynamic type, without namespaces
// ("rtl::TContext" gives "TContext").
std::string ClassName(const std::type_info& type);

// The non-template part: the counter and the identity that `implementor` gives.
class TLTMObject {
public:
    TLTMObject() = default;
    TLTMObject(const TLTMObject&) = delete;
    TLTMObject& operator=(const TLTMObject&) = delete;

    uint32_t referenceCount() const { return refs_.load(std::memory_order_relaxed); }
    std::string className() const { return ClassName(typeid(*this)); }

protected:
    virtual ~TLTMObject() = default;
    uint32_t addRefImpl() { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
    uint32_t releaseImpl() {
        const uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
        if (left == 0)
            delete this;
        return left;
    }

private:
    std::atomic<uint32_t> refs_{0};
};

namespace detail {
// Walks I and its parents (I::Base ...) looking for `iid`.
template <typename I> bool Supports(const Guid& iid) {
    if constexpr (std::is_same_v<I, IInterface>) {
        return false;
    } else {
        return I::iid == iid || Supports<typename I::Base>(iid);
    }
}
} // namespace detail

template <typename First, typename... Rest>
class TLTMIfcObject : public TLTMObject, public First, public Rest... {
public:
    bool queryInterface(const Guid& iid, void** out) override {
        *out = nullptr;
        if (iid == IImplemented::iid) {
            *out = static_cast<IImplemented*>(static_cast<First*>(this));
        } else {
            find<First, Rest...>(iid, out);
        }
        if (*out)
            addRefImpl();
        return *out != nullptr;
    }
    uint32_t addRef() override { return addRefImpl(); }
    uint32_t release() override { return releaseImpl(); }
    TLTMObject* implementor() override { return this; }
    std::string toString() override { return className(); }

private:
    template <typename I, typename... More> void find(const Guid& iid, void** out) {
        if (detail::Supports<I>(iid)) {
            *out = static_cast<I*>(this);
            return;
        }
        if constexpr (sizeof...(More) > 0)
            find<More...>(iid, out);
    }
};

// Creates a reference-counted object and holds its first reference.
template <typename T, typename... Args> Ref<T> MakeRef(Args&&... args) {
    return Ref<T>(new T(std::forward<Args>(args)...));
}

} // namespace rtl
