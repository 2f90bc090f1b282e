// The BatchSink that turns what the engine reports into the reply's tokens and
// streams them in packets while the batch runs.
//
// Every statement's DONE is held back until the next token shows whether it
// was the last: clients end a reply at the first DONE-family token without
// DONE_MORE, so all but the final one must carry it, and the final one must sit
// in the packet with EOM.
//
// Once the client cancels (ATTENTION) or goes away, further results are
// dropped; Finish still ends the reply properly when the client is there.
#pragma once

#include <atomic>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tds/EngineTypes.h"
#include "tds/Packet.h"
#include "tds/TokenWriter.h"

namespace standin::app {

class ReplyWriter : public engine::BatchSink {
 public:
  // `cancelled` is set by the connection's reader when ATTENTION arrives;
  // `requestCancel` is called whenever output is dropped because of it (or
  // because the client is gone), so a cancel that raced with the start of a
  // statement is not lost.
  ReplyWriter(tds::MessageWriter& writer, tds::TdsVersion version, std::string serverName, int spid,
              const std::atomic<bool>& cancelled, std::function<void()> requestCancel);

  void Columns(const std::vector<engine::Column>& columns) override;
  void Row(const std::vector<engine::Value>& row) override;
  void Info(const engine::Message& message) override;
  void Error(const engine::Message& message) override;
  void EnvironmentChanged(const engine::EnvChange& change) override;
  void ReturnStatus(std::int32_t status) override;
  void ReturnValue(const engine::Parameter& parameter, std::uint16_t ordinal) override;
  void StatementDone(const engine::Done& done) override;

  // Ends the reply: the held DONE goes out without DONE_MORE (or a plain final
  // DONE if the engine reported none) and the message gets its EOM.
  void Finish();
  // True when writing failed because the client is gone.
  bool ClientGone() const { return m_ClientGone; }
  // An error (severity 11 or more) was reported since the reply began.
  bool SawError() const { return m_SawError; }

 private:
  bool Dropping();
  // Writes the held DONE with DONE_MORE before another token.
  void ReleaseHeldDone();
  void Flush();
  void ReportEncodeFailure(const std::exception& failure);

  tds::MessageWriter& m_Writer;
  tds::TokenWriter m_Tokens;
  std::string m_ServerName;
  int m_Spid;
  const std::atomic<bool>& m_Cancelled;
  std::function<void()> m_RequestCancel;
  std::vector<engine::Column> m_Columns;
  bool m_ResultFailed = false;  // a row could not be encoded; the rest of the set is dropped
  std::optional<engine::Done> m_HeldDone;
  bool m_ErrorSinceDone = false;
  bool m_SawError = false;
  bool m_ClientGone = false;
};

}  // namespace standin::app
