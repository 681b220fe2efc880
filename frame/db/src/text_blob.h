// Writing and reading blobs as whole texts (bytes kept exactly).
#pragma once

#include <string>
#include <string_view>

#include <firebird/Interface.h>

namespace fbdb::detail {

// Creates a text blob holding the bytes of text in the transaction; its id
// can then be bound to a blob parameter.
ISC_QUAD WriteTextBlob(Firebird::IAttachment* attachment, Firebird::ITransaction* transaction,
                       std::string_view text);

// The whole content of a blob.
std::string ReadBlob(Firebird::IAttachment* attachment, Firebird::ITransaction* transaction,
                     ISC_QUAD id);

} // namespace fbdb::detail
