// A presentation is outside data: its pages reach only the parts of the archive opened for
// the show, never the network, local files or other archives.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QWebEnginePage>
#include <cerrno>

#include "CSlideShowDlg.h"
#include "QtWait.h"
#include "TestArchive.h"

namespace {

// A listening socket on the loopback interface that nobody should ever connect to.
class Tripwire {
 public:
  Tripwire() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd_ >= 0 && ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd_, 16) == 0 &&
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
      port_ = ntohs(a.sin_port);
  }
  ~Tripwire() {
    if (fd_ >= 0) ::close(fd_);
  }
  int port() const { return port_; }
  bool touched() const {
    int c = ::accept(fd_, nullptr, nullptr);
    if (c >= 0) {
      ::close(c);
      return true;
    }
    return errno != EAGAIN && errno != EWOULDBLOCK;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

class BrowserSecurity : public testing::Test {
 protected:
  void SetUp() override {
    dir = MakeTempDir();
    ASSERT_FALSE(dir.empty());
    ASSERT_GT(wire.port(), 0);
    ASSERT_TRUE(dlg.Create(nullptr));
    dlg.MoveWindow(0, 0, 352, 288);
    QObject::connect(&dlg.browser, &CWebBrowser2::TitleChange, [this](const QString& t) {
      if (t.startsWith(QStringLiteral("RESULT "))) result = t.mid(7);
    });
  }
  void TearDown() override {
    dlg.DestroyWindow();
    RemoveTree(dir);
  }

  std::string dir;
  Tripwire wire;
  CSlideShowDlg dlg;
  QString result;
};

TEST_F(BrowserSecurity, PagesGetOnlyPartsOfTheOpenedArchive) {
  const std::string port = std::to_string(wire.port());
  // Files that a page must not reach: another archive (never opened for a show) with a part
  // of the same name, and plain local files.
  const std::string other =
      WritePageArchive(dir, "other", "<p>other</p>", {{"probe.js", "text/javascript", "var x = 1;", true}});
  ASSERT_FALSE(other.empty());
  ASSERT_TRUE(WriteFile(dir + "/local.js", "var y = 2;"));
  const std::string archive = dir + "/nn1a2b.tmp";

  const std::string page = R"HTML(<html><head><title>probe</title></head><body><script>
var results = [];
function probe(kind, name, src) {
  return new Promise(function (resolve) {
    var e = document.createElement(kind);
    e.onload = function () { results.push(name + '=loaded'); resolve(); };
    e.onerror = function () { results.push(name + '=refused'); resolve(); };
    e.src = src;
    document.body.appendChild(e);
  });
}
function probeFetch(name, url) {
  return fetch(url).then(function () { results.push(name + '=loaded'); },
                         function () { results.push(name + '=refused'); });
}
function probeSocket(name, url) {
  return new Promise(function (resolve) {
    var s;
    try { s = new WebSocket(url); } catch (e) { results.push(name + '=refused'); resolve(); return; }
    s.onopen = function () { results.push(name + '=loaded'); resolve(); };
    s.onerror = function () { results.push(name + '=refused'); resolve(); };
  });
}
(async function () {
  await probe('script', 'own', 'probe.js');
  await probe('script', 'missing', 'missing.js');
  await probe('script', 'other', 'mhtml:file://@OTHER@!other.files/probe.js');
  await probe('script', 'prefix', 'mhtml:file://@ARCHIVE@x!nn1a2b.files/probe.js');
  await probe('script', 'climb', 'mhtml:file://@ARCHIVE@!nn1a2b.files/../../../../../etc/hostname');
  await probe('script', 'plainfile', 'mhtml:file://@DIR@/local.js');
  await probe('script', 'file', 'file://@DIR@/local.js');
  await probe('img', 'fileimg', 'file:///usr/share/pixmaps/debian-logo.png');
  await probe('script', 'http', 'http://127.0.0.1:@PORT@/x.js');
  await probe('img', 'httpimg', 'http://127.0.0.1:@PORT@/x.png');
  await probeFetch('fetch', 'http://127.0.0.1:@PORT@/f');
  await probeFetch('fetchfile', 'file://@DIR@/local.js');
  await probeSocket('socket', 'ws://127.0.0.1:@PORT@/s');
  document.title = 'RESULT ' + results.join(' ');
})();
</script></body></html>)HTML";
  auto fill = [&](std::string text) {
    for (auto [key, value] : {std::pair<std::string, std::string>{"@OTHER@", other},
                              {"@ARCHIVE@", archive},
                              {"@DIR@", dir},
                              {"@PORT@", port}})
      for (size_t p; (p = text.find(key)) != std::string::npos;) text.replace(p, key.size(), value);
    return text;
  };
  ASSERT_EQ(WritePageArchive(dir, "nn1a2b", fill(page), {{"probe.js", "text/javascript", "var z = 3;", false}}),
            archive);

  ASSERT_TRUE(dlg.LoadShow(archive, 2));
  ASSERT_TRUE(WaitUntil([&] { return !result.isEmpty(); })) << "the probe page never finished";
  EXPECT_EQ(result.toStdString(),
            "own=loaded missing=refused other=refused prefix=refused climb=refused plainfile=refused "
            "file=refused fileimg=refused http=refused httpimg=refused fetch=refused fetchfile=refused "
            "socket=refused");
  EXPECT_FALSE(wire.touched());
}

TEST_F(BrowserSecurity, NavigatingAwayFromTheArchiveLoadsNothing) {
  ASSERT_TRUE(WriteFile(dir + "/page.html", "<html><head><title>RESULT local file</title></head></html>"));
  std::vector<bool> loads;
  dlg.browser.Navigate(QString::fromStdString("http://127.0.0.1:" + std::to_string(wire.port()) + "/"));
  ASSERT_NE(dlg.browser.Document(), nullptr);
  QObject::connect(dlg.browser.Document(), &QWebEnginePage::loadFinished, [&](bool ok) { loads.push_back(ok); });
  ASSERT_TRUE(WaitUntil([&] { return loads.size() == 1; }));
  dlg.browser.Navigate(QString::fromStdString("file://" + dir + "/page.html"));
  ASSERT_TRUE(WaitUntil([&] { return loads.size() == 2; }));
  // An archive that exists but was never opened for a show.
  const std::string other = WritePageArchive(dir, "other", "<title>RESULT other archive</title>");
  dlg.browser.Navigate(QString::fromStdString("mhtml:file://" + other + "!other.files/fullscreen.htm"));
  ASSERT_TRUE(WaitUntil([&] { return loads.size() == 3; }));
  EXPECT_EQ(loads, (std::vector<bool>{false, false, false}));
  EXPECT_TRUE(result.isEmpty());
  EXPECT_FALSE(wire.touched());

  // The window still plays a show afterwards, and "about:blank" still blanks it.
  ASSERT_TRUE(dlg.LoadShow(WriteShowArchive(dir, "show"), 3));
  ASSERT_TRUE(WaitUntil([&] { return dlg.currentSlide == 1; }));
  dlg.browser.Navigate(QStringLiteral("about:blank"));
  ASSERT_TRUE(WaitUntil([&] { return loads.size() >= 5 && loads.back(); }));
}

}  // namespace
