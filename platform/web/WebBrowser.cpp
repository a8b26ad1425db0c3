#include "platform/web/WebBrowser.h"

#include <QImage>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTextFragment>
#include <QUrl>
#include <fstream>

#include "platform/controls/QtInternals.h"
#include "platform/graphics/QtBridge.h"
#include "platform/rtl/FileUtils.h"
#include "platform/web/HtmlSanitizer.h"

namespace {

constexpr UINT WM_WEBFETCHDONE = WM_USER + 0x7E1;
constexpr UINT WM_WEBRELAYOUT = WM_USER + 0x7E2;
constexpr size_t kMaxDocument = 16u << 20;
constexpr size_t kMaxImage = 16u << 20;
constexpr size_t kMaxFetchesPerPage = 200;
constexpr int kNewEntry = 0, kBack = -1, kForward = 1, kSameEntry = 2;

enum class TKind { Web, File, Blank, Ignored };

struct TAddress {
  TKind kind = TKind::Ignored;
  AnsiString url;   // what the events and LocationURL show
  AnsiString path;  // a local file's path
};

bool HasScheme(const AnsiString& s, const char* scheme) { return StartsText(scheme, s); }

TAddress FileAddress(const AnsiString& path) {
  const AnsiString full = ExpandFileName(path);
  return {TKind::File, FromQString(QUrl::fromLocalFile(ToQString(full)).toString()), full};
}

// Whether the text starts with a scheme name and a colon ("mailto:").
bool StartsWithScheme(const AnsiString& s) {
  const size_t colon = s.find(':');
  if (colon == AnsiString::npos || colon < 2) return false;
  for (size_t i = 0; i < colon; ++i)
    if (!std::isalnum(uint8_t(s[i])) && s[i] != '+' && s[i] != '-' && s[i] != '.') return false;
  return std::isalpha(uint8_t(s[0]));
}

TAddress Classify(const AnsiString& text) {
  const AnsiString t = Trim(text);
  if (t.empty()) return {};
  if (HasScheme(t, "http://") || HasScheme(t, "https://")) return {TKind::Web, t, ""};
  if (HasScheme(t, "file:")) return FileAddress(FromQString(QUrl(ToQString(t)).toLocalFile()));
  if (SameText(t, "about:blank")) return {TKind::Blank, "about:blank", ""};
  if (StartsWithScheme(t)) return {};
  AnsiString path = t;
  if (!FileExists(path) && !DirectoryExists(path)) path = StringReplace(t, "\\", "/", rfReplaceAll);
  const AnsiString first = path.substr(0, path.find('/'));
  const bool looksLikeHost = path[0] != '/' && path[0] != '.' && first.find('.') != AnsiString::npos &&
                             first.find(' ') == AnsiString::npos;
  if (looksLikeHost && !FileExists(path) && !DirectoryExists(path)) return {TKind::Web, "http://" + path, ""};
  return FileAddress(path);
}

AnsiString WithoutFragment(const AnsiString& url) { return url.substr(0, url.find('#')); }
AnsiString FragmentOf(const AnsiString& url) {
  const size_t hash = url.find('#');
  return hash == AnsiString::npos ? AnsiString() : url.substr(hash + 1);
}

TWebResponse Failure(const AnsiString& reason) {
  TWebResponse r;
  r.Ok = false;
  r.ErrorText = reason;
  return r;
}

AnsiString ContentTypeOfFile(const AnsiString& path) {
  const AnsiString ext = LowerCase(ExtractFileExt(path));
  static const std::pair<const char*, const char*> types[] = {
      {".htm", "text/html"},  {".html", "text/html"},  {".shtml", "text/html"}, {".xhtml", "text/html"},
      {".php", "text/html"},  {".asp", "text/html"},   {".aspx", "text/html"},  {".jsp", "text/html"},
      {".txt", "text/plain"}, {".css", "text/plain"},  {".js", "text/plain"},   {".xml", "text/plain"},
      {".png", "image/png"},  {".gif", "image/gif"},   {".jpg", "image/jpeg"},  {".jpeg", "image/jpeg"},
      {".bmp", "image/bmp"},  {".ico", "image/x-icon"}};
  for (const auto& [e, type] : types)
    if (ext == e) return type;
  return {};
}

// Reads at most limit bytes of a local file.
TWebResponse ReadLocalFile(const AnsiString& path, size_t limit) {
  if (DirectoryExists(path)) return Failure("The address names a folder, not a file.");
  if (!FileExists(path)) return Failure("The file cannot be found.");
  std::ifstream in(ResolvePath(path), std::ios::binary);
  if (!in) return Failure("The file cannot be read.");
  TWebResponse r;
  r.Body.resize(limit);
  in.read(r.Body.data(), std::streamsize(limit));
  r.Body.resize(size_t(in.gcount()));
  r.Ok = true;
  r.ContentType = ContentTypeOfFile(path);
  return r;
}

// The content type of a response, guessed from its bytes when not given.
AnsiString MediaType(const TWebResponse& r) {
  AnsiString type = LowerCase(Trim(r.ContentType.substr(0, r.ContentType.find(';'))));
  if (!type.empty()) return type;
  const AnsiString head = LowerCase(r.Body.substr(0, 1024));
  for (const char* mark : {"<html", "<!doctype html", "<head", "<body", "<title", "<p>", "<a "})
    if (head.find(mark) != AnsiString::npos) return "text/html";
  if (r.Body.substr(0, 4096).find('\0') == AnsiString::npos) return "text/plain";
  return "application/octet-stream";
}

// The charset named by the content type or by the page's own meta element.
AnsiString DeclaredCharset(const TWebResponse& r) {
  for (const AnsiString& source : {LowerCase(r.ContentType), LowerCase(r.Body.substr(0, 2048))}) {
    const size_t at = source.find("charset=");
    if (at == AnsiString::npos) continue;
    size_t start = at + 8;
    while (start < source.size() && (source[start] == '"' || source[start] == '\'')) ++start;
    size_t end = start;
    while (end < source.size() && (std::isalnum(uint8_t(source[end])) || source[end] == '-' || source[end] == '_'))
      ++end;
    return source.substr(start, end - start);
  }
  return {};
}

bool IsValidUtf8(const AnsiString& s) {
  QStringDecoder decoder(QStringDecoder::Utf8);
  (void)QString(decoder(QByteArrayView(s.data(), qsizetype(s.size()))));
  return !decoder.hasError();
}

QString Decode(const TWebResponse& r) {
  const AnsiString charset = DeclaredCharset(r);
  const QByteArrayView bytes(r.Body.data(), qsizetype(r.Body.size()));
  if (!charset.empty() && charset != "utf-8" && charset != "utf8") {
    QStringDecoder decoder(charset.c_str());
    if (decoder.isValid()) return decoder(bytes);
    return QString::fromLatin1(bytes);  // windows-1252 and its kin, near enough
  }
  return IsValidUtf8(r.Body) ? QString::fromUtf8(bytes) : QString::fromLatin1(bytes);
}

QString Escaped(const AnsiString& text) { return ToQString(text).toHtmlEscaped(); }

QString MessagePage(const QString& title, const QString& text, const AnsiString& url) {
  return "<html><head><title>" + title + "</title></head><body><h3>" + title + "</h3><p>" + text + "</p><p>" +
         Escaped(url) + "</p></body></html>";
}

}  // namespace

