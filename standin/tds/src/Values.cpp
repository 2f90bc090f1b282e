#include "tds/Values.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "tds/Text.h"

namespace standin::tds {
namespace {

using engine::ColumnType;
using engine::TypeId;
using engine::Value;

constexpr std::uint32_t kTextMaxLength = 0x7FFFFFFF;
constexpr std::uint32_t kNTextMaxLength = 0x7FFFFFFE;
constexpr std::uint16_t kMaxShortLength = 8000;
constexpr std::uint16_t kNullShortLength = 0xFFFF;
constexpr std::uint8_t kTextPointer[kTextPointerSize] = {'s', 't', 'a', 'n', 'd', 'i', 'n', '-',
                                                         't', 'e', 'x', 't', 'p', 't', 'r', 1};
constexpr std::uint32_t kTicksPerDay = 300u * 86400u;

Int128 PowerOfTen(int exponent) {
  Int128 result = 1;
  for (int i = 0; i < exponent; ++i) result *= 10;
  return result;
}

// Integer value of a number for the integer types; fractions truncate as in
// a conversion to int.
std::int64_t AsInteger(const Value& value) {
  if (auto* integer = std::get_if<std::int64_t>(&value)) return *integer;
  if (auto* real = std::get_if<double>(&value)) {
    if (!(std::abs(*real) < 9.2e18)) throw EncodeError("float value out of range of an integer");
    return static_cast<std::int64_t>(*real);
  }
  if (auto* decimal = std::get_if<engine::Decimal>(&value)) {
    Int128 whole = decimal->unscaled / PowerOfTen(decimal->scale);
    if (whole > std::numeric_limits<std::int64_t>::max() ||
        whole < std::numeric_limits<std::int64_t>::min()) {
      throw EncodeError("decimal value out of range of an integer");
    }
    return static_cast<std::int64_t>(whole);
  }
  if (auto* text = std::get_if<std::string>(&value)) {
    std::int64_t result = 0;
    auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), result);
    if (error != std::errc() || end != text->data() + text->size()) {
      throw EncodeError("text '" + *text + "' is not an integer");
    }
    return result;
  }
  throw EncodeError("value is not a number");
}

double AsDouble(const Value& value) {
  if (auto* real = std::get_if<double>(&value)) return *real;
  if (auto* integer = std::get_if<std::int64_t>(&value)) return static_cast<double>(*integer);
  if (auto* decimal = std::get_if<engine::Decimal>(&value)) {
    return static_cast<double>(decimal->unscaled) / static_cast<double>(PowerOfTen(decimal->scale));
  }
  if (auto* text = std::get_if<std::string>(&value)) {
    try {
      std::size_t used = 0;
      double result = std::stod(*text, &used);
      if (used == text->size()) return result;
    } catch (const std::exception&) {
    }
    throw EncodeError("text '" + *text + "' is not a number");
  }
  throw EncodeError("value is not a number");
}

// The value scaled to `scale` digits, rounding half away from zero.
Int128 AsScaled(const Value& value, int scale) {
  if (auto* decimal = std::get_if<engine::Decimal>(&value)) {
    int difference = scale - decimal->scale;
    if (difference >= 0) return decimal->unscaled * PowerOfTen(difference);
    Int128 divisor = PowerOfTen(-difference);
    Int128 quotient = decimal->unscaled / divisor;
    Int128 remainder = decimal->unscaled % divisor;
    if (remainder * 2 >= divisor) ++quotient;
    if (remainder * 2 <= -divisor) --quotient;
    return quotient;
  }
  if (auto* integer = std::get_if<std::int64_t>(&value)) {
    return static_cast<Int128>(*integer) * PowerOfTen(scale);
  }
  double real = AsDouble(value) * static_cast<double>(PowerOfTen(scale));
  if (!(std::abs(real) < 1e38)) throw EncodeError("value out of range of decimal");
  return static_cast<Int128>(std::llround(real));
}

std::string AsText(const Value& value) {
  if (auto* text = std::get_if<std::string>(&value)) return *text;
  if (auto* integer = std::get_if<std::int64_t>(&value)) return std::to_string(*integer);
  if (auto* real = std::get_if<double>(&value)) {
    char buffer[32];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, *real);
    return std::string(buffer, result.ptr);
  }
  if (auto* bytes = std::get_if<engine::Bytes>(&value))
    return std::string(bytes->begin(), bytes->end());
  throw EncodeError("value cannot be shown as text");
}

