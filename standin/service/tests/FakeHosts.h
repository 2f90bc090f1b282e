// Test twins of the hosts: a service whose state, logins and failures the
// test sets, and which counts what it was asked to do.
#pragma once

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "service/BrowserResponder.h"
#include "service/ControlProtocol.h"
#include "service/ServiceHost.h"

namespace standin::service::testing {

class FakeServiceHost : public ServiceHost {
 public:
  FakeServiceHost() {
    m_Logins["sa"] = {"secret", LoginRole::kSysAdmin};
    m_Logins["operator"] = {"op pass", LoginRole::kServerAdmin};
    m_Logins["reader"] = {"", LoginRole::kValid};
  }

  JoinInfo Join() override {
    std::lock_guard lock(m_Mutex);
    return join;
  }
  LoginRole CheckLogin(const std::string& login, const std::string& password) override {
    std::lock_guard lock(m_Mutex);
    auto it = m_Logins.find(login);
    if (it == m_Logins.end() || it->second.first != password) return LoginRole::kUnknown;
    return it->second.second;
  }
  int State() override {
    if (throwing) throw std::runtime_error("catalogue unavailable");
    return state;
  }
  bool Start() override {
    ++starts;
    std::this_thread::sleep_for(std::chrono::milliseconds(controlDelayMs));
    if (failControl) return false;
    state = kStateRunning;
    return true;
  }
  bool Stop() override {
    ++stops;
    std::this_thread::sleep_for(std::chrono::milliseconds(controlDelayMs));
    if (failControl) return false;
    state = kStateStopped;
    return true;
  }

  bool InjectFault(const FaultRule& rule) override {
    std::lock_guard lock(m_Mutex);
    if (!supportsFaults) return false;
    lastFault = rule;
    return true;
  }

  bool ClearFaults() override {
    std::lock_guard lock(m_Mutex);
    if (!supportsFaults) return false;
    ++clears;
    return true;
  }

  std::atomic<int> state{kStateRunning};
  std::atomic<int> starts{0};
  std::atomic<int> stops{0};
  std::atomic<bool> failControl{false};
  std::atomic<bool> throwing{false};
  std::atomic<int> controlDelayMs{0};
  JoinInfo join{2, "WORKGROUP"};
  bool supportsFaults = true;
  FaultRule lastFault;
  int clears = 0;

 private:
  std::mutex m_Mutex;
  std::map<std::string, std::pair<std::string, LoginRole>> m_Logins;
};

class FakeBrowserHost : public BrowserHost {
 public:
  InstanceInfo Instance() override {
    std::lock_guard lock(m_Mutex);
    return instance;
  }
  void SetPort(int port) {
    std::lock_guard lock(m_Mutex);
    instance.tcpPort = port;
  }

  InstanceInfo instance{"ARCHIVEHOST", "8.00.2039", 1433};

 private:
  std::mutex m_Mutex;
};

}  // namespace standin::service::testing