// The rich-text browser that asks the pane for every resource of a page and
// leaves following links to it.
class TBrowserView : public QTextBrowser {
 public:
  explicit TBrowserView(TWebBrowser* pane) : pane_(pane) {
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setUndoRedoEnabled(false);
    connect(this, &QTextBrowser::anchorClicked, [this](const QUrl& link) {
      if (pane_) GuardedCall(pane_, [&] { pane_->LinkClicked(link); });
    });
    connect(this, qOverload<const QUrl&>(&QTextBrowser::highlighted), [this](const QUrl& link) {
      if (pane_) GuardedCall(pane_, [&] { pane_->LinkHovered(link); });
    });
  }
  QVariant loadResource(int type, const QUrl& name) override {
    QVariant result;
    if (pane_) GuardedCall(pane_, [&] { result = pane_->Resource(type, name); });
    return result;
  }
  // The pane is going: nothing is passed to it any more.
  void Detach() { pane_ = nullptr; }

 private:
  TWebBrowser* pane_;
};

TWebBrowser::TWebBrowser(TComponent* owner)
    : TWinControl(owner), view_(new TBrowserView(this)),
      inbox_(std::make_shared<TWebInbox>(Handle(), WM_WEBFETCHDONE)) {
  SetWidget(view_);
  WatchWidget(view_->viewport());
  SetTabStop(true);
  SetColor(clWindow);
}

