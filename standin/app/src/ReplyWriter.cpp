#include "ReplyWriter.h"

#include "Log.h"
#include "Socket.h"
#include "engine/Errors.h"
#include "tds/Values.h"

namespace standin::app {
namespace {

tds::Token DoneToken(engine::Done::Kind kind) {
  switch (kind) {
    case engine::Done::Kind::Statement:
      return tds::Token::Done;
    case engine::Done::Kind::InProcedure:
      return tds::Token::DoneInProc;
    case engine::Done::Kind::Procedure:
      return tds::Token::DoneProc;
  }
  return tds::Token::Done;
}

}  // namespace

ReplyWriter::ReplyWriter(tds::MessageWriter& writer, tds::TdsVersion version,
                         std::string serverName, int spid, const std::atomic<bool>& cancelled,
                         std::function<void()> requestCancel)
    : m_Writer(writer),
      m_Tokens(writer.Payload(), version),
      m_ServerName(std::move(serverName)),
      m_Spid(spid),
      m_Cancelled(cancelled),
      m_RequestCancel(std::move(requestCancel)) {}

bool ReplyWriter::Dropping() {
  if (!m_ClientGone && !m_Cancelled.load()) return false;
  if (m_RequestCancel) m_RequestCancel();
  return true;
}

void ReplyWriter::ReleaseHeldDone() {
  if (!m_HeldDone) return;
  const engine::Done& done = *m_HeldDone;
  std::uint16_t status = tds::done::kMore;
  if (done.error) status |= tds::done::kError;
  if (done.inTransaction) status |= tds::done::kInTransaction;
  // A counted DONEPROC would be added to the statements' counts by some
  // clients, doubling the total.
  if (done.hasCount && done.kind != engine::Done::Kind::Procedure) status |= tds::done::kCount;
  m_Tokens.Done(DoneToken(done.kind), status, done.currentCommand,
                (status & tds::done::kCount) ? done.rowCount : 0);
  m_HeldDone.reset();
}

void ReplyWriter::Flush() {
  if (m_ClientGone) {
    m_Writer.DiscardUnsent();
    return;
  }
  try {
    m_Writer.FlushFull();
  } catch (const SocketClosed&) {
    m_ClientGone = true;
    m_Writer.DiscardUnsent();
  }
}

void ReplyWriter::ReportEncodeFailure(const std::exception& failure) {
  Error(engine::MakeMessage(engine::kErrorUnsupported,
                            {std::string("sending this result value (") + failure.what() + ")"}));
}

void ReplyWriter::Columns(const std::vector<engine::Column>& columns) {
  if (Dropping()) return;
  ReleaseHeldDone();
  m_Columns = columns;
  m_ResultFailed = false;
  try {
    m_Tokens.ColMetadata(m_Columns);
  } catch (const tds::EncodeError& failure) {
    m_ResultFailed = true;
    ReportEncodeFailure(failure);
  }
  Flush();
}

void ReplyWriter::Row(const std::vector<engine::Value>& row) {
  if (Dropping() || m_ResultFailed) return;
  try {
    m_Tokens.Row(m_Columns, row);
  } catch (const tds::EncodeError& failure) {
    // A half-written result cannot be taken back; end it with the error.
    m_ResultFailed = true;
    ReportEncodeFailure(failure);
  }
  Flush();
}

void ReplyWriter::Info(const engine::Message& message) {
  if (Dropping()) return;
  ReleaseHeldDone();
  m_Tokens.Message(message, m_ServerName);
  Flush();
}

void ReplyWriter::Error(const engine::Message& message) {
  m_SawError = true;
  m_ErrorSinceDone = true;
  LogLine("spid " + std::to_string(m_Spid) + ": error " + std::to_string(message.number) +
          ", severity " + std::to_string(message.severity) + ": " + message.text);
  if (Dropping()) return;
  ReleaseHeldDone();
  m_Tokens.Message(message, m_ServerName);
  Flush();
}

void ReplyWriter::EnvironmentChanged(const engine::EnvChange& change) {
  // Transaction changes go out even when cancelled: the client's idea of the
  // open transaction must follow the server's.
  if (m_ClientGone) return;
  ReleaseHeldDone();
  auto bytes = [](const std::string& text) {
    return std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
  };
  switch (change.type) {
    case engine::EnvChangeType::Database:
      m_Tokens.EnvChangeText(tds::EnvChangeKind::Database, change.newValue, change.oldValue);
      break;
    case engine::EnvChangeType::BeginTransaction:
    case engine::EnvChangeType::CommitTransaction:
    case engine::EnvChangeType::RollbackTransaction:
      m_Tokens.EnvChangeBytes(static_cast<tds::EnvChangeKind>(change.type), bytes(change.newValue),
                              bytes(change.oldValue));
      break;
  }
  Flush();
}

void ReplyWriter::ReturnStatus(std::int32_t status) {
  if (Dropping()) return;
  ReleaseHeldDone();
  m_Tokens.ReturnStatus(status);
  Flush();
}

void ReplyWriter::ReturnValue(const engine::Parameter& parameter, std::uint16_t ordinal) {
  if (Dropping()) return;
  ReleaseHeldDone();
  try {
    m_Tokens.ReturnValue(parameter, ordinal);
  } catch (const tds::EncodeError& failure) {
    ReportEncodeFailure(failure);
  }
  Flush();
}

void ReplyWriter::StatementDone(const engine::Done& done) {
  if (m_ClientGone) return;
  // After a cancel, Finish writes the reply's last DONE.
  if (m_Cancelled.load()) return;
  ReleaseHeldDone();
  m_HeldDone = done;
  if (m_ErrorSinceDone || m_ResultFailed) m_HeldDone->error = true;
  m_ErrorSinceDone = false;
  m_ResultFailed = false;
}

void ReplyWriter::Finish() {
  if (m_ClientGone) return;
  if (m_HeldDone && !m_ErrorSinceDone && !m_Cancelled.load()) {
    const engine::Done& done = *m_HeldDone;
    std::uint16_t status = tds::done::kFinal;
    if (done.error) status |= tds::done::kError;
    if (done.inTransaction) status |= tds::done::kInTransaction;
    if (done.hasCount && done.kind != engine::Done::Kind::Procedure) status |= tds::done::kCount;
    m_Tokens.Done(DoneToken(done.kind), status, done.currentCommand,
                  (status & tds::done::kCount) ? done.rowCount : 0);
  } else {
    // Nothing ended the reply yet (or an error followed the last statement, or
    // the client cancelled): close it with a plain DONE.
    ReleaseHeldDone();
    std::uint16_t status = m_ErrorSinceDone ? tds::done::kError : tds::done::kFinal;
    m_Tokens.Done(tds::Token::Done, status, 0, 0);
  }
  m_HeldDone.reset();
  try {
    m_Writer.EndMessage();
  } catch (const SocketClosed&) {
    m_ClientGone = true;
    m_Writer.DiscardUnsent();
  }
}

}  // namespace standin::app
