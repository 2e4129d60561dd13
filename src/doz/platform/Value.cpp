#include "platform/Value.h"

namespace doz {

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