TWebBrowser::~TWebBrowser() {
  view_->Detach();
  CancelAll();
  inbox_.reset();
}

void TWebBrowser::Navigate(const AnsiString& url) { Start(url, kNewEntry); }

void TWebBrowser::GoBack() {
  if (CanGoBack()) Start(history_[size_t(historyIndex_ - 1)], kBack);
}

void TWebBrowser::GoForward() {
  if (CanGoForward()) Start(history_[size_t(historyIndex_ + 1)], kForward);
}

void TWebBrowser::Refresh() {
  if (!location_.empty()) Start(location_, kSameEntry);
}

void TWebBrowser::Stop() {
  if (!busy_) return;
  CancelAll();
  ++navigation_;
  busy_ = false;
  if (OnDocumentComplete) OnDocumentComplete(this, location_.empty() ? AnsiString("about:blank") : location_);
}

void TWebBrowser::Start(const AnsiString& url, int historyMove) {
  const TAddress address = Classify(url);
  if (address.kind == TKind::Ignored) return;
  const uint64_t navigation = ++navigation_;
  bool cancel = false;
  if (OnBeforeNavigate2) OnBeforeNavigate2(this, address.url, cancel);
  if (cancel || !StillRunning(navigation)) return;
  CancelAll();
  busy_ = true;
  historyMove_ = historyMove;
  fragment_ = FragmentOf(address.url);
  if (address.kind == TKind::Web) {
    Fetch(WithoutFragment(address.url), TPurpose::Document);
    return;
  }
  // Local content arrives through the queue too, so every navigation
  // completes the same way.
  const uint64_t id = nextId_++;
  auto request = std::make_shared<TWebRequest>(id, address.url, inbox_);
  pending_[id] = {TPurpose::Document, address.url, request};
  TWebResponse response;
  if (address.kind == TKind::Blank) {
    response.Ok = true;
    response.ContentType = "text/html";
  } else {
    response = ReadLocalFile(address.path, kMaxDocument);
  }
  request->Complete(std::move(response));
}

uint64_t TWebBrowser::Fetch(const AnsiString& url, TPurpose purpose) {
  const uint64_t id = nextId_++;
  auto request = std::make_shared<TWebRequest>(id, url, inbox_);
  pending_[id] = {purpose, url, request};
  const TWebFetchHook& hook = WebFetchHook();
  if (!hook) {
    request->Complete(Failure("No fetcher is set for web addresses."));
    return id;
  }
  try {
    hook(request);
  } catch (const std::exception& e) {
    request->Complete(Failure(e.what()));
  }
  return id;
}

void TWebBrowser::CancelAll() {
  for (auto& [id, p] : pending_) p.request->Cancel();
  pending_.clear();
}

