// The message buffers a statement exchanges with the engine: input messages
// typed after the parameter values (the engine converts them to the declared
// types), output messages decoded into fields.
#pragma once

#include "fbdb/ref.h"
#include "fbdb/value.h"

#include <vector>

#include <firebird/Interface.h>

namespace fbdb::detail {

struct InputMessage {
    Ref<Firebird::IMessageMetadata> metadata;
    std::vector<unsigned char> buffer;
};

// One message for one execution. values[i] is the value of the i-th '?';
// text blobs are written into the transaction here.
InputMessage BuildInput(Firebird::IMessageMetadata* declared,
                        const std::vector<const Param*>& values, Firebird::IAttachment* attachment,
                        Firebird::ITransaction* transaction);

// The output side of a prepared statement: numbers, texts, blobs, dates and
// times (as ISO text) and booleans (as 0 or 1) are read as declared; anything
// else is asked for as text.
class OutputMessage {
public:
    explicit OutputMessage(Firebird::IMessageMetadata* declared);

    Firebird::IMessageMetadata* metadata() const { return metadata_.get(); }
    unsigned char* buffer() { return buffer_.data(); }
    // Empty fields named after the columns (their aliases).
    std::vector<Field> makeFields() const;
    // Reads the row in the buffer into fields (from makeFields); blobs are
    // read whole in the transaction.
    void decode(std::vector<Field>& fields, Firebird::IAttachment* attachment,
                Firebird::ITransaction* transaction) const;

private:
    struct Column {
        std::string name;
        unsigned type;
        int scale;
        unsigned length;
        unsigned offset;
        unsigned nullOffset;
    };
    Ref<Firebird::IMessageMetadata> metadata_;
    std::vector<Column> columns_;
    std::vector<unsigned char> buffer_;
};

} // namespace fbdb::detail
