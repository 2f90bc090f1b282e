// Reading RPC parameter values: every type a client may bind, including the
// 7.3 date/time types that some drivers send for timestamps even though the
// server never emits them.
#include <cstring>
#include <string>

#include "tds/Text.h"
#include "tds/Values.h"

namespace standin::tds {
namespace {

using engine::ColumnType;
using engine::TypeId;
using engine::Value;

constexpr std::uint64_t kPlpNull = 0xFFFFFFFFFFFFFFFFull;
constexpr std::int32_t kDaysFrom0001To1900 = 693595;

enum class Charset { SingleByte, Utf16, Binary };

Value TextValue(std::span<const std::uint8_t> bytes, Charset charset) {
  switch (charset) {
    case Charset::SingleByte:
      return Cp1252ToUtf8(
          std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    case Charset::Utf16:
      return Utf16LeBytesToUtf8(bytes);
    case Charset::Binary:
      return engine::Bytes(bytes.begin(), bytes.end());
  }
  return std::monostate{};
}

// Partially length-prefixed data: total length, then chunks up to a zero one.
Value ReadPlp(ByteReader& in, Charset charset) {
  std::uint64_t total = in.U64();
  if (total == kPlpNull) return std::monostate{};
  std::vector<std::uint8_t> data;
  while (true) {
    std::uint32_t chunk = in.U32();
    if (chunk == 0) break;
    auto bytes = in.Take(chunk);
    data.insert(data.end(), bytes.begin(), bytes.end());
  }
  return TextValue(data, charset);
}

Value ReadInteger(ByteReader& in, std::size_t size) {
  std::uint64_t raw = in.UnsignedOfSize(size);
  if (size == 1) return static_cast<std::int64_t>(raw);  // TINYINT is unsigned
  if (size < 8 && (raw >> (8 * size - 1)) != 0) raw |= ~std::uint64_t{0} << (8 * size);
  return static_cast<std::int64_t>(raw);
}

Value ReadFloat(ByteReader& in, std::size_t size) {
  if (size == 4) {
    std::uint32_t bits = in.U32();
    float real = 0;
    std::memcpy(&real, &bits, 4);
    return static_cast<double>(real);
  }
  std::uint64_t bits = in.U64();
  double real = 0;
  std::memcpy(&real, &bits, 8);
  return real;
}

Value ReadMoney(ByteReader& in, std::size_t size) {
  if (size == 4) return engine::Decimal{static_cast<std::int32_t>(in.U32()), 4};
  std::uint64_t high = in.U32();
  std::uint64_t low = in.U32();
  return engine::Decimal{static_cast<std::int64_t>((high << 32) | low), 4};
}

Value ReadDateTime(ByteReader& in, std::size_t size) {
  if (size == 4) {
    std::uint16_t days = in.U16();
    std::uint16_t minutes = in.U16();
    return engine::DateTime{days, static_cast<std::uint32_t>(minutes) * 18000u};
  }
  auto days = static_cast<std::int32_t>(in.U32());
  std::uint32_t ticks = in.U32();
  return engine::DateTime{days, ticks};
}

std::size_t TimeSize(std::uint8_t scale) {
  return scale <= 2 ? 3 : scale <= 4 ? 4 : 5;
}

// A 7.3 time of day in 10^-scale seconds as DATETIME ticks, and the date part.
engine::DateTime FromTimeAndDate(std::uint64_t time, std::uint8_t scale, std::int64_t date) {
  std::uint64_t hundredNanoseconds = time;
  for (int i = scale; i < 7; ++i) hundredNanoseconds *= 10;
  bool carry = false;
  std::uint32_t ticks = TicksFromHundredNanoseconds(hundredNanoseconds, carry);
  return engine::DateTime{static_cast<std::int32_t>(date - kDaysFrom0001To1900 + (carry ? 1 : 0)),
                          ticks};
}

Value ReadDecimal(ByteReader& in, std::size_t size, std::uint8_t scale) {
  if (size < 2 || size > 17)
    throw ProtocolError("decimal value of " + std::to_string(size) + " bytes");
  std::uint8_t sign = in.U8();
  auto magnitudeBytes = in.Take(size - 1);
  UInt128 magnitude = 0;
  for (std::size_t i = magnitudeBytes.size(); i-- > 0;)
    magnitude = (magnitude << 8) | magnitudeBytes[i];
  // 38 digits fit in 127 bits; a larger magnitude is not a decimal.
  if (magnitude >> 127) throw ProtocolError("decimal magnitude out of range");
  auto unscaled = static_cast<Int128>(magnitude);
  return engine::Decimal{sign == 0 ? -unscaled : unscaled, scale};
}

void CheckFixedSize(std::size_t size, std::initializer_list<std::size_t> allowed,
                    const char* type) {
  for (std::size_t value : allowed) {
    if (size == value) return;
  }
  throw ProtocolError(std::string(type) + " parameter with length " + std::to_string(size));
}

// Fixed-length types: the value follows the type byte.
ParameterValue ReadFixedValue(ByteReader& in, TypeCode code) {
  switch (code) {
    case TypeCode::Null:
      return {ColumnType{TypeId::Int, 0, 0, 0}, std::monostate{}};
    case TypeCode::Int1:
      return {ColumnType{TypeId::TinyInt}, ReadInteger(in, 1)};
    case TypeCode::Int2:
      return {ColumnType{TypeId::SmallInt}, ReadInteger(in, 2)};
    case TypeCode::Int4:
      return {ColumnType{TypeId::Int}, ReadInteger(in, 4)};
    case TypeCode::Int8:
      return {ColumnType{TypeId::BigInt}, ReadInteger(in, 8)};
    case TypeCode::Bit:
      return {ColumnType{TypeId::Bit}, static_cast<std::int64_t>(in.U8() != 0)};
    case TypeCode::Float4:
      return {ColumnType{TypeId::Real}, ReadFloat(in, 4)};
    case TypeCode::Float8:
      return {ColumnType{TypeId::Float}, ReadFloat(in, 8)};
    case TypeCode::Money:
      return {ColumnType{TypeId::Money}, ReadMoney(in, 8)};
    case TypeCode::Money4:
      return {ColumnType{TypeId::SmallMoney}, ReadMoney(in, 4)};
    case TypeCode::DateTime:
      return {ColumnType{TypeId::DateTime}, ReadDateTime(in, 8)};
    case TypeCode::DateTime4:
      return {ColumnType{TypeId::SmallDateTime}, ReadDateTime(in, 4)};
    default:
      break;
  }
  throw ProtocolError("unsupported parameter type " + std::to_string(static_cast<int>(code)));
}

// Nullable variants of the fixed types: TYPE_INFO length, then a length byte
// per value (0 = NULL).
ParameterValue ReadNullableFixedValue(ByteReader& in, TypeCode code) {
  auto readSized = [&](TypeId id, std::size_t declared, auto reader) -> ParameterValue {
    std::size_t size = in.U8();
    if (size == 0) return {ColumnType{id, 0, 0, 0}, std::monostate{}};
    if (size != declared) throw ProtocolError("parameter value length differs from its type");
    return {ColumnType{id, 0, 0, 0}, reader(size)};
  };
  switch (code) {
    case TypeCode::IntN: {
      std::size_t declared = in.U8();
      CheckFixedSize(declared, {1, 2, 4, 8}, "int");
      TypeId id = declared == 1   ? TypeId::TinyInt
                  : declared == 2 ? TypeId::SmallInt
                  : declared == 4 ? TypeId::Int
                                  : TypeId::BigInt;
      return readSized(id, declared, [&](std::size_t size) { return ReadInteger(in, size); });
    }
    case TypeCode::BitN: {
      std::size_t declared = in.U8();
      CheckFixedSize(declared, {1}, "bit");
      return readSized(TypeId::Bit, 1, [&](std::size_t) -> Value {
        return static_cast<std::int64_t>(in.U8() != 0);
      });
    }
    case TypeCode::FloatN: {
      std::size_t declared = in.U8();
      CheckFixedSize(declared, {4, 8}, "float");
      return readSized(declared == 4 ? TypeId::Real : TypeId::Float, declared,
                       [&](std::size_t size) { return ReadFloat(in, size); });
    }
    case TypeCode::MoneyN: {
      std::size_t declared = in.U8();
      CheckFixedSize(declared, {4, 8}, "money");
      return readSized(declared == 4 ? TypeId::SmallMoney : TypeId::Money, declared,
                       [&](std::size_t size) { return ReadMoney(in, size); });
    }
    case TypeCode::DateTimeN: {
      std::size_t declared = in.U8();
      CheckFixedSize(declared, {4, 8}, "datetime");
      return readSized(declared == 4 ? TypeId::SmallDateTime : TypeId::DateTime, declared,
                       [&](std::size_t size) { return ReadDateTime(in, size); });
    }
    case TypeCode::Guid: {
      std::size_t declared = in.U8();
      CheckFixedSize(declared, {16}, "uniqueidentifier");
      return readSized(TypeId::UniqueIdentifier, 16, [&](std::size_t) -> Value {
        engine::Guid guid;
        auto bytes = in.Take(16);
        std::copy(bytes.begin(), bytes.end(), guid.bytes.begin());
        return guid;
      });
    }
    default:
      break;
  }
  throw ProtocolError("unsupported parameter type " + std::to_string(static_cast<int>(code)));
}

// decimal and numeric: precision, scale, then a sign byte and the magnitude.
ParameterValue ReadDecimalValue(ByteReader& in, TypeCode code) {
  switch (code) {
    case TypeCode::DecimalN:
    case TypeCode::NumericN:
    case TypeCode::DecimalLegacy:
    case TypeCode::NumericLegacy: {
      in.U8();  // maximum length
      std::uint8_t precision = in.U8();
      std::uint8_t scale = in.U8();
      if (precision == 0 || precision > 38 || scale > precision) {
        throw ProtocolError("decimal parameter with precision " + std::to_string(precision) +
                            " and scale " + std::to_string(scale));
      }
      TypeId id = (code == TypeCode::DecimalN || code == TypeCode::DecimalLegacy) ? TypeId::Decimal
                                                                                  : TypeId::Numeric;
      ColumnType type{id, 0, precision, scale};
      std::size_t size = in.U8();
      if (size == 0) return {type, std::monostate{}};
      return {type, ReadDecimal(in, size, scale)};
    }
    default:
      break;
  }
  throw ProtocolError("unsupported parameter type " + std::to_string(static_cast<int>(code)));
}

// (n)char, (n)varchar, binary and varbinary; 0xFFFF as maximum length is a PLP
// value (the max types).
ParameterValue ReadCharacterOrBinaryValue(ByteReader& in, TypeCode code) {
  switch (code) {
    case TypeCode::BigVarChar:
    case TypeCode::BigChar:
    case TypeCode::NVarChar:
    case TypeCode::NChar:
    case TypeCode::BigVarBinary:
    case TypeCode::BigBinary: {
      bool binary = code == TypeCode::BigVarBinary || code == TypeCode::BigBinary;
      bool wide = code == TypeCode::NVarChar || code == TypeCode::NChar;
      Charset charset = binary ? Charset::Binary : wide ? Charset::Utf16 : Charset::SingleByte;
      std::uint16_t maxLength = in.U16();
      if (!binary) in.Skip(5);  // collation: values arrive in the code page we announced
      if (maxLength == 0xFFFF) {
        TypeId id = binary ? TypeId::Image : wide ? TypeId::NText : TypeId::Text;
        return {ColumnType{id, 0, 0, 0}, ReadPlp(in, charset)};
      }
      TypeId id = code == TypeCode::BigVarChar  ? TypeId::VarChar
                  : code == TypeCode::BigChar   ? TypeId::Char
                  : code == TypeCode::NVarChar  ? TypeId::NVarChar
                  : code == TypeCode::NChar     ? TypeId::NChar
                  : code == TypeCode::BigBinary ? TypeId::Binary
                                                : TypeId::VarBinary;
      ColumnType type{id, wide ? maxLength / 2 : maxLength, 0, 0};
      std::uint16_t length = in.U16();
      if (length == 0xFFFF) return {type, std::monostate{}};
      return {type, TextValue(in.Take(length), charset)};
    }
    default:
      break;
  }
  throw ProtocolError("unsupported parameter type " + std::to_string(static_cast<int>(code)));
}

// text, ntext and image.
ParameterValue ReadLargeObjectValue(ByteReader& in, TypeCode code) {
  switch (code) {
    case TypeCode::Text:
    case TypeCode::NText:
    case TypeCode::Image: {
      in.U32();  // maximum length
      if (code != TypeCode::Image) in.Skip(5);
      TypeId id = code == TypeCode::Text    ? TypeId::Text
                  : code == TypeCode::NText ? TypeId::NText
                                            : TypeId::Image;
      Charset charset = code == TypeCode::Text    ? Charset::SingleByte
                        : code == TypeCode::NText ? Charset::Utf16
                                                  : Charset::Binary;
      std::uint32_t length = in.U32();
      if (length == 0xFFFFFFFF) return {ColumnType{id, 0, 0, 0}, std::monostate{}};
      return {ColumnType{id, 0, 0, 0}, TextValue(in.Take(length), charset)};
    }
    default:
      break;
  }
  throw ProtocolError("unsupported parameter type " + std::to_string(static_cast<int>(code)));
}

// date, time, datetime2 and datetimeoffset, as datetime.
ParameterValue ReadDateOrTimeValue(ByteReader& in, TypeCode code) {
  switch (code) {
    case TypeCode::Date: {
      ColumnType type{TypeId::DateTime};
      std::size_t size = in.U8();
      if (size == 0) return {type, std::monostate{}};
      CheckFixedSize(size, {3}, "date");
      return {type, FromTimeAndDate(0, 7, static_cast<std::int64_t>(in.UnsignedOfSize(3)))};
    }
    case TypeCode::Time:
    case TypeCode::DateTime2:
    case TypeCode::DateTimeOffset: {
      std::uint8_t scale = in.U8();
      if (scale > 7) throw ProtocolError("time scale " + std::to_string(scale));
      ColumnType type{TypeId::DateTime};
      std::size_t size = in.U8();
      if (size == 0) return {type, std::monostate{}};
      std::size_t timeSize = TimeSize(scale);
      std::size_t expected = code == TypeCode::Time        ? timeSize
                             : code == TypeCode::DateTime2 ? timeSize + 3
                                                           : timeSize + 5;
      if (size != expected)
        throw ProtocolError("date/time parameter with length " + std::to_string(size));
      std::uint64_t time = in.UnsignedOfSize(timeSize);
      // TIME alone converts to DATETIME on 1900-01-01.
      std::int64_t date = code == TypeCode::Time ? kDaysFrom0001To1900
                                                 : static_cast<std::int64_t>(in.UnsignedOfSize(3));
      engine::DateTime value = FromTimeAndDate(time, scale, date);
      if (code == TypeCode::DateTimeOffset) {
        // The wire holds the UTC instant; DATETIME keeps the local time.
        auto offsetMinutes = static_cast<std::int16_t>(in.U16());
        std::int64_t ticks =
            static_cast<std::int64_t>(value.ticks) + std::int64_t{offsetMinutes} * 18000;
        std::int64_t days = value.days;
        constexpr std::int64_t kTicksPerDay = 300 * 86400;
        while (ticks < 0) ticks += kTicksPerDay, --days;
        while (ticks >= kTicksPerDay) ticks -= kTicksPerDay, ++days;
        value =
            engine::DateTime{static_cast<std::int32_t>(days), static_cast<std::uint32_t>(ticks)};
      }
      return {type, value};
    }
    default:
      break;
  }
  throw ProtocolError("unsupported parameter type " + std::to_string(static_cast<int>(code)));
}

}  // namespace

ParameterValue ReadParameterValue(ByteReader& in, TdsVersion /*version*/) {
  auto code = static_cast<TypeCode>(in.U8());
  switch (code) {
    case TypeCode::Null:
    case TypeCode::Int1:
    case TypeCode::Int2:
    case TypeCode::Int4:
    case TypeCode::Int8:
    case TypeCode::Bit:
    case TypeCode::Float4:
    case TypeCode::Float8:
    case TypeCode::Money:
    case TypeCode::Money4:
    case TypeCode::DateTime:
    case TypeCode::DateTime4:
      return ReadFixedValue(in, code);
    case TypeCode::IntN:
    case TypeCode::BitN:
    case TypeCode::FloatN:
    case TypeCode::MoneyN:
    case TypeCode::DateTimeN:
    case TypeCode::Guid:
      return ReadNullableFixedValue(in, code);
    case TypeCode::DecimalN:
    case TypeCode::NumericN:
    case TypeCode::DecimalLegacy:
    case TypeCode::NumericLegacy:
      return ReadDecimalValue(in, code);
    case TypeCode::BigVarChar:
    case TypeCode::BigChar:
    case TypeCode::NVarChar:
    case TypeCode::NChar:
    case TypeCode::BigVarBinary:
    case TypeCode::BigBinary:
      return ReadCharacterOrBinaryValue(in, code);
    case TypeCode::Text:
    case TypeCode::NText:
    case TypeCode::Image:
      return ReadLargeObjectValue(in, code);
    case TypeCode::Date:
    case TypeCode::Time:
    case TypeCode::DateTime2:
    case TypeCode::DateTimeOffset:
      return ReadDateOrTimeValue(in, code);
    default:
      break;
  }
  throw ProtocolError("unsupported parameter type " + std::to_string(static_cast<int>(code)));
}

}  // namespace standin::tds
