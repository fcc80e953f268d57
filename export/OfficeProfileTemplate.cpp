#include "OfficeProfileTemplate.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <com/sun/star/beans/NamedValue.hpp>
#include <com/sun/star/configuration/theDefaultProvider.hpp>
#include <com/sun/star/container/XNameReplace.hpp>
#include <com/sun/star/lang/XMultiServiceFactory.hpp>
#include <com/sun/star/util/XChangesBatch.hpp>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <osl/file.hxx>
#include <set>
#include <sstream>
#include <thread>

#include "OfficeLeftovers.h"
#include "OfficeProcess.h"
#include "OfficeSession.h"
#include "TemporaryDirectory.h"

namespace fs = std::filesystem;
using namespace css;
using namespace std::chrono_literals;

namespace {

constexpr const char* kTemplatePrefix = "office-template-";
// Changes whenever what a template holds changes, so that templates made by an earlier
// kavreto are made again.
constexpr const char* kTemplateFormat = "2: office version recorded";

void Mix(uint64_t& hash, const std::string& data) {
  for (unsigned char c : data) {
    hash ^= c;
    hash *= 1099511628211ULL;  // FNV-1a
  }
}

std::string FileIdentity(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return "-";
  return std::to_string(info.st_size) + ":" + std::to_string(info.st_mtim.tv_sec) + "." +
         std::to_string(info.st_mtim.tv_nsec);
}

std::string FileUrl(const std::string& path) {
  rtl::OUString url;
  if (osl::FileBase::getFileURLFromSystemPath(
          rtl::OUString(path.data(), static_cast<sal_Int32>(path.size()), RTL_TEXTENCODING_UTF8), url) !=
      osl::FileBase::E_None)
    return {};
  return url.toUtf8().getStr();
}

// Takes the lock file's exclusive lock, waiting until `deadline`; -1 when it could not.
int LockUntil(const std::string& path, std::chrono::steady_clock::time_point deadline) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd < 0) return -1;
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= deadline) {
      ::close(fd);
      return -1;
    }
    std::this_thread::sleep_for(50ms);
  }
  return fd;
}

// Templates this process failed to make: not tried again (each try starts the office twice).
std::mutex g_failedMutex;
std::set<std::string> g_failed;

bool IsTemplate(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path + "/user", ec);
}

// Records, in the profile the office runs with, its own version as the version last run.
// Without it the office takes every start for the first one after an upgrade and runs its
// graphics self-test before it accepts a connection: about half a second of drawing, which
// is most of its start-up time (the office's own command line never records it when run
// without a display). False when the office would not say or keep it.
bool RecordOfficeVersion(const uno::Reference<uno::XComponentContext>& context) {
  try {
    const uno::Reference<lang::XMultiServiceFactory> provider = configuration::theDefaultProvider::get(context);
    uno::Sequence<uno::Any> arguments(1);
    arguments.getArray()[0] <<= beans::NamedValue("nodepath", uno::Any(rtl::OUString("/org.openoffice.Setup/Product")));
    const uno::Reference<container::XNameReplace> product(
        provider->createInstanceWithArguments("com.sun.star.configuration.ConfigurationUpdateAccess", arguments),
        uno::UNO_QUERY_THROW);
    rtl::OUString version;
    if (!(product->getByName("ooSetupVersion") >>= version) || version.isEmpty()) return false;
    product->replaceByName("ooSetupLastVersion", uno::Any(version));
    uno::Reference<util::XChangesBatch>(product, uno::UNO_QUERY_THROW)->commitChanges();
    return true;
  } catch (const uno::Exception&) {
    return false;
  }
}

// Lets the office make and initialise a profile in `profile`: started (and started again when
// it asks for that), connected, given its version to record, asked to quit. True when it
// quit by itself (a profile whose version could not be recorded still serves).
bool InitialiseProfile(const ExportOptions& options, const TemporaryDirectory& work, const std::string& profile,
                       std::chrono::steady_clock::time_point deadline) {
  const std::string officeTemp = work.path() + "/tmp";
  if (::mkdir(officeTemp.c_str(), 0700) != 0) return false;
  OfficeProcess::Settings settings;
  settings.programDir = options.officeProgramDir;
  settings.profileUrl = FileUrl(profile);
  settings.pipeName = OfficeProcess::UniquePipeName();
  settings.tempDir = officeTemp;
  if (settings.profileUrl.empty()) return false;
  OfficeLeftovers::RecordPipeFiles(work.path(), settings);

  OfficeProcess office;
  {
    OfficeSession session;
    if (!session.open(office, settings, deadline, nullptr)) {
      office.end(0ms);
      return false;
    }
    RecordOfficeVersion(session.remoteContext());
    session.terminateOffice();
    session.dispose();
  }
  return office.end(options.quitLimit) && office.exitCode() == 0;
}

}  // namespace

