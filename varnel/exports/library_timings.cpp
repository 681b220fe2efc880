// The shipped library's timings: the protocol's, whatever the environment holds.
#include "export_support.h"

namespace varnel {

LinkTimings LibraryTimings() {
    return LinkTimings{};
}

} // namespace varnel
