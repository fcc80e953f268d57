#include "OfficeSession.h"

#include <algorithm>
#include <com/sun/star/bridge/BridgeFactory.hpp>
#include <com/sun/star/connection/Connector.hpp>
#include <com/sun/star/connection/NoConnectException.hpp>
#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/lang/XComponent.hpp>
#include <cppuhelper/bootstrap.hxx>
#include <mutex>
#include <rtl/bootstrap.hxx>
#include <thread>

using namespace css;
using rtl::OUString;
using namespace std::chrono_literals;

namespace {
constexpr int kMaxRestarts = 3;
}

OfficeSession::~OfficeSession() { dispose(); }

uno::Reference<uno::XComponentContext> OfficeSession::LocalContext() {
  static std::mutex mutex;
  // Deliberately never destroyed: the runtime must outlive every static destructor that could
  // still hold a UNO reference.
  static uno::Reference<uno::XComponentContext>* context = nullptr;
  std::lock_guard lock(mutex);
  if (context == nullptr) {
    try {
      // The office's own bootstrap chain: unorc names the type and service registries and
      // takes the office's API types from fundamentalrc, found through URE_BOOTSTRAP.
      rtl::Bootstrap::set("URE_BOOTSTRAP",
                          "vnd.sun.star.pathname:" KAVRETO_DEFAULT_OFFICE_PROGRAM_DIR "/fundamentalrc");
      uno::Reference<uno::XComponentContext> local =
          cppu::defaultBootstrap_InitialComponentContext("file://" KAVRETO_DEFAULT_OFFICE_PROGRAM_DIR "/unorc");
      if (local.is()) context = new uno::Reference<uno::XComponentContext>(local);
    } catch (const uno::Exception&) {
    }
  }
  return context != nullptr ? *context : uno::Reference<uno::XComponentContext>();
}

bool OfficeSession::open(OfficeProcess& process, const OfficeProcess::Settings& settings,
                         std::chrono::steady_clock::time_point deadline, const std::function<void(pid_t)>& started) {
  dispose();
  const uno::Reference<uno::XComponentContext> local = LocalContext();
  if (!local.is()) return false;
  if (!process.start(settings)) return false;
  if (started) started(process.pid());

  const OUString description =
      "pipe,name=" +
      OUString(settings.pipeName.data(), static_cast<sal_Int32>(settings.pipeName.size()), RTL_TEXTENCODING_UTF8);
  int restarts = 0;
  try {
    const uno::Reference<connection::XConnector> connector = connection::Connector::create(local);
    uno::Reference<connection::XConnection> connection;
    while (!connection.is()) {
      try {
        connection = connector->connect(description);
      } catch (const connection::NoConnectException&) {
        if (process.hasExited()) {
          if (process.exitCode() != OfficeProcess::kRestartRequested || ++restarts > kMaxRestarts) return false;
          if (!process.start(settings)) return false;
          if (started) started(process.pid());
          continue;
        }
        if (std::chrono::steady_clock::now() >= deadline) return false;
        std::this_thread::sleep_for(10ms);
      }
    }
    // From here on the calls go to the office: one that is stuck while starting would block
    // them for ever, so the rest of the start time is enforced by killing it.
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    process.armWatchdog(std::max(left, std::chrono::milliseconds(1000)));
    const uno::Reference<bridge::XBridgeFactory2> factory = bridge::BridgeFactory::create(local);
    bridge_ = factory->createBridge(OUString(), "urp", connection, nullptr);
    remoteContext_.set(bridge_->getInstance("StarOffice.ComponentContext"), uno::UNO_QUERY_THROW);
    desktop_ = frame::Desktop::create(remoteContext_);
    return true;
  } catch (const uno::Exception&) {
    dispose();
    return false;
  }
}

void OfficeSession::terminateOffice() {
  if (!desktop_.is()) return;
  try {
    desktop_->terminate();
  } catch (const uno::Exception&) {
    // The office is gone already, or going; either way it ends.
  }
}

void OfficeSession::dispose() {
  // Release the proxies first, while the bridge can still pass the releases on (a dead bridge
  // drops them quietly).
  try {
    desktop_.clear();
    remoteContext_.clear();
  } catch (const uno::Exception&) {
  }
  if (bridge_.is()) {
    try {
      uno::Reference<lang::XComponent> component(bridge_, uno::UNO_QUERY);
      if (component.is()) component->dispose();
    } catch (const uno::Exception&) {
    }
    bridge_.clear();
  }
}