void TWebBrowser::WndProc(TMessage& message) {
  if (message.Msg == WM_WEBFETCHDONE) GuardedCall(this, [this] { Collect(); });
  else if (message.Msg == WM_WEBRELAYOUT) GuardedCall(this, [this] { Relayout(); });
  else TWinControl::WndProc(message);
}

void TWebBrowser::ScheduleRelayout(bool reparse) {
  reparsePending_ = reparsePending_ || reparse;
  if (!relayoutPending_) PostMessage(Handle(), WM_WEBRELAYOUT, 0, 0);
  relayoutPending_ = true;
}

void TWebBrowser::Relayout() {
  if (!relayoutPending_) return;
  relayoutPending_ = false;
  if (std::exchange(reparsePending_, false)) {
    view_->setHtml(ToQString(shownHtml_));
    return;
  }
  QTextDocument* document = view_->document();
  document->markContentsDirty(0, document->characterCount());
  view_->viewport()->update();
}

void TWebBrowser::Collect() {
  if (!inbox_) return;
  for (auto& [id, response] : inbox_->Collect()) {
    auto it = pending_.find(id);
    if (it == pending_.end()) continue;  // abandoned
    const TPending pending = it->second;
    pending_.erase(it);
    Arrived(pending, std::move(response));
  }
}

void TWebBrowser::Arrived(const TPending& pending, TWebResponse response) {
  if (pending.purpose == TPurpose::Document) DocumentArrived(pending.url, response);
  else ResourceArrived(pending, response);
}

void TWebBrowser::EnterHistory() {
  switch (historyMove_) {
    case kBack: --historyIndex_; break;
    case kForward: ++historyIndex_; break;
    case kSameEntry: break;
    default:
      history_.resize(size_t(historyIndex_ + 1));
      history_.push_back(location_);
      ++historyIndex_;
      return;
  }
  if (historyIndex_ >= 0 && historyIndex_ < int(history_.size())) history_[size_t(historyIndex_)] = location_;
}

void TWebBrowser::DocumentArrived(const AnsiString& url, const TWebResponse& response) {
  const uint64_t navigation = navigation_;
  AnsiString shown = response.FinalUrl.empty() ? url : response.FinalUrl;
  if (!fragment_.empty() && shown.find('#') == AnsiString::npos) shown += "#" + fragment_;
  location_ = shown;
  EnterHistory();
  resources_.clear();
  requested_.clear();
  namesUsed_.clear();
  reparsePending_ = false;
  if (OnNavigateComplete2) OnNavigateComplete2(this, location_);
  if (!StillRunning(navigation)) return;
  Render(response);
  title_ = FromQString(view_->documentTitle());
  if (title_.empty()) title_ = location_;
  if (OnTitleChange) OnTitleChange(this, title_);
  if (!StillRunning(navigation)) return;
  if (!fragment_.empty()) view_->scrollToAnchor(ToQString(fragment_));
  RequestImages();
  CompleteIfDone();
}

void TWebBrowser::Render(const TWebResponse& response) {
  if (!response.Ok && response.Body.empty()) {
    shownHtml_ = FromQString(MessagePage("The page cannot be displayed", Escaped(response.ErrorText), location_));
    view_->setHtml(ToQString(shownHtml_));
    return;
  }
  TWebResponse page = response;
  if (page.Body.size() > kMaxDocument) page.Body.resize(kMaxDocument);
  const AnsiString type = MediaType(page);
  if (type == "text/html" || type == "application/xhtml+xml") {
    shownHtml_ = FromQString(Decode(page));
    shownHtml_ = SanitizeHtml(shownHtml_);
    view_->setHtml(ToQString(shownHtml_));
  } else if (StartsText("text/", type)) {
    shownHtml_.clear();
    view_->setPlainText(Decode(page));
  } else if (StartsText("image/", type)) {
    resources_[WithoutFragment(location_)] = page.Body;
    shownHtml_ = FromQString("<html><body><img src=\"" + Escaped(WithoutFragment(location_)) + "\"></body></html>");
    view_->setHtml(ToQString(shownHtml_));
  } else {
    shownHtml_ = FromQString(MessagePage("The content cannot be shown here", Escaped("Content type: " + type), location_));
    view_->setHtml(ToQString(shownHtml_));
  }
}

