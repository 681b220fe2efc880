#include "message.h"

#include "fbdb/error.h"
#include "status.h"
#include "text_blob.h"

#include <cmath>
#include <cstring>

#include <fmt/format.h>

namespace fbdb::detail {

namespace {

// A VARCHAR holds at most this many bytes; longer texts go as blobs.
constexpr std::size_t kMaxVarchar = 32765;
// Room for a value of a type the layer does not decode (an array), read as text.
constexpr unsigned kTextForOther = 64;

template <class T> void Put(std::vector<unsigned char>& buffer, unsigned offset, T value) {
    std::memcpy(buffer.data() + offset, &value, sizeof value);
}

template <class T> T Get(const std::vector<unsigned char>& buffer, unsigned offset) {
    T value;
    std::memcpy(&value, buffer.data() + offset, sizeof value);
    return value;
}

// Message types carry the "nullable" flag in their lowest bit.
constexpr unsigned BaseType(unsigned type) {
    return type & ~1u;
}

bool DecodedAsIs(unsigned type) {
    switch (BaseType(type)) {
    case SQL_TEXT:
    case SQL_VARYING:
    case SQL_SHORT:
    case SQL_LONG:
    case SQL_INT64:
    case SQL_FLOAT:
    case SQL_DOUBLE:
    case SQL_D_FLOAT:
    case SQL_BLOB:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_BOOLEAN:
        return true;
    default:
        return false;
    }
}

// Changes field index of a message under construction to the given type
// (always with a null flag), character set NONE and scale 0.
void SetField(Firebird::IMetadataBuilder* builder, unsigned index, unsigned type, unsigned length,
              int subType) {
    Status status;
    builder->setType(status.get(), index, type | 1u);
    status.check();
    builder->setSubType(status.get(), index, subType);
    status.check();
    builder->setLength(status.get(), index, length);
    status.check();
    builder->setScale(status.get(), index, 0);
    status.check();
    builder->setCharSet(status.get(), index, 0);
    status.check();
}

// Dates and times as text the way dialect 3 writes them:
// "2024-03-05", "10:20:30.0000", "2024-03-05 10:20:30.0000".
std::string DateText(ISC_DATE date) {
    unsigned year = 0, month = 0, day = 0;
    Master()->getUtilInterface()->decodeDate(date, &year, &month, &day);
    return fmt::format("{:04}-{:02}-{:02}", year, month, day);
}

std::string TimeText(ISC_TIME time) {
    unsigned hours = 0, minutes = 0, seconds = 0, fractions = 0;
    Master()->getUtilInterface()->decodeTime(time, &hours, &minutes, &seconds, &fractions);
    return fmt::format("{:02}:{:02}:{:02}.{:04}", hours, minutes, seconds, fractions);
}

Ref<Firebird::IMessageMetadata> Finish(Firebird::IMetadataBuilder* builder) {
    Status status;
    Ref<Firebird::IMessageMetadata> metadata(builder->getMetadata(status.get()));
    status.check();
    return metadata;
}

} // namespace

InputMessage BuildInput(Firebird::IMessageMetadata* declared,
                        const std::vector<const Param*>& values, Firebird::IAttachment* attachment,
                        Firebird::ITransaction* transaction) {
    Status status;
    Ref<Firebird::IMetadataBuilder> builder(declared->getBuilder(status.get()));
    status.check();
    for (unsigned i = 0; i < values.size(); ++i) {
        const Param& value = *values[i];
        switch (value.kind()) {
        case Value::Kind::Null:
            break; // the declared type stays; only the null flag is read
        case Value::Kind::Integer:
            SetField(builder.get(), i, SQL_INT64, sizeof(std::int64_t), 0);
            break;
        case Value::Kind::Float:
            SetField(builder.get(), i, SQL_DOUBLE, sizeof(double), 0);
            break;
        case Value::Kind::Text:
            if (value.isBlobText()) {
                SetField(builder.get(), i, SQL_BLOB, sizeof(ISC_QUAD), isc_blob_text);
            } else {
                const std::size_t size = value.asString().size();
                if (size > kMaxVarchar)
                    throw Error(fmt::format("Parameter {} holds {} bytes, more than a text "
                                            "parameter takes ({}); set it as a text blob",
                                            value.name(), size, kMaxVarchar));
                SetField(builder.get(), i, SQL_VARYING,
                         static_cast<unsigned>(std::max<std::size_t>(size, 1)), 0);
            }
            break;
        }
    }

    InputMessage message;
    message.metadata = Finish(builder.get());
    Firebird::IMessageMetadata* meta = message.metadata.get();
    message.buffer.assign(meta->getMessageLength(status.get()), 0);
    status.check();
    for (unsigned i = 0; i < values.size(); ++i) {
        const Param& value = *values[i];
        const unsigned offset = meta->getOffset(status.get(), i);
        status.check();
        const unsigned nullOffset = meta->getNullOffset(status.get(), i);
        status.check();
        Put<std::int16_t>(message.buffer, nullOffset, value.isNull() ? -1 : 0);
        switch (value.kind()) {
        case Value::Kind::Null:
            break;
        case Value::Kind::Integer:
            Put<std::int64_t>(message.buffer, offset, value.asInt64());
            break;
        case Value::Kind::Float:
            Put<double>(message.buffer, offset, value.asDouble());
            break;
        case Value::Kind::Text: {
            const std::string text = value.asString();
            if (value.isBlobText()) {
                Put<ISC_QUAD>(message.buffer, offset, WriteTextBlob(attachment, transaction, text));
            } else {
                Put<std::uint16_t>(message.buffer, offset, static_cast<std::uint16_t>(text.size()));
                std::memcpy(message.buffer.data() + offset + 2, text.data(), text.size());
            }
            break;
        }
        }
    }
    return message;
}

OutputMessage::OutputMessage(Firebird::IMessageMetadata* declared) {
    Status status;
    const unsigned count = declared->getCount(status.get());
    status.check();
    bool coerce = false;
    for (unsigned i = 0; i < count && !coerce; ++i) {
        coerce = !DecodedAsIs(declared->getType(status.get(), i));
        status.check();
    }
    if (coerce) {
        Ref<Firebird::IMetadataBuilder> builder(declared->getBuilder(status.get()));
        status.check();
        for (unsigned i = 0; i < count; ++i) {
            const unsigned type = declared->getType(status.get(), i);
            status.check();
            if (!DecodedAsIs(type))
                SetField(builder.get(), i, SQL_VARYING, kTextForOther, 0);
        }
        metadata_ = Finish(builder.get());
    } else {
        declared->addRef();
        metadata_ = Ref<Firebird::IMessageMetadata>(declared);
    }

    Firebird::IMessageMetadata* meta = metadata_.get();
    for (unsigned i = 0; i < count; ++i) {
        Column column;
        column.name = meta->getAlias(status.get(), i);
        column.type = BaseType(meta->getType(status.get(), i));
        column.scale = meta->getScale(status.get(), i);
        column.length = meta->getLength(status.get(), i);
        column.offset = meta->getOffset(status.get(), i);
        column.nullOffset = meta->getNullOffset(status.get(), i);
        status.check();
        columns_.push_back(std::move(column));
    }
    buffer_.assign(meta->getMessageLength(status.get()), 0);
    status.check();
}

std::vector<Field> OutputMessage::makeFields() const {
    std::vector<Field> fields;
    fields.reserve(columns_.size());
    for (const Column& column : columns_)
        fields.emplace_back(column.name);
    return fields;
}

void OutputMessage::decode(std::vector<Field>& fields, Firebird::IAttachment* attachment,
                           Firebird::ITransaction* transaction) const {
    for (std::size_t i = 0; i < columns_.size(); ++i) {
        const Column& c = columns_[i];
        Field& field = fields[i];
        if (Get<std::int16_t>(buffer_, c.nullOffset) != 0) {
            field.assignNull();
            continue;
        }
        // A scaled integer (NUMERIC/DECIMAL) is read as a floating-point number.
        auto integer = [&](std::int64_t raw) {
            if (c.scale == 0)
                field.assign(raw);
            else
                field.assign(static_cast<double>(raw) * std::pow(10.0, c.scale));
        };
        switch (c.type) {
        case SQL_TEXT:
            field.assign(std::string(reinterpret_cast<const char*>(&buffer_[c.offset]), c.length));
            break;
        case SQL_VARYING: {
            const auto length = Get<std::uint16_t>(buffer_, c.offset);
            field.assign(
                std::string(reinterpret_cast<const char*>(&buffer_[c.offset + 2]), length));
            break;
        }
        case SQL_SHORT:
            integer(Get<std::int16_t>(buffer_, c.offset));
            break;
        case SQL_LONG:
            integer(Get<std::int32_t>(buffer_, c.offset));
            break;
        case SQL_INT64:
            integer(Get<std::int64_t>(buffer_, c.offset));
            break;
        case SQL_FLOAT:
            field.assign(static_cast<double>(Get<float>(buffer_, c.offset)));
            break;
        case SQL_DOUBLE:
        case SQL_D_FLOAT:
            field.assign(Get<double>(buffer_, c.offset));
            break;
        case SQL_BLOB:
            field.assign(ReadBlob(attachment, transaction, Get<ISC_QUAD>(buffer_, c.offset)));
            break;
        case SQL_TIMESTAMP: {
            const auto stamp = Get<ISC_TIMESTAMP>(buffer_, c.offset);
            field.assign(DateText(stamp.timestamp_date) + " " + TimeText(stamp.timestamp_time));
            break;
        }
        case SQL_TYPE_DATE:
            field.assign(DateText(Get<ISC_DATE>(buffer_, c.offset)));
            break;
        case SQL_TYPE_TIME:
            field.assign(TimeText(Get<ISC_TIME>(buffer_, c.offset)));
            break;
        case SQL_BOOLEAN:
            field.assign(static_cast<std::int64_t>(Get<FB_BOOLEAN>(buffer_, c.offset) != 0));
            break;
        default:
            throw Error(
                fmt::format("Column {} has a type the layer cannot read ({})", c.name, c.type));
        }
    }
}

} // namespace fbdb::detail
