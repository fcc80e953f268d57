#include "CSlideShowDlg.h"

#include <QMouseEvent>
#include <QResizeEvent>
#include <QUrl>
#include <climits>

#include "PageTexts.h"
#include "SlideShowProfile.h"

const char CSlideShowDlg::kAdvanceScript[] =
    "if(PPTSld.g_animMainSequence){ if(PPTSld.g_animMainSequence.cangonext){top.status='NEXTCLICK';"
    "PPTSld.g_animMainSequence.next();top.status='';}else{ if(HasNextSld()) GoToNextSld(); else "
    "parent.document.title='Endppt';}}else{if(HasNextSld()) GoToNextSld();else parent.document.title='Endppt';}";

const char CSlideShowDlg::kPageNumberScript[] = "parent.document.title='PAGE:'+parent.gCurSld;";

CSlideShowDlg::CSlideShowDlg(QWidget* parent) : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint) {
  setAttribute(Qt::WA_DontShowOnScreen);
  connect(&browser, &CWebBrowser2::StatusTextChange, this, &CSlideShowDlg::OnStatusTextChange);
  connect(&browser, &CWebBrowser2::TitleChange, this, &CSlideShowDlg::OnTitleChange);
  connect(&clock_, &ShowClock::failed, this, &CSlideShowDlg::onClockFailed);
}

CSlideShowDlg::~CSlideShowDlg() { DestroyWindow(); }

bool CSlideShowDlg::Create(QWidget* /*owner*/) {
  if (created_) return false;
  if (!browser.Create(this, SlideShowProfile::profile())) return false;
  created_ = true;
  // Painted but never put on screen (WA_DontShowOnScreen).
  show();
  browser.MoveWindow(0, 0, width(), height());
  return true;
}

void CSlideShowDlg::MoveWindow(int x, int y, int width, int height) {
  pictureGeometry_ = QRect(x, y, width, height);
  // On the film clock the rows below the picture carry the frame strip; they are never filmed.
  height += clock_.enabled() ? ShowClock::kStripRows : 0;
  setGeometry(x, y, width, height);
  // Resize events of a window that is not created yet wait for show(); the browser is
  // sized here as well so that it has the size at once.
  OnSize(0, width, height);
}

void CSlideShowDlg::OnSize(int /*type*/, int width, int height) {
  if (browser.hasWindow()) browser.MoveWindow(0, 0, width, height);
}

bool CSlideShowDlg::DestroyWindow() {
  clock_.end();
  browser.DestroyWindow();
  if (!created_) return false;
  created_ = false;
  hide();
  return true;
}

void CSlideShowDlg::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  OnSize(0, event->size().width(), event->size().height());
}

void CSlideShowDlg::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton) {
    OnLButtonDown(event->buttons(), event->position().toPoint());
    event->accept();
    return;
  }
  QDialog::mousePressEvent(event);
}

std::string CSlideShowDlg::ShowAddress(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot < slash) return {};
  return "mhtml:file://" + path + "!" + path.substr(slash + 1, dot - slash - 1) + ".files/fullscreen.htm";
}

bool CSlideShowDlg::LoadShow(const std::string& path, int count) {
  showEnded = 0;
  pageReady = 0;
  slideCount = count;
  currentSlide = 0;
  showFailed = 0;
  rendererFailed = 0;
  failureReason.clear();
  const std::string address = ShowAddress(path);
  if (address.empty()) return false;
  SlideShowProfile::allowArchive(path);
  // Built part by part so that characters such as '#', '?' or '%' in the path stay part of
  // the path instead of starting a fragment or a query; the scheme handler decodes it back.
  const std::string inner = address.substr(std::string("mhtml:").size());
  QUrl url;
  url.setScheme(QStringLiteral("mhtml"));
  url.setPath(QString::fromStdString(inner), QUrl::DecodedMode);
  clock_.begin(url.toString());  // the clock's script goes in before the page loads
  browser.Navigate(url);
  return true;
}

void CSlideShowDlg::UseFilmClock(double startMs, bool useTimings) {
  clock_.enable(startMs, useTimings);
  if (pictureGeometry_.isValid())
    MoveWindow(pictureGeometry_.x(), pictureGeometry_.y(), pictureGeometry_.width(), pictureGeometry_.height());
}

void CSlideShowDlg::UseWallClock() {
  clock_.disable();
  if (pictureGeometry_.isValid())
    MoveWindow(pictureGeometry_.x(), pictureGeometry_.y(), pictureGeometry_.width(), pictureGeometry_.height());
}

void CSlideShowDlg::FilmFrame(uint64_t index, int frameRate, ShowClock::Done done) {
  clock_.film(index, frameRate, std::move(done));
}

void CSlideShowDlg::CancelFilming() { clock_.cancel(); }

void CSlideShowDlg::onClockFailed(const QString& reason) {
  if (showFailed != 0) return;
  showFailed = 1;
  failureReason = reason;
  emit showStateChanged();
}

QString CSlideShowDlg::FailureText(const QString& code) {
  if (code == QLatin1String("engine")) return QStringLiteral("the show's engine never became ready");
  const QStringList parts = code.split(QLatin1Char(':'));
  if (parts.size() >= 3 && parts[0] == QLatin1String("ended")) {
    QString text = QStringLiteral("the show ended at slide %1 of %2").arg(parts[1], parts[2]);
    // What the engine threw, which may hold colons of its own.
    const QString words = parts.mid(3).join(QLatin1Char(':')).trimmed();
    if (!words.isEmpty()) text += QStringLiteral(" (the show's engine reported: %1)").arg(words);
    return text;
  }
  return QStringLiteral("the show could not be played (%1)").arg(code);
}

void CSlideShowDlg::RunPageScript(const QString& script) {
  if (browser.Document() == nullptr) return;
  browser.RunScript(script);
}

void CSlideShowDlg::AdvanceShow() {
  clock_.noteStep();
  RunPageScript(QString::fromLatin1(kAdvanceScript));
}

void CSlideShowDlg::OnStatusTextChange(const QString& text) {
  if (text.startsWith(QLatin1String("KVSOUND:"))) {
    emit soundReported(text.mid(8));
    return;
  }
  if (text.contains(QLatin1String("//"))) RunPageScript(QString::fromLatin1(kPageNumberScript));
}

int CSlideShowDlg::ReadInteger(const std::string& text) {
  size_t i = 0;
  auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; };
  while (i < text.size() && isSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return static_cast<int>(value);
}

void CSlideShowDlg::OnTitleChange(const QString& title) {
  clock_.noteTitle(title);
  const std::string text = title.toStdString();
  const std::string pagePrefix = PageTexts::kPageTitlePrefix;
  const size_t page = text.find(pagePrefix);
  if (page != std::string::npos) {
    const int previous = currentSlide;
    currentSlide = ReadInteger(text.substr(page + pagePrefix.size()));
    const bool changed = pageReady == 0;
    pageReady = 1;
    if (changed) emit showStateChanged();
    if (changed || currentSlide != previous) emit slideChanged(currentSlide);
    return;
  }
  if (text == PageTexts::kEndTitle) {
    showEnded = 1;
    emit showStateChanged();
    return;
  }
  const std::string failedPrefix = PageTexts::kFailedTitlePrefix;
  if (text.rfind(failedPrefix, 0) == 0 && showFailed == 0) {
    showFailed = 1;
    failureReason = FailureText(title.mid(static_cast<int>(failedPrefix.size())));
    emit showStateChanged();
  }
}

void CSlideShowDlg::OnLButtonDown(Qt::MouseButtons /*buttons*/, const QPoint& /*point*/) { AdvanceShow(); }