engine::Bytes AsBytes(const Value& value) {
  if (auto* bytes = std::get_if<engine::Bytes>(&value)) return *bytes;
  if (auto* text = std::get_if<std::string>(&value))
    return engine::Bytes(text->begin(), text->end());
  throw EncodeError("value is not binary");
}

std::uint8_t DecimalSize(std::uint8_t precision) {
  if (precision <= 9) return 5;
  if (precision <= 19) return 9;
  if (precision <= 28) return 13;
  return 17;
}

std::uint16_t ShortMaxLength(std::int32_t declared, std::int32_t bytesPerCharacter) {
  if (declared <= 0) return kMaxShortLength;
  std::int64_t bytes = static_cast<std::int64_t>(declared) * bytesPerCharacter;
  return static_cast<std::uint16_t>(std::min<std::int64_t>(bytes, kMaxShortLength));
}

void WriteShortBytes(ByteWriter& out, std::span<const std::uint8_t> bytes) {
  if (bytes.size() >= kNullShortLength) throw EncodeError("value longer than 65534 bytes");
  out.U16(static_cast<std::uint16_t>(bytes.size()));
  out.Append(bytes);
}

void WriteTextValue(ByteWriter& out, std::span<const std::uint8_t> bytes) {
  if (bytes.size() > kTextMaxLength) throw EncodeError("value longer than 2 GB");
  out.U8(kTextPointerSize);
  out.Append(kTextPointer);
  out.U64(0);  // timestamp
  out.U32(static_cast<std::uint32_t>(bytes.size()));
  out.Append(bytes);
}

