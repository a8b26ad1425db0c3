// A small web site written into a folder for nginx: nested folders, a page
// reached with two queries, a style sheet with an image, images, a redirect,
// a missing page and a chain of pages for the link-level limit; links are
// absolute (base + path) and relative. Also the check that every relative
// link in the saved pages opens a file of the mirror.
#pragma once

#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

inline void WriteSiteFile(const std::string& root, const std::string& path, const std::string& body) {
  const std::filesystem::path file = std::filesystem::path(root) / path;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << body;
}

inline void WriteTestSite(const std::string& root, const std::string& base) {
  auto page = [&](const std::string& title, const std::vector<std::string>& links) {
    std::string body = "<html><head><title>" + title + "</title></head><body>";
    for (const std::string& link : links) body += "<a href=\"" + base + link + "\">" + link + "</a>\n";
    return body + "</body></html>\n";
  };
  WriteSiteFile(root, "index.htm",
                "<html><head><link rel=\"stylesheet\" href=\"" + base + "/style.css\"></head><body>"
                "<img src=\"" + base + "/img/logo.gif\">" +
                    page("index", {"/dir1/page1.htm", "/dir1/sub/page2.htm", "/page3.htm?x=1", "/page3.htm?x=2",
                                   "/old.htm", "/missing.htm", "/dir2/other.htm"}));
  WriteSiteFile(root, "dir1/page1.htm",
                "<img src=\"../img/pic.gif\"><a href=\"sub/page2.htm\">page2</a>" + page("page1", {"/index.htm"}));
  WriteSiteFile(root, "dir1/sub/page2.htm", "<a href=\"/deep/level3.htm\">level3</a>" + page("page2", {}));
  WriteSiteFile(root, "deep/level3.htm", "<a href=\"level4.htm\">level4</a>" + page("level3", {}));
  WriteSiteFile(root, "deep/level4.htm", page("level4", {}));
  WriteSiteFile(root, "dir2/other.htm", page("other", {}));
  WriteSiteFile(root, "page3.htm", page("page3", {}));
  WriteSiteFile(root, "new.htm", page("new", {}));
  WriteSiteFile(root, "style.css", "body { background: url(" + base + "/img/bg.gif) }\n");
  const std::string gif("GIF89a\x01\x00\x01\x00\x00\x00\x00;", 13);
  for (const char* name : {"img/logo.gif", "img/pic.gif", "img/bg.gif"}) WriteSiteFile(root, name, gif);
}

// The links of saved pages and style sheets that point into the mirror
// (relative links), each with whether it opens an existing file.
struct TLocalLink {
  std::string From;
  std::string Link;
  bool Opens;
};

inline std::vector<TLocalLink> LocalLinks(const std::string& mirror) {
  std::vector<TLocalLink> links;
  const std::regex pattern(R"re((?:href|src)\s*=\s*"([^"]*)"|url\(\s*([^)\s]*)\s*\))re", std::regex::icase);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(mirror)) {
    const std::string ext = entry.path().extension().string();
    if (!entry.is_regular_file() || (ext != ".htm" && ext != ".html" && ext != ".css")) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it) {
      std::string link = (*it)[1].matched ? (*it)[1].str() : (*it)[2].str();
      if (link.empty() || link.find("://") != std::string::npos || link[0] == '#') continue;
      const std::string target = link.substr(0, link.find_first_of("?#"));
      const auto file = entry.path().parent_path() / target;
      links.push_back({entry.path().string(), link, std::filesystem::is_regular_file(file)});
    }
  }
  return links;
}
