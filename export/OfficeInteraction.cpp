#include "OfficeInteraction.h"

#include <com/sun/star/document/BrokenPackageRequest.hpp>
#include <com/sun/star/document/FilterOptionsRequest.hpp>
#include <com/sun/star/document/LockedDocumentRequest.hpp>
#include <com/sun/star/document/NoSuchFilterRequest.hpp>
#include <com/sun/star/document/XInteractionFilterOptions.hpp>
#include <com/sun/star/task/DocumentMSPasswordRequest.hpp>
#include <com/sun/star/task/DocumentMSPasswordRequest2.hpp>
#include <com/sun/star/task/DocumentPasswordRequest.hpp>
#include <com/sun/star/task/DocumentPasswordRequest2.hpp>
#include <com/sun/star/task/ErrorCodeRequest.hpp>
#include <com/sun/star/task/XInteractionAbort.hpp>
#include <com/sun/star/task/XInteractionApprove.hpp>
#include <com/sun/star/ucb/InteractiveAugmentedIOException.hpp>
#include <com/sun/star/ucb/InteractiveIOException.hpp>
#include <cstdio>

using namespace css;

namespace {

// The office's error codes: bit 31 marks a warning; bits 8 to 12 hold the class.
constexpr sal_uInt32 kWarningMask = 0x80000000u;
constexpr int kClassShift = 8;
constexpr sal_uInt32 kClassMask = 31u;
enum ErrorClass : sal_uInt32 {
  kClassAbort = 1,
  kClassGeneral = 2,
  kClassNotExists = 3,
  kClassAccess = 5,
  kClassPath = 6,
  kClassLocking = 7,
  kClassNotSupported = 10,
  kClassRead = 11,
  kClassUnknown = 13,
  kClassVersion = 14,
  kClassFormat = 15,
  kClassImport = 17,
};

std::string Utf8(const rtl::OUString& text) { return text.toUtf8().getStr(); }

// The office's message without the source location it appends (" at ./path/file.cxx:123").
std::string Message(const rtl::OUString& message) {
  std::string text = Utf8(message);
  const size_t at = text.rfind(" at ./");
  if (at != std::string::npos) text.resize(at);
  if (text.rfind("at ./", 0) == 0) text.clear();
  return text;
}

// The codes that say a document is encrypted: the office's ERRCODE_SVX_WRONGPASS,
// ERRCODE_SVX_READ_FILTER_CRYPT, ERRCODE_SVX_READ_FILTER_PPOINT and ERRCODE_SFX_WRONGPASSWORD.
bool IsPasswordCode(sal_uInt32 code) { return code == 0x1000f || code == 0x10b10 || code == 0x10b11 || code == 0x4b0b; }

// Names of the office's error codes a presentation load gives.
const char* CodeName(sal_uInt32 code) {
  switch (code) {
    case 0x1000f:
      return "wrong password";
    case 0x10b10:
      return "unsupported encryption method";
    case 0x10b11:
      return "password-encrypted PowerPoint document";
    case 0x4b0b:
      return "wrong password";
    case 0x0302:
      return "file does not exist";
    case 0x0507:
      return "access denied";
    case 0x0708:
      return "locking violation";
    case 0x020d:
      return "general input/output error";
    case 0x0b0f:
      return "cannot read";
    case 0x0e14:
      return "wrong version";
    case 0x0f15:
      return "wrong format";
    case 0x0f26:
      return "broken package";
    case 0x0a0c:
      return "not supported";
    default:
      return nullptr;
  }
}

std::string Hex(sal_uInt32 code) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(code));
  return text;
}

// "<type>: <message>" as the office put it.
std::string Words(const uno::Any& request, const rtl::OUString& message) {
  std::string words = Utf8(request.getValueTypeName());
  const std::string text = Message(message);
  if (!text.empty()) words += ": " + text;
  return words;
}

ExportProblem ProblemOfIOError(ucb::IOErrorCode code) {
  switch (code) {
    case ucb::IOErrorCode_ACCESS_DENIED:
    case ucb::IOErrorCode_LOCKING_VIOLATION:
    case ucb::IOErrorCode_NOT_EXISTING:
    case ucb::IOErrorCode_NOT_EXISTING_PATH:
    case ucb::IOErrorCode_NO_FILE:
    case ucb::IOErrorCode_INVALID_ACCESS:
    case ucb::IOErrorCode_CANT_READ:
    case ucb::IOErrorCode_INVALID_DEVICE:
    case ucb::IOErrorCode_DEVICE_NOT_READY:
      return ExportProblem::Unreadable;
    case ucb::IOErrorCode_WRONG_FORMAT:
    case ucb::IOErrorCode_BAD_CRC:
      return ExportProblem::Damaged;
    case ucb::IOErrorCode_NOT_SUPPORTED:
    case ucb::IOErrorCode_WRONG_VERSION:
      return ExportProblem::UnsupportedFormat;
    default:
      return ExportProblem::None;
  }
}

}  // namespace

