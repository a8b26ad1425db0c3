// A mirror through the real main window of a generated site that writes its
// links as real sites write them: character references, "%2e" dot segments,
// links of other schemes, upper-case "HTTP://", non-ASCII paths raw and
// percent-encoded, style sheets with quoted url() values and @import rules,
// PNG, SVG, WebP and ICO images on a page at the last link level, a chain of
// seven redirects and a redirect to the host "..". Every saved link that
// leads into the mirror must open a file there and none may lead above it;
// where wget2 is installed it mirrors the same site, and the program must
// have saved every file wget2 saved.
#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>

#include "MainWindowFixture.h"
#include "TestSite.h"
#include "crawl/LinkResolve.h"
#include "support/NginxServer.h"

namespace {

namespace fs = std::filesystem;

std::string Page(const std::string& Title, const std::string& Body) {
  return "<html><head><title>" + Title + "</title></head><body>" + Body + "</body></html>\n";
}

// The site below Root: its pages lie in a/b/ so that links can climb.
void WriteFidelitySite(const std::string& Root, const std::string& Base) {
  WriteSiteFile(Root, "a/b/index.htm",
                Page("index",
                     "<link rel=\"stylesheet\" href=\"style.css\"><link rel=\"icon\" href=\"&#x2E;/fav.ico\">"
                     "<a href=\"&#46;&#46;/&#46;&#46;/top.htm\">1</a><a href=\"&period;&period;&sol;up.htm\">2</a>"
                     "<a href=\"&#10;&Tab;tab.htm&NewLine;\">3</a><a href=\"list.htm?a=1&#38;b=2\">4</a>"
                     "<a href=\"caf&eacute;.htm\">5</a><a href=\".%2E/dots.htm\">6</a>"
                     "<a href=\"tel:+123\">7</a><a href=\"file:///etc/hostname\">8</a>"
                     "<a href=\"https://example.org/secure.html\">9</a><a href=\"ftp://example.org/f.zip\">10</a>"
                     "<a href=\"HTTP://" + Base.substr(7) + "/a/upper.htm\">11</a>"
                     "<a href=\"d\xC3\xA9j\xC3\xA0/\xC3\xA9lan.htm\">12</a><a href=\"d%C3%A9j%C3%A0/%C3%A9lan.htm\">13</a>"
                     "<a href=\"l1.htm\">14</a><a href=\"r0.htm\">15</a><a href=\"dothost.htm\">16</a>"));
  for (const char* name : {"top.htm", "a/up.htm", "a/b/tab.htm", "a/b/list.htm", "a/b/caf\xC3\xA9.htm", "a/dots.htm",
                           "a/upper.htm", "a/b/d\xC3\xA9j\xC3\xA0/\xC3\xA9lan.htm", "a/b/chain-end.htm"})
    WriteSiteFile(Root, name, Page(name, "<a href=\"" + Base + "/a/b/index.htm\">home</a>"));
  WriteSiteFile(Root, "a/b/style.css",
                "@import url(\"imp1.css\");\n@import 'imp2.css';\n"
                "body { background: url(\"bg.png\") }\n.x { background-image: url('i2.png') }\n"
                "@font-face { font-family: f; src: url(f.woff) format(\"woff\") }\n");
  WriteSiteFile(Root, "a/b/imp1.css", "p { background: url(\"ip.png\") }\n");
  WriteSiteFile(Root, "a/b/imp2.css", "h1 { color: red }\n");
  // The link-level chain: l3.htm is at the last level (3) of the default.
  WriteSiteFile(Root, "a/b/l1.htm", Page("l1", "<a href=\"l2.htm\">l2</a>"));
  WriteSiteFile(Root, "a/b/l2.htm", Page("l2", "<a href=\"l3.htm\">l3</a>"));
  WriteSiteFile(Root, "a/b/l3.htm",
                Page("l3", "<img src=\"img/p.png\"><img src=\"img/p.svg\"><img src=\"img/p.webp\">"
                           "<img src=\"img/p.ico\"><img src=\"img/p.gif\"><img src=\"img/p.jpg\">"));
  const std::string picture("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 13);
  for (const char* name : {"a/b/fav.ico", "a/b/bg.png", "a/b/i2.png", "a/b/ip.png", "a/b/f.woff", "a/b/img/p.png",
                           "a/b/img/p.svg", "a/b/img/p.webp", "a/b/img/p.ico", "a/b/img/p.gif", "a/b/img/p.jpg"})
    WriteSiteFile(Root, name, picture);
}

std::string ReadFile(const fs::path& File) {
  std::ifstream in(File, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string PercentDecoded(const std::string& Text) {
  std::string out;
  for (size_t i = 0; i < Text.size(); ++i) {
    if (Text[i] == '%' && i + 2 < Text.size() && std::isxdigit(static_cast<unsigned char>(Text[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(Text[i + 2]))) {
      out += static_cast<char>(std::stoi(Text.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      out += Text[i];
    }
  }
  return out;
}

// What the links of a mirror's saved pages and style sheets do offline.
struct TOfflineLinks {
  int Local = 0;                   // links that lead to a local file
  int Opening = 0;                 // of them, those whose file exists
  std::vector<std::string> Broken; // "page -> link" of the others
  std::vector<std::string> Above;  // "page -> link" of links that lead above Top
  std::vector<std::string> Kept;   // links of another scheme, as they stand
};

// Reads the links as a browser opening the saved files does: character
// references decoded in pages, the query and fragment cut, the path
// percent-decoded, relative to the file's folder.
TOfflineLinks ReadOfflineLinks(const std::string& Top) {
  TOfflineLinks result;
  const std::regex pattern(R"re((?:href|src)\s*=\s*"([^"]*)"|url\(\s*["']?([^"')\s]*)["']?\s*\)|@import\s+["']([^"']*)["'])re",
                           std::regex::icase);
  const fs::path top = fs::weakly_canonical(Top);
  for (const auto& entry : fs::recursive_directory_iterator(Top)) {
    const std::string ext = entry.path().extension().string();
    if (!entry.is_regular_file() || (ext != ".htm" && ext != ".html" && ext != ".css")) continue;
    const std::string text = ReadFile(entry.path());
    for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it) {
      const std::string written = (*it)[1].matched ? (*it)[1].str() : (*it)[2].matched ? (*it)[2].str() : (*it)[3].str();
      const std::string link = ext == ".css" ? written : DecodeCharRefs(written);
      const std::string from = fs::relative(entry.path(), top).generic_string() + " -> " + written;
      if (!LinkScheme(link).empty() || link.starts_with("//")) {
        result.Kept.push_back(link);
        continue;
      }
      const std::string path = PercentDecoded(link.substr(0, link.find_first_of("?#")));
      if (path.empty()) continue;
      ++result.Local;
      const fs::path target = (path[0] == '/' ? fs::path(path) : entry.path().parent_path() / path).lexically_normal();
      const std::string relative = fs::relative(fs::weakly_canonical(target), top).generic_string();
      if (relative.starts_with("..") || path[0] == '/') result.Above.push_back(from);
      if (fs::is_regular_file(target))
        ++result.Opening;
      else
        result.Broken.push_back(from);
    }
  }
  return result;
}

// The titles of a mirror's pages, each with its file, and its other files.
struct TMirrorContent {
  std::map<std::string, std::string> Pages;
  std::set<std::string> Others;
  int Files = 0;
};

TMirrorContent ContentOf(const std::string& Top) {
  TMirrorContent content;
  const std::regex title("<title>([^<]*)</title>");
  for (const auto& entry : fs::recursive_directory_iterator(Top)) {
    if (!entry.is_regular_file()) continue;
    ++content.Files;
    const std::string relative = fs::relative(entry.path(), Top).generic_string();
    const std::string text = ReadFile(entry.path());
    std::smatch match;
    if (std::regex_search(text, match, title))
      content.Pages[match[1].str()] = relative;
    else
      content.Others.insert(relative);
  }
  return content;
}

class MirrorFidelityTest : public MainWindowTest {
protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    if (HasFatalFailure()) return;
    if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
    Root = Temp + "site/";
    fs::create_directories(Root.c_str());
    Nginx = std::make_unique<NginxServer>(Root);
    for (int i = 0; i < 7; ++i)
      Nginx->AddRedirect("/a/b/r" + std::to_string(i) + ".htm",
                         i < 6 ? "/a/b/r" + std::to_string(i + 1) + ".htm" : "/a/b/chain-end.htm");
    Nginx->AddLocation("location = /a/b/dothost.htm { return 302 http://../x.htm; }");
    ASSERT_TRUE(Nginx->Start()) << Nginx->ErrorLog();
    Base = "http://127.0.0.1:" + std::to_string(Nginx->Port());
    WriteFidelitySite(Root, Base);
    CurrentParams->Project.Options |= poConvertLinks;
  }
  void TearDown() override {
    Nginx.reset();
    MainWindowTest::TearDown();
  }

  // wget2's mirror of the site (-r -k) in a folder of its own, Folder; false
  // when wget2 is not installed.
  bool MirrorWithWget2(std::string& Folder) {
    if (std::system("wget2 --version > /dev/null 2>&1") != 0) return false;
    Folder = Temp + "wget2/";
    fs::create_directories(Folder.c_str());
    const std::string command = "cd '" + Folder + "' && wget2 -q -r -k --max-threads=1 --robots=off '" + Base +
                                "/a/b/index.htm' > /dev/null 2>&1";
    [[maybe_unused]] const int status = std::system(command.c_str());
    return fs::exists(Folder + "127.0.0.1/");
  }

  std::string Root;
  std::string Base;
  std::unique_ptr<NginxServer> Nginx;
};

}  // namespace

TEST_F(MirrorFidelityTest, EveryFormOfLinkOpensOfflineAndNoneLeadsAboveTheMirror) {
  Extract({Base + "/a/b/index.htm"});
  ASSERT_TRUE(RunToEnd(120000));
  const std::string top = std::string(Mirror) + "127.0.0.1/";
  const TMirrorContent ours = ContentOf(top);
  std::set<std::string> titles;
  for (const auto& [title, file] : ours.Pages) titles.insert(title);
  EXPECT_EQ(titles, std::set<std::string>({"index", "top.htm", "a/up.htm", "a/b/tab.htm", "a/b/list.htm",
                                           "a/b/caf\xC3\xA9.htm", "a/dots.htm", "a/upper.htm",
                                           "a/b/d\xC3\xA9j\xC3\xA0/\xC3\xA9lan.htm", "a/b/chain-end.htm", "l1", "l2",
                                           "l3"}));
  EXPECT_EQ(ours.Others,
            std::set<std::string>({"a/b/style.css", "a/b/imp1.css", "a/b/imp2.css", "a/b/fav.ico", "a/b/bg.png",
                                   "a/b/i2.png", "a/b/ip.png", "a/b/f.woff", "a/b/img/p.png", "a/b/img/p.svg",
                                   "a/b/img/p.webp", "a/b/img/p.ico", "a/b/img/p.gif", "a/b/img/p.jpg"}));
  // The raw and the encoded spelling of one address are one node.
  EXPECT_NE(NodeOf(Base + "/a/b/d\xC3\xA9j\xC3\xA0/\xC3\xA9lan.htm"), nullptr);
  EXPECT_EQ(NodeOf(Base + "/a/b/d%C3%A9j%C3%A0/%C3%A9lan.htm"), nullptr);
  // Nothing was asked of a host "..".
  EXPECT_EQ(NodeOf("http://../x.htm"), nullptr);

  const TOfflineLinks links = ReadOfflineLinks(Mirror);
  EXPECT_TRUE(links.Above.empty()) << links.Above.front();
  // Only the links to the redirecting address and to the refused redirect
  // open nothing (a redirect's copy has its target's name).
  for (const std::string& broken : links.Broken)
    EXPECT_TRUE(broken.ends_with("-> r0.htm") || broken.ends_with("-> dothost.htm")) << broken;
  for (const char* kept : {"tel:+123", "file:///etc/hostname", "https://example.org/secure.html", "ftp://example.org/f.zip"})
    EXPECT_EQ(std::count(links.Kept.begin(), links.Kept.end(), kept), 1) << kept;

  std::string wgetFolder;
  if (!MirrorWithWget2(wgetFolder)) return;
  const TMirrorContent theirs = ContentOf(wgetFolder + "127.0.0.1/");
  const TOfflineLinks theirLinks = ReadOfflineLinks(wgetFolder);
  for (const auto& [title, file] : theirs.Pages) EXPECT_TRUE(ours.Pages.count(title)) << "wget2 saved " << file;
  for (const std::string& file : theirs.Others) EXPECT_TRUE(ours.Others.count(file)) << "wget2 saved " << file;
  std::cout << "files saved: program " << ours.Files << ", wget2 " << theirs.Files << "\n"
            << "local links that open offline: program " << links.Opening << " of " << links.Local << ", wget2 "
            << theirLinks.Opening << " of " << theirLinks.Local << "\n"
            << "links leading above the mirror: program " << links.Above.size() << ", wget2 " << theirLinks.Above.size()
            << "\n";
  for (const std::string& broken : theirLinks.Broken) std::cout << "wget2 broken: " << broken << "\n";
  for (const std::string& broken : links.Broken) std::cout << "program broken: " << broken << "\n";
}