std::span<const std::uint8_t> AsSpan(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

ColumnType WireTypeFor(const ColumnType& type, TypeInfoContext context) {
  if (context != TypeInfoContext::ReturnValue) return type;
  switch (type.id) {
    case TypeId::Text:
      return ColumnType{TypeId::VarChar, kMaxShortLength, 0, 0};
    case TypeId::NText:
      return ColumnType{TypeId::NVarChar, kMaxShortLength / 2, 0, 0};
    case TypeId::Image:
      return ColumnType{TypeId::VarBinary, kMaxShortLength, 0, 0};
    default:
      return type;
  }
}

void WriteTypeInfo(ByteWriter& out, const ColumnType& type, TdsVersion version,
                   TypeInfoContext context) {
  auto code = [&](TypeCode typeCode) { out.U8(static_cast<std::uint8_t>(typeCode)); };
  auto tableName = [&] {
    if (context != TypeInfoContext::ColMetadata) return;
    // The stand-in does not track a result column's base table; no name parts.
    if (IsAtLeast72(version)) {
      out.U8(0);
    } else {
      out.U16(0);
    }
  };
  switch (type.id) {
    case TypeId::Bit:
      code(TypeCode::BitN), out.U8(1);
      return;
    case TypeId::TinyInt:
      code(TypeCode::IntN), out.U8(1);
      return;
    case TypeId::SmallInt:
      code(TypeCode::IntN), out.U8(2);
      return;
    case TypeId::Int:
      code(TypeCode::IntN), out.U8(4);
      return;
    case TypeId::BigInt:
      code(TypeCode::IntN), out.U8(8);
      return;
    case TypeId::Real:
      code(TypeCode::FloatN), out.U8(4);
      return;
    case TypeId::Float:
      code(TypeCode::FloatN), out.U8(8);
      return;
    case TypeId::Decimal:
    case TypeId::Numeric: {
      std::uint8_t precision =
          type.precision == 0 ? 18 : std::min<std::uint8_t>(type.precision, 38);
      code(type.id == TypeId::Decimal ? TypeCode::DecimalN : TypeCode::NumericN);
      out.U8(DecimalSize(precision));
      out.U8(precision);
      out.U8(std::min(type.scale, precision));
      return;
    }
    case TypeId::Money:
      code(TypeCode::MoneyN), out.U8(8);
      return;
    case TypeId::SmallMoney:
      code(TypeCode::MoneyN), out.U8(4);
      return;
    case TypeId::DateTime:
      code(TypeCode::DateTimeN), out.U8(8);
      return;
    case TypeId::SmallDateTime:
      code(TypeCode::DateTimeN), out.U8(4);
      return;
    case TypeId::Char:
    case TypeId::VarChar:
      code(type.id == TypeId::Char ? TypeCode::BigChar : TypeCode::BigVarChar);
      out.U16(ShortMaxLength(type.length, 1));
      out.Append(kCollation);
      return;
    case TypeId::NChar:
    case TypeId::NVarChar:
      code(type.id == TypeId::NChar ? TypeCode::NChar : TypeCode::NVarChar);
      out.U16(ShortMaxLength(type.length, 2));
      out.Append(kCollation);
      return;
    case TypeId::Binary:
    case TypeId::VarBinary:
      code(type.id == TypeId::Binary ? TypeCode::BigBinary : TypeCode::BigVarBinary);
      out.U16(ShortMaxLength(type.length, 1));
      return;
    case TypeId::Text:
      code(TypeCode::Text), out.U32(kTextMaxLength), out.Append(kCollation);
      tableName();
      return;
    case TypeId::NText:
      code(TypeCode::NText), out.U32(kNTextMaxLength), out.Append(kCollation);
      tableName();
      return;
    case TypeId::Image:
      code(TypeCode::Image), out.U32(kTextMaxLength);
      tableName();
      return;
    case TypeId::UniqueIdentifier:
      code(TypeCode::Guid), out.U8(16);
      return;
  }
  throw EncodeError("column type has no TDS encoding");
}

namespace {

// tinyint, smallint, int, bigint: the length byte, then the value; a value its
// column cannot hold is refused rather than cut.
void WriteIntegerValue(ByteWriter& out, const ColumnType& type, const Value& value) {
  std::int64_t integer = AsInteger(value);
  std::size_t size = type.id == TypeId::TinyInt    ? 1
                     : type.id == TypeId::SmallInt ? 2
                     : type.id == TypeId::Int      ? 4
                                                   : 8;
  bool fits = size == 8 || (size == 1 ? integer >= 0 && integer <= 255
                                      : integer >= -(std::int64_t{1} << (8 * size - 1)) &&
                                            integer < (std::int64_t{1} << (8 * size - 1)));
  if (!fits)
    throw EncodeError("integer " + std::to_string(integer) + " out of range of its column");
  out.U8(static_cast<std::uint8_t>(size));
  out.UnsignedOfSize(static_cast<std::uint64_t>(integer), size);
}

// decimal and numeric: the length, the sign byte, the magnitude little-endian.
void WriteDecimalValue(ByteWriter& out, const ColumnType& type, const Value& value) {
  std::uint8_t precision = type.precision == 0 ? 18 : std::min<std::uint8_t>(type.precision, 38);
  Int128 scaled = AsScaled(value, std::min(type.scale, precision));
  bool negative = scaled < 0;
  UInt128 magnitude = negative ? static_cast<UInt128>(-scaled) : static_cast<UInt128>(scaled);
  if (magnitude >= static_cast<UInt128>(PowerOfTen(precision))) {
    throw EncodeError("decimal value exceeds precision " + std::to_string(precision));
  }
  std::uint8_t size = DecimalSize(precision);
  out.U8(size);
  out.U8(negative ? 0 : 1);
  for (std::uint8_t i = 0; i + 1 < size; ++i)
    out.U8(static_cast<std::uint8_t>(magnitude >> (8 * i)));
}

// money and smallmoney, in ten-thousandths.
void WriteMoneyValue(ByteWriter& out, const ColumnType& type, const Value& value) {
  Int128 scaled = AsScaled(value, 4);
  if (type.id == TypeId::SmallMoney) {
    if (scaled < std::numeric_limits<std::int32_t>::min() ||
        scaled > std::numeric_limits<std::int32_t>::max()) {
      throw EncodeError("value out of range of smallmoney");
    }
    out.U8(4), out.U32(static_cast<std::uint32_t>(static_cast<std::int32_t>(scaled)));
    return;
  }
  if (scaled < std::numeric_limits<std::int64_t>::min() ||
      scaled > std::numeric_limits<std::int64_t>::max()) {
    throw EncodeError("value out of range of money");
  }
  auto bits = static_cast<std::uint64_t>(static_cast<std::int64_t>(scaled));
  // MONEY puts the high half first.
  out.U8(8), out.U32(static_cast<std::uint32_t>(bits >> 32)),
      out.U32(static_cast<std::uint32_t>(bits));
}

// datetime (days, 1/300 s) and smalldatetime (days, minutes).
void WriteDateTimeValue(ByteWriter& out, const ColumnType& type, const Value& value) {
  auto* dateTime = std::get_if<engine::DateTime>(&value);
  if (!dateTime) throw EncodeError("value is not a datetime");
  if (type.id == TypeId::DateTime) {
    out.U8(8), out.U32(static_cast<std::uint32_t>(dateTime->days)), out.U32(dateTime->ticks);
    return;
  }
  std::int64_t days = dateTime->days;
  std::uint32_t minutes = (dateTime->ticks + 9000) / 18000;
  if (minutes >= 1440) minutes -= 1440, ++days;
  if (days < 0 || days > 0xFFFF) throw EncodeError("value out of range of smalldatetime");
  out.U8(4), out.U16(static_cast<std::uint16_t>(days)),
      out.U16(static_cast<std::uint16_t>(minutes));
}

}  // namespace

void WriteValue(ByteWriter& out, const ColumnType& type, const Value& value) {
  bool isNull = std::holds_alternative<std::monostate>(value);
  switch (type.id) {
    case TypeId::Bit:
      if (isNull) return out.U8(0);
      out.U8(1), out.U8(AsInteger(value) != 0 ? 1 : 0);
      return;
    case TypeId::TinyInt:
    case TypeId::SmallInt:
    case TypeId::Int:
    case TypeId::BigInt: {
      if (isNull) return out.U8(0);
      WriteIntegerValue(out, type, value);
      return;
    }
    case TypeId::Real: {
      if (isNull) return out.U8(0);
      float real = static_cast<float>(AsDouble(value));
      std::uint32_t bits = 0;
      std::memcpy(&bits, &real, 4);
      out.U8(4), out.U32(bits);
      return;
    }
    case TypeId::Float: {
      if (isNull) return out.U8(0);
      double real = AsDouble(value);
      std::uint64_t bits = 0;
      std::memcpy(&bits, &real, 8);
      out.U8(8), out.U64(bits);
      return;
    }
    case TypeId::Decimal:
    case TypeId::Numeric: {
      if (isNull) return out.U8(0);
      WriteDecimalValue(out, type, value);
      return;
    }
    case TypeId::Money:
    case TypeId::SmallMoney: {
      if (isNull) return out.U8(0);
      WriteMoneyValue(out, type, value);
      return;
    }
    case TypeId::DateTime:
    case TypeId::SmallDateTime: {
      if (isNull) return out.U8(0);
      WriteDateTimeValue(out, type, value);
      return;
    }
    case TypeId::Char:
    case TypeId::VarChar:
      if (isNull) return out.U16(kNullShortLength);
      WriteShortBytes(out, AsSpan(Utf8ToCp1252(AsText(value))));
      return;
    case TypeId::NChar:
    case TypeId::NVarChar: {
      if (isNull) return out.U16(kNullShortLength);
      std::size_t lengthPosition = out.ReserveU16();
      AppendUtf16Le(out.Buffer(), AsText(value));
      std::size_t bytes = out.Size() - lengthPosition - 2;
      if (bytes >= kNullShortLength) throw EncodeError("value longer than 65534 bytes");
      out.PatchU16Length(lengthPosition);
      return;
    }
    case TypeId::Binary:
    case TypeId::VarBinary:
      if (isNull) return out.U16(kNullShortLength);
      WriteShortBytes(out, AsBytes(value));
      return;
    case TypeId::Text:
      if (isNull) return out.U8(0);
      WriteTextValue(out, AsSpan(Utf8ToCp1252(AsText(value))));
      return;
    case TypeId::NText: {
      if (isNull) return out.U8(0);
      std::vector<std::uint8_t> utf16;
      AppendUtf16Le(utf16, AsText(value));
      WriteTextValue(out, utf16);
      return;
    }
    case TypeId::Image:
      if (isNull) return out.U8(0);
      WriteTextValue(out, AsBytes(value));
      return;
    case TypeId::UniqueIdentifier: {
      if (isNull) return out.U8(0);
      auto* guid = std::get_if<engine::Guid>(&value);
      if (!guid) throw EncodeError("value is not a uniqueidentifier");
      out.U8(16), out.Append(guid->bytes);
      return;
    }
  }
  throw EncodeError("column type has no TDS encoding");
}

std::uint32_t TicksFromHundredNanoseconds(std::uint64_t hundredNanoseconds, bool& dayCarry) {
  // 1 tick = 1/300 s = 33333.33 units of 100 ns; round to nearest tick.
  std::uint64_t ticks = (hundredNanoseconds * 3 + 50000) / 100000;
  dayCarry = ticks >= kTicksPerDay;
  return static_cast<std::uint32_t>(dayCarry ? ticks - kTicksPerDay : ticks);
}

}  // namespace standin::tds
