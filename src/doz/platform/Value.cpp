#include "platform/Value.h"

#include <cstring>
#include <new>

namespace doz {

void Value::setShared(Kind k, std::string_view text) {
    u_.w.small = 0;
    for (std::uint8_t& b : u_.w.pad) b = 0;
    // Null until the block is there: a failing allocation leaves a value the destructor can drop.
    u_.w.kind = static_cast<std::uint8_t>(Kind::Null);
    auto* block = static_cast<Block*>(::operator new(sizeof(Block) + text.size()));
    block->refs = 1;
    block->size = text.size();
    std::memcpy(block->data(), text.data(), text.size());
    u_.w.block = block;
    u_.w.kind = static_cast<std::uint8_t>(k);
}

void Value::releaseShared() noexcept {
    Block* block = u_.w.block;
    if (--block->refs == 0) ::operator delete(static_cast<void*>(block));
}

bool operator==(const Value& a, const Value& b) {
    if (a.kind() != b.kind()) return false;
    switch (a.kind()) {
        case Value::Kind::Null: return true;
        case Value::Kind::Float: return a.get<double>() == b.get<double>();
        case Value::Kind::Decimal:
        case Value::Kind::Text:
        case Value::Kind::Bytes: return a.text() == b.text();
        default: return a.u_.w.i == b.u_.w.i;
    }
}

const char* fieldTypeName(FieldType t) {
    switch (t) {
        case FieldType::String: return "string";
        case FieldType::Int8: return "int8";
        case FieldType::Int16: return "int16";
        case FieldType::Int32: return "int32";
        case FieldType::Int64: return "int64";
        case FieldType::UInt8: return "uint8";
        case FieldType::UInt16: return "uint16";
        case FieldType::UInt32: return "uint32";
        case FieldType::UInt64: return "uint64";
        case FieldType::Boolean: return "boolean";
        case FieldType::Float: return "float";
        case FieldType::Currency: return "currency";
        case FieldType::Bcd: return "bcd";
        case FieldType::Date: return "date";
        case FieldType::Time: return "time";
        case FieldType::DateTime: return "datetime";
        case FieldType::Memo: return "memo";
        case FieldType::Blob: return "blob";
    }
    return "unknown";
}

bool isIntegerType(FieldType t) {
    switch (t) {
        case FieldType::Int8:
        case FieldType::Int16:
        case FieldType::Int32:
        case FieldType::Int64:
        case FieldType::UInt8:
        case FieldType::UInt16:
        case FieldType::UInt32:
        case FieldType::UInt64:
            return true;
        default:
            return false;
    }
}

bool isTextType(FieldType t) { return t == FieldType::String || t == FieldType::Memo; }

}  // namespace doz
