#pragma once
// The UNO connection to one office process: the local UNO runtime (bootstrapped once per
// process), the connection over the office's pipe, the URP bridge on it and the office's
// desktop. dispose() (also run by the destructor) drops every remote reference and disposes
// the bridge, so no proxy outlives the connection and nothing is left to fail at exit.
//
// Threads: one session is used by one thread; sessions on different threads are independent.

#include <chrono>
#include <com/sun/star/bridge/XBridge.hpp>
#include <com/sun/star/frame/XDesktop2.hpp>
#include <com/sun/star/uno/XComponentContext.hpp>
#include <functional>

#include "OfficeProcess.h"

class OfficeSession {
 public:
  OfficeSession() = default;
  ~OfficeSession();
  OfficeSession(const OfficeSession&) = delete;
  OfficeSession& operator=(const OfficeSession&) = delete;

  // Starts `process` with `settings` and connects to it, retrying every 10 ms until
  // `deadline`. A brand-new profile makes the office exit once asking for a restart; it is
  // started again. `started` is told the id of each process started. False when no
  // connection came up (the process is then still owned by `process`, which ends it).
  // Leaves the process's watchdog armed with what is left of the start time; the caller
  // re-arms it for the work that follows.
  bool open(OfficeProcess& process, const OfficeProcess::Settings& settings,
            std::chrono::steady_clock::time_point deadline, const std::function<void(pid_t)>& started);

  const css::uno::Reference<css::frame::XDesktop2>& desktop() const { return desktop_; }
  // The office's component context (its services are made through it).
  const css::uno::Reference<css::uno::XComponentContext>& remoteContext() const { return remoteContext_; }

  // Asks the office to quit; failures (the office already gone) are ignored.
  void terminateOffice();
  // Releases the remote references and disposes the bridge.
  void dispose();

 private:
  // The local UNO runtime; empty when it cannot be bootstrapped (no office installed).
  static css::uno::Reference<css::uno::XComponentContext> LocalContext();

  css::uno::Reference<css::bridge::XBridge> bridge_;
  css::uno::Reference<css::uno::XComponentContext> remoteContext_;
  css::uno::Reference<css::frame::XDesktop2> desktop_;
};
