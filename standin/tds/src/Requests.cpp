#include "tds/Requests.h"

#include "tds/Bytes.h"
#include "tds/Text.h"
#include "tds/Values.h"

namespace standin::tds {
namespace {

void SkipAllHeaders(ByteReader& in, TdsVersion version) {
  if (!IsAtLeast72(version)) return;
  std::uint32_t total = in.U32();
  if (total < 4) throw ProtocolError("ALL_HEADERS length " + std::to_string(total));
  in.Skip(total - 4);
}

}  // namespace

std::string ParseSqlBatch(std::span<const std::uint8_t> payload, TdsVersion version) {
  ByteReader in(payload);
  SkipAllHeaders(in, version);
  return Utf16LeBytesToUtf8(in.Take(in.Remaining()));
}

std::optional<std::string> WellKnownProcedure(std::uint16_t id) {
  static const char* const kNames[] = {
      nullptr,
      "sp_cursor",
      "sp_cursoropen",
      "sp_cursorprepare",
      "sp_cursorexecute",
      "sp_cursorprepexec",
      "sp_cursorunprepare",
      "sp_cursorfetch",
      "sp_cursoroption",
      "sp_cursorclose",
      "sp_executesql",
      "sp_prepare",
      "sp_execute",
      "sp_prepexec",
      "sp_prepexecrpc",
      "sp_unprepare",
  };
  if (id == 0 || id >= std::size(kNames)) return std::nullopt;
  return std::string(kNames[id]);
}

std::vector<RpcCall> ParseRpc(std::span<const std::uint8_t> payload, TdsVersion version) {
  ByteReader in(payload);
  SkipAllHeaders(in, version);
  std::vector<RpcCall> calls;
  while (true) {
    RpcCall call;
    std::uint16_t nameLength = in.U16();
    if (nameLength == 0xFFFF) {
      std::uint16_t id = in.U16();
      auto name = WellKnownProcedure(id);
      if (!name) throw ProtocolError("unknown RPC procedure id " + std::to_string(id));
      call.procedureName = *name;
    } else {
      if (nameLength == 0) throw ProtocolError("RPC without a procedure name");
      call.procedureName = Utf16LeBytesToUtf8(in.Take(std::size_t{nameLength} * 2));
    }
    call.optionFlags = in.U16();
    while (!in.AtEnd()) {
      std::uint8_t next = in.Take(1)[0];
      bool separator = next == 0xFF || next == 0xFE || (next == 0x80 && !IsAtLeast72(version));
      if (separator) {
        // A parameter name (at most 128 characters) never has these lengths,
        // except 0x80 from 7.2 on, where the separator changed to 0xFF.
        break;
      }
      engine::Parameter parameter;
      parameter.name = Utf16LeBytesToUtf8(in.Take(std::size_t{next} * 2));
      std::uint8_t statusFlags = in.U8();
      parameter.output = (statusFlags & 0x01) != 0;
      ParameterValue value = ReadParameterValue(in, version);
      parameter.type = value.type;
      parameter.value = std::move(value.value);
      call.parameters.push_back(std::move(parameter));
    }
    calls.push_back(std::move(call));
    if (in.AtEnd()) break;
  }
  return calls;
}

TransactionRequest ParseTransactionRequest(std::span<const std::uint8_t> payload,
                                           TdsVersion version) {
  ByteReader in(payload);
  SkipAllHeaders(in, version);
  std::uint16_t type = in.U16();
  // The name's length byte counts bytes in practice, not characters.
  auto readName = [&] {
    auto bytes = in.Take(in.U8());
    return Utf16LeBytesToUtf8(bytes.first(bytes.size() - bytes.size() % 2));
  };
  TransactionRequest request;
  switch (type) {
    case 5:
      request.kind = TransactionRequest::Kind::Begin;
      in.U8();  // isolation level
      request.name = readName();
      return request;
    case 7:
    case 8:
      request.kind =
          type == 7 ? TransactionRequest::Kind::Commit : TransactionRequest::Kind::Rollback;
      request.name = readName();
      if (!in.AtEnd()) request.beginNew = in.U8() != 0;
      return request;
    case 9:
      request.kind = TransactionRequest::Kind::Save;
      request.name = readName();
      return request;
    default:
      throw ProtocolError("transaction manager request type " + std::to_string(type) +
                          " (distributed transactions) is not supported");
  }
}

}  // namespace standin::tds
