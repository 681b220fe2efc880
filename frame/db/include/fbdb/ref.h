// One owning pointer for every reference-counted Firebird interface
// (attachment, transaction, statement, result set, blob, metadata, provider):
// it holds one reference and releases it when it goes.
#pragma once

#include <utility>

namespace fbdb {

template <class T> class Ref {
public:
    Ref() noexcept = default;
    // Takes over a reference the caller owns (what the API hands out).
    explicit Ref(T* adopted) noexcept : p_(adopted) {}
    Ref(const Ref& other) noexcept : p_(other.p_) {
        if (p_)
            p_->addRef();
    }
    Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
    Ref& operator=(Ref other) noexcept {
        std::swap(p_, other.p_);
        return *this;
    }
    ~Ref() { reset(); }

    void reset() noexcept {
        if (T* p = std::exchange(p_, nullptr))
            p->release();
    }
    // A successful commit, rollback, detach, drop, close or free releases the
    // interface itself: forget the pointer without releasing it a second time.
    void abandon() noexcept { p_ = nullptr; }

    T* get() const noexcept { return p_; }
    T* operator->() const noexcept { return p_; }
    explicit operator bool() const noexcept { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

} // namespace fbdb