ExportProblem OfficeInteraction::ProblemOfErrorCode(sal_uInt32 code) {
  if (code == 0 || (code & kWarningMask) != 0) return ExportProblem::None;
  if (IsPasswordCode(code)) return ExportProblem::Encrypted;
  switch ((code >> kClassShift) & kClassMask) {
    case kClassNotExists:
    case kClassAccess:
    case kClassPath:
    case kClassLocking:
      return ExportProblem::Unreadable;
    case kClassRead:
    case kClassFormat:
    case kClassImport:
      return ExportProblem::Damaged;
    case kClassNotSupported:
    case kClassVersion:
      return ExportProblem::UnsupportedFormat;
    default:
      return ExportProblem::None;
  }
}

void OfficeInteraction::handle(const uno::Reference<task::XInteractionRequest>& request) {
  if (!request.is()) return;
  const uno::Any what = request->getRequest();

  uno::Reference<task::XInteractionAbort> abort;
  uno::Reference<task::XInteractionApprove> approve;
  uno::Reference<document::XInteractionFilterOptions> filterOptions;
  const uno::Sequence<uno::Reference<task::XInteractionContinuation>> continuations = request->getContinuations();
  for (const auto& continuation : continuations) {
    if (!abort.is()) abort.set(continuation, uno::UNO_QUERY);
    if (!approve.is()) approve.set(continuation, uno::UNO_QUERY);
    if (!filterOptions.is()) filterOptions.set(continuation, uno::UNO_QUERY);
  }

  task::ErrorCodeRequest errorCode;
  document::LockedDocumentRequest locked;
  document::FilterOptionsRequest options;
  task::DocumentPasswordRequest password;
  task::DocumentPasswordRequest2 password2;
  task::DocumentMSPasswordRequest msPassword;
  task::DocumentMSPasswordRequest2 msPassword2;
  document::BrokenPackageRequest broken;
  document::NoSuchFilterRequest noFilter;
  ucb::InteractiveAugmentedIOException augmentedIo;
  ucb::InteractiveIOException io;

  if (what >>= errorCode) {
    const sal_uInt32 code = static_cast<sal_uInt32>(errorCode.ErrCode);
    const bool warning = (code & kWarningMask) != 0;
    if (!warning) {
      const char* name = CodeName(code);
      note(ProblemOfErrorCode(code),
           Words(what, errorCode.Message) + " " + Hex(code) + (name != nullptr ? std::string(" (") + name + ")" : ""));
    }
    if (approve.is() && warning)
      approve->select();
    else if (abort.is())
      abort->select();
    return;
  }
  if (what >>= locked) {
    if (approve.is())
      approve->select();
    else if (abort.is())
      abort->select();
    return;
  }
  if (what >>= options) {
    if (filterOptions.is()) filterOptions->select();
    return;
  }
  if ((what >>= password) || (what >>= password2) || (what >>= msPassword) || (what >>= msPassword2)) {
    rtl::OUString message;
    if (what >>= password) message = password.Message;
    if (what >>= password2) message = password2.Message;
    if (what >>= msPassword) message = msPassword.Message;
    if (what >>= msPassword2) message = msPassword2.Message;
    note(ExportProblem::Encrypted, Words(what, message));
  } else if (what >>= noFilter) {
    note(ExportProblem::NotAPresentation, Words(what, noFilter.Message) + ": the office found no filter that reads it");
    std::lock_guard lock(mutex_);
    noFilter_ = true;
  } else if (what >>= broken) {
    note(ExportProblem::Damaged, Words(what, broken.Message));
  } else if (what >>= augmentedIo) {
    note(ProblemOfIOError(augmentedIo.Code), Words(what, augmentedIo.Message));
  } else if (what >>= io) {
    note(ProblemOfIOError(io.Code), Words(what, io.Message));
  } else {
    note(ExportProblem::None, Utf8(what.getValueTypeName()));
  }
  if (abort.is()) abort->select();
}

void OfficeInteraction::note(ExportProblem problem, const std::string& detail) {
  std::lock_guard lock(mutex_);
  if (problem_ != ExportProblem::None) return;  // the first problem is the cause
  problem_ = problem;
  if (detail_.empty() || problem != ExportProblem::None) detail_ = detail;
}

ExportProblem OfficeInteraction::problem() const {
  std::lock_guard lock(mutex_);
  return problem_;
}

std::string OfficeInteraction::detail() const {
  std::lock_guard lock(mutex_);
  return detail_;
}

bool OfficeInteraction::foundNoFilter() const {
  std::lock_guard lock(mutex_);
  return noFilter_;
}

void OfficeInteraction::clear() {
  std::lock_guard lock(mutex_);
  noFilter_ = false;
  problem_ = ExportProblem::None;
  detail_.clear();
}
