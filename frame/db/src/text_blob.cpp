#include "text_blob.h"

#include "fbdb/ref.h"
#include "status.h"

#include <algorithm>

namespace fbdb::detail {

namespace {

// Segments travel with a 16-bit length.
constexpr std::size_t kSegment = 32768;

} // namespace

ISC_QUAD WriteTextBlob(Firebird::IAttachment* attachment, Firebird::ITransaction* transaction,
                       std::string_view text) {
    // Declared as text to text, so the engine stores sub_type text and never
    // looks for a conversion filter.
    static const unsigned char kBpb[] = {isc_bpb_version1, isc_bpb_source_type, 1,
                                         isc_blob_text,    isc_bpb_target_type, 1,
                                         isc_blob_text};
    ISC_QUAD id{};
    Status status;
    Ref<Firebird::IBlob> blob(
        attachment->createBlob(status.get(), transaction, &id, sizeof kBpb, kBpb));
    status.check();
    for (std::size_t offset = 0; offset < text.size(); offset += kSegment) {
        const std::size_t length = std::min(kSegment, text.size() - offset);
        blob->putSegment(status.get(), static_cast<unsigned>(length), text.data() + offset);
        status.check();
    }
    blob->close(status.get());
    status.check();
    blob.abandon();
    return id;
}

std::string ReadBlob(Firebird::IAttachment* attachment, Firebird::ITransaction* transaction,
                     ISC_QUAD id) {
    Status status;
    Ref<Firebird::IBlob> blob(attachment->openBlob(status.get(), transaction, &id, 0, nullptr));
    status.check();
    std::string text;
    char buffer[kSegment];
    for (;;) {
        unsigned length = 0;
        const int result = blob->getSegment(status.get(), sizeof buffer, buffer, &length);
        status.check();
        text.append(buffer, length);
        if (result == Firebird::IStatus::RESULT_NO_DATA)
            break;
    }
    blob->close(status.get());
    status.check();
    blob.abandon();
    return text;
}

} // namespace fbdb::detail
