// Load and unload steps of libVarnel.so. Explicit constructor/destructor functions
// keep the order under control: the Qt core application must exist before the first
// Qt object, and at dlclose the timer, the transport and then the queues go in turn.
#include "export_support.h"

#include "platform/application.h"

#include <cstdlib>
#include <cstring>

namespace varnel {

namespace {
LinkContext* theLink = nullptr;
} // namespace

LinkContext* TheLink() {
    return theLink;
}

void SetOutText(char** out, const std::string& text) {
    if (!out)
        return;
    auto* copy = static_cast<char*>(std::malloc(text.size() + 1));
    if (!copy)
        return;
    std::memcpy(copy, text.c_str(), text.size() + 1);
    std::free(*out);
    *out = copy;
}

namespace {

__attribute__((constructor)) void LoadLibrary() {
    try {
        // A program without a Qt application of its own (a C program) gets one here.
        platform::EnsureCoreApplication();
        theLink = new LinkContext(LibraryTimings(), RegisteredMessages::Register());
    } catch (...) {
        theLink = nullptr; // every export then answers with its error result
    }
}

__attribute__((destructor)) void UnloadLibrary() {
    LinkContext* doomed = theLink;
    theLink = nullptr;
    delete doomed;
}

} // namespace

} // namespace varnel
