#include "service/ControlDispatcher.h"

#include <algorithm>
#include <charconv>
#include <exception>

#include "service/ControlProtocol.h"

namespace standin::service {

namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    return lower(x) == lower(y);
  });
}

ControlReply Error(ControlError error, bool close = false) {
  return {ErrorLine(error), close, std::nullopt};
}

ControlReply Ok(int state) {
  return {"OK " + std::to_string(state), false, std::nullopt};
}

// The longest whole-character prefix of `name` whose encoding fits in `room`
// bytes, encoded: the answer must stay one line, and a cut UTF-8 sequence
// would not decode to text.
std::string EncodedNameThatFits(std::string_view name, std::size_t room) {
  std::size_t used = 0;
  std::size_t fits = 0;
  for (std::size_t i = 0; i < name.size(); ++i) {
    used += EncodeArgument(name.substr(i, 1)).size();
    if (used > room) break;
    bool endsCharacter =
        i + 1 == name.size() || (static_cast<unsigned char>(name[i + 1]) & 0xC0) != 0x80;
    if (endsCharacter) fits = i + 1;
  }
  return EncodeArgument(name.substr(0, fits));
}

}  // namespace

// One row per verb; a new command is one more row and one Run method.
const ControlDispatcher::Command ControlDispatcher::kCommands[] = {
    {"JOIN", 0, Access::kAnyone, false, &ControlDispatcher::RunJoin},
    {"STATUS", 3, Access::kLogin, true, &ControlDispatcher::RunStatus},
    {"START", 3, Access::kServerAdmin, true, &ControlDispatcher::RunStart},
    {"STOP", 3, Access::kServerAdmin, true, &ControlDispatcher::RunStop},
    {"QUIT", 0, Access::kAnyone, false, &ControlDispatcher::RunQuit},
    {"FAULT", 5, Access::kSysAdmin, false, &ControlDispatcher::RunFault},
    {"NOFAULTS", 2, Access::kSysAdmin, false, &ControlDispatcher::RunNoFaults},
};

ControlReply ControlDispatcher::Handle(std::string_view line) {
  try {
    return Dispatch(line);
  } catch (const std::exception&) {
    return Error(ControlError::kInternalError, true);
  }
}

ControlReply ControlDispatcher::Dispatch(std::string_view line) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  std::vector<std::string_view> words = SplitWords(line);
  if (words.empty()) return Error(ControlError::kInvalidParameter);

  const Command* command = nullptr;
  for (const Command& candidate : kCommands) {
    if (EqualsIgnoringCase(words[0], candidate.verb)) command = &candidate;
  }
  if (command == nullptr || words.size() - 1 != command->argumentCount) {
    return Error(ControlError::kInvalidParameter);
  }

  Arguments arguments;
  for (std::size_t i = 1; i < words.size(); ++i) {
    std::optional<std::string> decoded = DecodeArgument(words[i]);
    // A NUL cannot be part of a service, login or password, and would be cut
    // off by any C string further on: "sa%00x" must not pass as "sa".
    if (!decoded || decoded->find('\0') != std::string::npos) {
      return Error(ControlError::kInvalidParameter);
    }
    arguments.push_back(std::move(*decoded));
  }

  // Credentials before the service name, as the service control manager does:
  // a stranger learns nothing about which services exist.
  if (command->access != Access::kAnyone) {
    const std::string& login = arguments[arguments.size() - 2];
    const std::string& password = arguments[arguments.size() - 1];
    LoginRole role = m_Host.CheckLogin(login, password);
    if (role == LoginRole::kUnknown) {
      ControlReply refused = Error(ControlError::kLogonFailure);
      refused.failedLogin = login;
      return refused;
    }
    if (command->firstArgumentIsService && !EqualsIgnoringCase(arguments[0], kServiceName)) {
      return Error(ControlError::kServiceDoesNotExist);
    }
    bool allowed = command->access == Access::kLogin ||
                   (command->access == Access::kServerAdmin && role >= LoginRole::kServerAdmin) ||
                   (command->access == Access::kSysAdmin && role >= LoginRole::kSysAdmin);
    if (!allowed) return Error(ControlError::kAccessDenied);
  }
  return (this->*command->run)(arguments);
}

ControlReply ControlDispatcher::RunJoin(const Arguments&) {
  JoinInfo join = m_Host.Join();
  int status = join.status >= 0 && join.status <= 3 ? join.status : 0;
  std::string prefix = "OK " + std::to_string(status) + " ";
  return {prefix + EncodedNameThatFits(join.name, kMaxLineBytes - prefix.size()), false,
          std::nullopt};
}

ControlReply ControlDispatcher::RunStatus(const Arguments&) {
  return Ok(m_Host.State());
}

ControlReply ControlDispatcher::RunStart(const Arguments&) {
  std::lock_guard lock(m_ControlMutex);
  int state = m_Host.State();
  if (state == kStateRunning || state == kStateStartPending) {
    return Error(ControlError::kServiceAlreadyRunning);
  }
  if (state != kStateStopped) return Error(ControlError::kServiceCannotAcceptControl);
  if (!m_Host.Start()) return Error(ControlError::kServiceRequestTimeout);
  return Ok(m_Host.State());
}

ControlReply ControlDispatcher::RunStop(const Arguments&) {
  std::lock_guard lock(m_ControlMutex);
  int state = m_Host.State();
  if (state == kStateStopped) return Error(ControlError::kServiceNotActive);
  if (state != kStateRunning && state != kStatePaused) {
    return Error(ControlError::kServiceCannotAcceptControl);
  }
  if (!m_Host.Stop()) return Error(ControlError::kServiceRequestTimeout);
  return Ok(m_Host.State());
}

ControlReply ControlDispatcher::RunQuit(const Arguments&) {
  return {"OK", true, std::nullopt};
}

// FAULT <pattern> <error number> once|always <login> <password>
ControlReply ControlDispatcher::RunFault(const Arguments& arguments) {
  FaultRule rule;
  rule.pattern = arguments[0];
  const std::string& number = arguments[1];
  auto [end, ec] = std::from_chars(number.data(), number.data() + number.size(), rule.errorNumber);
  bool numberOk = ec == std::errc() && end == number.data() + number.size() && rule.errorNumber > 0;
  bool modeOk =
      EqualsIgnoringCase(arguments[2], "once") || EqualsIgnoringCase(arguments[2], "always");
  if (rule.pattern.empty() || !numberOk || !modeOk) return Error(ControlError::kInvalidParameter);
  rule.once = EqualsIgnoringCase(arguments[2], "once");
  if (!m_Host.InjectFault(rule)) return Error(ControlError::kNotSupported);
  return {"OK", false, std::nullopt};
}

// NOFAULTS <login> <password>
ControlReply ControlDispatcher::RunNoFaults(const Arguments&) {
  if (!m_Host.ClearFaults()) return Error(ControlError::kNotSupported);
  return {"OK", false, std::nullopt};
}

}  // namespace standin::service
