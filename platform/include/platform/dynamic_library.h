// A shared library loaded at run time by file name or path; symbols are looked
// up by name. Failures carry the dynamic loader's own error text.
#pragma once

#include <string>

namespace platform {

class DynamicLibrary {
public:
    DynamicLibrary() = default;
    // Loads the library (search order of the system for a bare file name);
    // raises platform::Error with the loader's text when it cannot be loaded.
    explicit DynamicLibrary(const std::string& fileName);
    ~DynamicLibrary();
    DynamicLibrary(DynamicLibrary&& other) noexcept;
    DynamicLibrary& operator=(DynamicLibrary&& other) noexcept;
    DynamicLibrary(const DynamicLibrary&) = delete;
    DynamicLibrary& operator=(const DynamicLibrary&) = delete;

    bool loaded() const { return handle_ != nullptr; }
    void* handle() const { return handle_; }
    const std::string& fileName() const { return fileName_; }

    // The address of the symbol, or nullptr when the library has none by that name.
    void* symbol(const std::string& name) const;
    template <typename F> F function(const std::string& name) const {
        return reinterpret_cast<F>(symbol(name));
    }
    // Unloads now; raises platform::Error when the loader refuses.
    void unload();

private:
    void* handle_ = nullptr;
    std::string fileName_;
};

} // namespace platform
