#include "rtl/ifc_object.h"

#include <cxxabi.h>

#include <cstdlib>
#include <memory>

namespace rtl {

std::string ClassName(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, void (*)(void*)> demangled(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), std::free);
    std::string name = status == 0 && demangled ? demangled.get() : type.name();
    // Drop the namespaces of the outer name only: template arguments keep theirs.
    const size_t angle = name.find('<');
    const size_t scope = name.rfind("::", angle);
    if (scope != std::string::npos)
        name.erase(0, scope + 2);
    return name;
}

bool SameObject(IImplemented* a, IImplemented* b) {
    if (!a || !b)
        return a == b;
    return a->implementor() == b->implementor();
}

} // namespace rtl
