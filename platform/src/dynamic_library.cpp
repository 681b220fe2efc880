#include "platform/dynamic_library.h"

#include "platform/error.h"

#include <dlfcn.h>

namespace platform {

namespace {
std::string LoaderError(const std::string& fallback) {
    const char* text = dlerror();
    return text ? std::string(text) : fallback;
}
} // namespace

DynamicLibrary::DynamicLibrary(const std::string& fileName) : fileName_(fileName) {
    dlerror();
    handle_ = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_)
        throw Error(LoaderError("Cannot load " + fileName));
}

DynamicLibrary::~DynamicLibrary() {
    if (handle_)
        dlclose(handle_);
}

DynamicLibrary::DynamicLibrary(DynamicLibrary&& other) noexcept
    : handle_(other.handle_), fileName_(std::move(other.fileName_)) {
    other.handle_ = nullptr;
}

DynamicLibrary& DynamicLibrary::operator=(DynamicLibrary&& other) noexcept {
    if (this != &other) {
        if (handle_)
            dlclose(handle_);
        handle_ = other.handle_;
        fileName_ = std::move(other.fileName_);
        other.handle_ = nullptr;
    }
    return *this;
}

void* DynamicLibrary::symbol(const std::string& name) const {
    if (!handle_)
        return nullptr;
    return dlsym(handle_, name.c_str());
}

void DynamicLibrary::unload() {
    if (!handle_)
        return;
    void* h = handle_;
    handle_ = nullptr;
    dlerror();
    if (dlclose(h) != 0)
        throw Error(LoaderError("Cannot unload " + fileName_));
}

} // namespace platform
