// TYPE_INFO and value encodings: how each engine column type goes on the wire
// (always a nullable variant, since fixed-length codes cannot carry NULL), and
// how RPC parameter values sent by clients are read back into engine values.
#pragma once

#include <cstdint>
#include <stdexcept>

#include "tds/Bytes.h"
#include "tds/EngineTypes.h"
#include "tds/Protocol.h"

namespace standin::tds {

// A value the server cannot put on the wire under its column's type (out of
// range, longer than the type allows). The batch reports it as an error.
class EncodeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

enum class TypeInfoContext {
  ColMetadata,  // TEXT/NTEXT/IMAGE carry a table name
  ReturnValue,  // no table name
};

// The column type actually announced for `type` in this context: RETURNVALUE
// cannot carry the text-pointer types, so they travel as their 8000-byte
// variable-length siblings.
engine::ColumnType WireTypeFor(const engine::ColumnType& type, TypeInfoContext context);

void WriteTypeInfo(ByteWriter& out, const engine::ColumnType& type, TdsVersion version,
                   TypeInfoContext context);
// Writes `value` as a ROW/RETURNVALUE value of `type` (already passed through
// WireTypeFor). Throws EncodeError when it does not fit.
void WriteValue(ByteWriter& out, const engine::ColumnType& type, const engine::Value& value);

// One parameter of an RPC request: the TYPE_INFO and value that follow the
// parameter's name and status byte.
struct ParameterValue {
  engine::ColumnType type;
  engine::Value value;
};
// Reads TYPE_INFO and value. Throws ProtocolError on malformed or unsupported
// types.
ParameterValue ReadParameterValue(ByteReader& in, TdsVersion version);

// DATETIME's 1/300-second ticks from a time of day in 100-nanosecond units,
// rounded the way SQL Server rounds (to .000/.003/.007); may carry into the
// next day, reported through `dayCarry`.
std::uint32_t TicksFromHundredNanoseconds(std::uint64_t hundredNanoseconds, bool& dayCarry);

}  // namespace standin::tds