void TWebBrowser::RequestImages() {
  for (QTextBlock block = view_->document()->begin(); block.isValid(); block = block.next())
    for (auto it = block.begin(); !it.atEnd(); ++it) {
      const QTextCharFormat format = it.fragment().charFormat();
      if (format.isImageFormat()) Resource(QTextDocument::ImageResource, QUrl(format.toImageFormat().name()));
    }
}

void TWebBrowser::CompleteIfDone() {
  if (!busy_ || !pending_.empty()) return;
  busy_ = false;
  if (OnDocumentComplete) OnDocumentComplete(this, location_);
}

QVariant TWebBrowser::Resource(int type, const QUrl& name) {
  if (name.scheme().compare("data", Qt::CaseInsensitive) == 0) return {};
  const bool image = type == QTextDocument::ImageResource;
  if (!image && type != QTextDocument::StyleSheetResource) return QString();
  const QUrl resolved = QUrl(ToQString(location_)).resolved(name);
  const AnsiString key = FromQString(resolved.toString(QUrl::RemoveFragment));
  AnsiString bytes;
  const bool webPage = HasScheme(location_, "http://") || HasScheme(location_, "https://");
  if (resolved.isLocalFile() && webPage) {
    // A page from the web never reads the user's files, not even as pictures.
  } else if (resolved.isLocalFile()) {
    const TWebResponse r = ReadLocalFile(FromQString(resolved.toLocalFile()), kMaxImage + 1);
    if (r.Ok && r.Body.size() <= kMaxImage) bytes = r.Body;
  } else if (auto it = resources_.find(key); it != resources_.end()) {
    bytes = it->second;
  } else if (HasScheme(key, "http://") || HasScheme(key, "https://")) {
    if (requested_.size() < kMaxFetchesPerPage || requested_.count(key)) {
      namesUsed_[key].insert(name.toString());
      if (requested_.insert(key).second) Fetch(key, image ? TPurpose::Image : TPurpose::StyleSheet);
    }
  }
  if (!image) return ToQString(TameStyleSheet(bytes));
  QImage picture = QImage::fromData(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
  if (picture.isNull()) {
    picture = QImage(1, 1, QImage::Format_ARGB32);
    picture.fill(Qt::transparent);
  }
  return picture;
}

void TWebBrowser::ResourceArrived(const TPending& pending, const TWebResponse& response) {
  const bool usable = response.Ok && response.StatusCode < 400 && response.Body.size() <= kMaxImage;
  resources_[pending.url] = usable ? response.Body : AnsiString();
  QTextDocument* document = view_->document();
  const int type = pending.purpose == TPurpose::Image ? QTextDocument::ImageResource : QTextDocument::StyleSheetResource;
  for (const QString& name : namesUsed_[pending.url]) document->addResource(type, QUrl(name), Resource(type, QUrl(name)));
  // Pictures arriving together cost one layout; a style sheet a new parse.
  ScheduleRelayout(pending.purpose == TPurpose::StyleSheet);
  CompleteIfDone();
}

void TWebBrowser::LinkClicked(const QUrl& link) {
  if (link.isRelative() && link.path().isEmpty() && link.hasFragment()) {
    view_->scrollToAnchor(link.fragment());
    return;
  }
  Navigate(FromQString(QUrl(ToQString(location_)).resolved(link).toString()));
}

void TWebBrowser::LinkHovered(const QUrl& link) {
  const AnsiString text = link.isEmpty() ? AnsiString() : FromQString(QUrl(ToQString(location_)).resolved(link).toString());
  if (OnStatusTextChange) OnStatusTextChange(this, text);
}
