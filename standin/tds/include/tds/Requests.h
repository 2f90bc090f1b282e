// Client requests after login: SQL batch text, RPC calls (by name or by the
// well-known procedure ids) with their parameters, and transaction-manager
// requests.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "tds/EngineTypes.h"
#include "tds/Protocol.h"

namespace standin::tds {

// Skips ALL_HEADERS (present from 7.2 on) and decodes the UTF-16LE text.
std::string ParseSqlBatch(std::span<const std::uint8_t> payload, TdsVersion version);

struct RpcCall {
  std::string procedureName;  // well-known ids are resolved to their names
  std::uint16_t optionFlags = 0;
  std::vector<engine::Parameter> parameters;
};

// One RPC message may hold several calls separated by 0xFF (7.2+) or 0x80
// (7.1); 0xFE ("no exec") separators are accepted too.
std::vector<RpcCall> ParseRpc(std::span<const std::uint8_t> payload, TdsVersion version);

// The name of a well-known RPC procedure id (10 = sp_executesql, ...), or
// nullopt.
std::optional<std::string> WellKnownProcedure(std::uint16_t id);

struct TransactionRequest {
  enum class Kind { Begin, Commit, Rollback, Save };
  Kind kind = Kind::Begin;
  std::string name;
  bool beginNew = false;  // commit/rollback that opens the next transaction at once
};

// Throws ProtocolError for distributed-transaction requests and malformed data.
TransactionRequest ParseTransactionRequest(std::span<const std::uint8_t> payload,
                                           TdsVersion version);

}  // namespace standin::tds
