// Reference-counted interfaces with GUID identities, and Ref<T>, the one smart
// pointer through which references are held. Every interface derives from
// IImplemented; each declares `static constexpr Guid iid` and `using Base = ...`
// (its parent interface), which is what queries walk.
#pragma once

#include "rtl/guid.h"

#include <cstdint>
#include <string>
#include <utility>

namespace rtl {

class TLTMObject;

// The reference-counting operations every interface begins with. Not used
// directly: hold references with Ref<T> and ask with Query<T>.
class IInterface {
public:
    // On success *out holds a new reference to the view supporting `iid`.
    virtual bool queryInterface(const Guid& iid, void** out) = 0;
    virtual uint32_t addRef() = 0;
    virtual uint32_t release() = 0;

protected:
    ~IInterface() = default;
};

class IImplemented : public IInterface {
public:
    static constexpr Guid iid = MakeGuid("{8E7C2C52-3E0B-4F4A-9B44-6C5A1E2D9F10}");
    using Base = IInterface;

    // The object behind the interface; two views of one object give the same one.
    virtual TLTMObject* implementor() = 0;
    virtual std::string toString() = 0;

protected:
    ~IImplemented() = default;
};

// An owning reference to an interface or to a reference-counted object.
// Copying adds a reference, destruction and reset() drop it; raw pointers given
// to the constructor are adopted with a new reference (objects start at zero).
template <typename T> class Ref {
public:
    Ref() = default;
    Ref(std::nullptr_t) {}
    explicit Ref(T* p) : p_(p) {
        if (p_)
            p_->addRef();
    }
    Ref(const Ref& other) : Ref(other.p_) {}
    Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    template <typename U>
    requires std::is_convertible_v<U*, T*> Ref(const Ref<U>& other)
        : Ref(static_cast<T*>(other.get())) {}
    template <typename U>
    requires std::is_convertible_v<U*, T*> Ref(Ref<U>&& other)
    noexcept : p_(other.detach()) {}
    ~Ref() { reset(); }

    Ref& operator=(Ref other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }

    void reset() {
        if (T* p = std::exchange(p_, nullptr))
            p->release();
    }
    // Takes over a reference that was already counted for the caller (the out
    // value of queryInterface).
    static Ref adopt(T* p) {
        Ref r;
        r.p_ = p;
        return r;
    }
    // Gives up the reference without releasing it.
    T* detach() { return std::exchange(p_, nullptr); }

    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T& operator*() const { return *p_; }
    explicit operator bool() const { return p_ != nullptr; }

    friend bool operator==(const Ref& a, const Ref& b) { return a.p_ == b.p_; }
    friend bool operator==(const Ref& a, std::nullptr_t) { return a.p_ == nullptr; }

private:
    T* p_ = nullptr;
};

// The view of `object` supporting interface I, or an empty Ref.
template <typename I, typename S> Ref<I> Query(S* object) {
    if (!object)
        return {};
    void* out = nullptr;
    if (!object->queryInterface(I::iid, &out) || !out)
        return {};
    return Ref<I>::adopt(static_cast<I*>(out));
}
template <typename I, typename S> Ref<I> Query(const Ref<S>& object) {
    return Query<I>(object.get());
}

// True when both views belong to one object (also when both are empty).
bool SameObject(IImplemented* a, IImplemented* b);

} // namespace rtl
