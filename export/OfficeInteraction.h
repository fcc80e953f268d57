#pragma once
// The interaction handler passed to the office with every document it loads. It answers as
// the office answers by itself when loading hidden (errors abort the load, warnings are let
// pass, a locked document opens read-only, filter options take their defaults, anything
// else is aborted: no password is ever given, nothing is repaired), and keeps what the
// office asked, so that a refused file can be told apart: encrypted, damaged, unreadable.
//
// Threads: handle() is called by the UNO bridge on one of its threads while a load runs on
// another; the accessors may be called from any thread (a mutex guards the record).

#include <com/sun/star/task/XInteractionHandler.hpp>
#include <cppuhelper/implbase1.hxx>
#include <mutex>
#include <string>

#include "ExportPresentation.h"

class OfficeInteraction : public cppu::WeakImplHelper1<css::task::XInteractionHandler> {
 public:
  void SAL_CALL handle(const css::uno::Reference<css::task::XInteractionRequest>& request) override;

  // The first problem a request of the office pointed at, and its words; None when none did.
  ExportProblem problem() const;
  std::string detail() const;
  // Whether the office said it has no filter that reads the file (its type detection found
  // nothing): a file of no kind it knows, or a presentation too broken to be recognised.
  bool foundNoFilter() const;
  // Forgets what was asked (before the next document).
  void clear();

  // The kind of problem an office error code (ErrCode) stands for; None for a warning or a
  // code that names no problem of the file.
  static ExportProblem ProblemOfErrorCode(sal_uInt32 code);

 private:
  void note(ExportProblem problem, const std::string& detail);

  mutable std::mutex mutex_;
  ExportProblem problem_ = ExportProblem::None;
  std::string detail_;
  bool noFilter_ = false;
};
