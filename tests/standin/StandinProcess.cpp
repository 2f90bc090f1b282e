#include "StandinProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <stdexcept>

namespace standin::integration {

std::string StandinBinary() {
  if (const char* path = std::getenv("SQLSTANDIN")) return path;
  return SQLSTANDIN_PATH;
}

StandinProcess::StandinProcess() {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "sqlstandin-test-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  m_DataDir = pattern;
}

StandinProcess::~StandinProcess() {
  if (m_Pid > 0) Stop();
  std::error_code ignored;
  std::filesystem::remove_all(m_DataDir, ignored);
}

std::string StandinProcess::Log() const {
  std::lock_guard lock(m_LogMutex);
  return m_Log;
}

void StandinProcess::Start(const std::vector<std::string>& extraArguments) {
  // Every port is picked by the system, so parallel tests never collide on
  // the well-known control and browser ports. Tests that try wrong passwords
  // on purpose must not wait for the throttle (a test of it turns it on).
  std::vector<std::string> arguments = {StandinBinary(),
                                        "--data-dir",
                                        m_DataDir.string(),
                                        "--port",
                                        "0",
                                        "--control-port",
                                        "0",
                                        "--browser-port",
                                        "0",
                                        "--sa-password",
                                        kSaPassword,
                                        "--login-delay",
                                        "0"};
  arguments.insert(arguments.end(), extraArguments.begin(), extraArguments.end());
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  pid_t pid = ::fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    // A test killed by its time-out must not leave a server behind.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    ::dup2(pipeFds[1], STDERR_FILENO);
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    _exit(127);
  }
  ::close(pipeFds[1]);
  m_Pid = pid;
  m_LogFd = pipeFds[0];
  {
    std::lock_guard lock(m_LogMutex);
    m_Log.clear();
  }
  m_Port = 0;

  m_LogEnded = false;
  m_LogReader = std::thread([this] {
    static const std::regex listening("sqlstandin: listening on [0-9.]+:([0-9]+)");
    char buffer[4096];
    while (true) {
      ssize_t received = ::read(m_LogFd, buffer, sizeof buffer);
      if (received <= 0) break;
      std::lock_guard lock(m_LogMutex);
      m_Log.append(buffer, static_cast<std::size_t>(received));
      std::smatch match;
      if (m_Port == 0 && std::regex_search(m_Log, match, listening)) {
        std::lock_guard portLock(m_PortMutex);
        m_Port = std::stoi(match[1]);
        m_PortFound.notify_all();
      }
    }
    std::lock_guard portLock(m_PortMutex);
    m_LogEnded = true;
    m_PortFound.notify_all();
  });
  std::unique_lock lock(m_PortMutex);
  bool started = m_PortFound.wait_for(lock, std::chrono::seconds(30),
                                      [&] { return m_Port != 0 || m_LogEnded; });
  lock.unlock();
  if (!started || m_Port == 0) {
    Kill();
    throw std::runtime_error("sqlstandin did not start:\n" + Log());
  }
  // Both are reported before the TDS listener's line.
  std::string log = Log();
  std::smatch match;
  static const std::regex control("control endpoint listening on [0-9.]+:([0-9]+)");
  static const std::regex browser("browser responder on [0-9.]+:([0-9]+)");
  m_ControlPort = std::regex_search(log, match, control) ? std::stoi(match[1]) : 0;
  m_BrowserPort = std::regex_search(log, match, browser) ? std::stoi(match[1]) : 0;
}

int StandinProcess::Wait() {
  int status = 0;
  ::waitpid(m_Pid, &status, 0);
  m_Pid = -1;
  if (m_LogReader.joinable()) m_LogReader.join();
  ::close(m_LogFd);
  m_LogFd = -1;
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return WIFSIGNALED(status) ? -WTERMSIG(status) : -1;
}

int StandinProcess::Stop() {
  if (m_Pid <= 0) return -1;
  ::kill(m_Pid, SIGTERM);
  return Wait();
}

void StandinProcess::Kill() {
  if (m_Pid <= 0) return;
  ::kill(m_Pid, SIGKILL);
  Wait();
}

std::string StandinProcess::ConnectionString(const std::string& user, const std::string& password,
                                             const std::string& database) const {
  std::string text = "DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=" + std::to_string(m_Port) +
                     ";UID=" + user + ";PWD=" + password + ";TDS_Version=7.4;ClientCharset=UTF-8";
  if (!database.empty()) text += ";DATABASE=" + database;
  return text;
}

namespace {

std::string EncodeControlWord(const std::string& value) {
  if (value.empty()) return "-";
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : value) {
    if (std::isalnum(c) || c == '.' || c == '_' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    }
  }
  return out;
}

// Reads up to and without the next LF.
std::string ReadControlLine(int fd) {
  std::string line;
  char c = 0;
  while (::recv(fd, &c, 1, 0) == 1) {
    if (c == '\n') return line;
    line += c;
  }
  throw std::runtime_error("control endpoint closed the connection after \"" + line + "\"");
}

}  // namespace

std::string StandinProcess::Control(const std::vector<std::string>& words,
                                    const std::string& password) const {
  if (m_ControlPort == 0) throw std::runtime_error("sqlstandin runs without control endpoint");
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) throw std::runtime_error("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(m_ControlPort));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  timeval timeout{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  std::string answer;
  try {
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      throw std::runtime_error("cannot connect to the control endpoint: " +
                               std::string(std::strerror(errno)));
    }
    ReadControlLine(fd);  // banner
    std::string request = words.empty() ? std::string() : words[0];
    for (std::size_t i = 1; i < words.size(); ++i) request += " " + EncodeControlWord(words[i]);
    request += " sa " + EncodeControlWord(password) + "\n";
    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size())) {
      throw std::runtime_error("cannot send to the control endpoint");
    }
    answer = ReadControlLine(fd);
  } catch (...) {
    ::close(fd);
    throw;
  }
  ::close(fd);
  return answer;
}

void StandinProcess::InjectFault(const std::string& pattern, int number, bool once) const {
  const std::string answer =
      Control({"FAULT", pattern, std::to_string(number), once ? "once" : "always"});
  if (answer != "OK") throw std::runtime_error("FAULT refused: " + answer);
}

void StandinProcess::ClearFaults() const {
  const std::string answer = Control({"NOFAULTS"});
  if (answer != "OK") throw std::runtime_error("NOFAULTS refused: " + answer);
}

}  // namespace standin::integration