std::string OfficeProfileTemplate::CacheDirectory(const std::string& configured) {
  if (!configured.empty()) return configured;
  if (const char* xdg = std::getenv("XDG_CACHE_HOME"); xdg != nullptr && xdg[0] == '/')
    return std::string(xdg) + "/kavreto";
  if (const char* home = std::getenv("HOME"); home != nullptr && home[0] == '/')
    return std::string(home) + "/.cache/kavreto";
  return {};
}

std::string OfficeProfileTemplate::VersionKey(const std::string& programDir) {
  std::ifstream in(programDir + "/versionrc", std::ios::binary);
  if (!in) return {};
  std::ostringstream buffer;
  buffer << in.rdbuf();
  const std::string versionrc = buffer.str();
  std::string buildId;
  std::istringstream lines(versionrc);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("buildid=", 0) == 0) buildId = line.substr(8);
  if (buildId.empty()) return {};

  uint64_t hash = 14695981039346656037ULL;
  Mix(hash, versionrc);
  Mix(hash, FileIdentity(programDir + "/soffice.bin"));
  Mix(hash, FileIdentity(programDir + "/libmergedlo.so"));
  Mix(hash, kTemplateFormat);
  std::string key;
  for (char c : buildId) {
    const bool plain = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.';
    if (plain)
      key.push_back(c);
    else if (!key.empty() && key.back() != '-')
      key.push_back('-');
  }
  if (!key.empty() && key.back() == '-') key.pop_back();
  char digest[17];
  std::snprintf(digest, sizeof digest, "%016llx", static_cast<unsigned long long>(hash));
  return key + "-" + std::string(digest, 12);
}

std::string OfficeProfileTemplate::PathIn(const std::string& cache, const std::string& programDir) {
  const std::string key = VersionKey(programDir);
  if (key.empty() || cache.empty()) return {};
  return cache + "/" + kTemplatePrefix + key;
}

std::string OfficeProfileTemplate::Ensure(const ExportOptions& options,
                                          std::chrono::steady_clock::time_point deadline) {
  if (!options.useProfileTemplate) return {};
  const std::string cache = CacheDirectory(options.cacheDir);
  const std::string final = PathIn(cache, options.officeProgramDir);
  if (final.empty()) return {};
  if (IsTemplate(final)) return final;
  {
    std::lock_guard lock(g_failedMutex);
    if (g_failed.count(final) != 0) return {};
  }

  std::error_code ec;
  fs::create_directories(cache, ec);
  if (ec) return {};
  ::chmod(cache.c_str(), 0700);
  const int lock = LockUntil(cache + "/office-template.lock", deadline);
  if (lock < 0) return {};
  std::string result;
  bool made = false;
  if (IsTemplate(final)) {
    result = final;  // made by another process while this one waited
  } else {
    fs::remove_all(final, ec);  // an incomplete one
    TemporaryDirectory work(cache, kPartialPrefix);
    const std::string profile = work.path() + "/profile";
    if (work.valid() && InitialiseProfile(options, work, profile, deadline)) {
      // Nothing of the run that made it belongs in the copies.
      ::unlink((profile + "/.lock").c_str());
      ::unlink((profile + "/user/.lock").c_str());
      ::unlink((profile + "/user/GraphicsRenderTests.log").c_str());  // that run's self-test report
      if (::rename(profile.c_str(), final.c_str()) == 0) result = final;
    }
    made = !result.empty();
    if (made) {
      // Templates of other office versions are of no more use.
      for (fs::directory_iterator it(cache, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.rfind(kTemplatePrefix, 0) != 0 || name.rfind(kPartialPrefix, 0) == 0) continue;
        if (it->path().string() == final || !it->is_directory()) continue;
        std::error_code removeError;
        fs::remove_all(it->path(), removeError);
      }
    }
  }
  ::close(lock);
  if (result.empty()) {
    std::lock_guard failed(g_failedMutex);
    g_failed.insert(final);
  }
  if (made && options.profileTemplateMade) options.profileTemplateMade(result);
  return result;
}

bool OfficeProfileTemplate::CopyTo(const std::string& templateDir, const std::string& profileDir) {
  std::error_code ec;
  fs::copy(templateDir, profileDir, fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
  return !ec;
}
