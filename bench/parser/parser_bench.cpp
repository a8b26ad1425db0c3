// Parses and rewrites generated pages of 1 MiB and 10 MiB with a realistic
// link density (about one candidate link every 110 bytes: anchors, images,
// queries, style and script links among text) and prints the throughput of
// each and how much longer the large page takes than the small one.
#include <algorithm>
#include <cstdio>
#include <ctime>

#include "crawl/PageParser.h"

namespace {

// One block of a page: running text, anchors of several kinds (relative,
// absolute, with a query, fragment-only, e-mail), an image, a table cell with
// a style, and now and then a script.
AnsiString PageBlock(int N) {
  const AnsiString n = IntToStr(N);
  AnsiString block = "<p>Paragraph " + n + " of the generated page. It reads like an article about the site and "
                     "its sections, with a few <b>bold</b> words, <i>italics</i> and a list of points:</p>\n"
                     "<ul><li>The first point of the list, long enough to wrap in a browser window.</li>"
                     "<li>The second point, which mentions the <a href=\"../section" + IntToStr(N % 17) + "/page" + n +
                     ".htm\">page " + n + "</a> of another section.</li></ul>\n"
                     "<p>More text follows the list and ends the paragraph with a link to the "
                     "<a href='http://www.example.org/news/item" + n + ".html#top'>news</a> and to the "
                     "<a href=\"list.asp?id=" + n + "&amp;sort=2\">list</a>.</p>\n"
                     "<img src=\"img/photo" + IntToStr(N % 50) + ".jpg\" alt=\"Photo\" width=120 height=90>\n"
                     "<table><tr><td style=\"background:url('img/bg" + IntToStr(N % 5) + ".gif')\" href=\"cell" + n +
                     ".htm\">Cell text</td></tr></table>\n"
                     "<p><a href=\"mailto:someone@example.org\">Mail</a> | <a href=\"#section" + n + "\">Up</a></p>\n";
  if (N % 20 == 0)
    block += "<script>\n<!--\nvar pic = 'img/over" + n + ".gif';\nwindow.open('popup" + n +
             ".htm');\n//-->\n</script>\n";
  return block;
}

AnsiString GeneratedPage(size_t Size) {
  AnsiString page = "<html><head><title>Generated</title><link href=\"style/main.css\" rel=stylesheet></head><body>\n";
  for (int n = 0; page.size() < Size; ++n) page += PageBlock(n);
  page += "</body></html>\n";
  return page;
}

// Best of Rounds runs, in seconds of the process's processor time (the
// parse runs on this thread alone, and other programs' load on the machine
// does not count); also the number of links and replacements.
double ParseSeconds(const AnsiString& Page, int Rounds, TParseResult& Result) {
  TParseSettings settings;
  settings.PageUrl = "http://www.example.org/site/area/index.htm";
  settings.TranslateLinks = true;
  settings.Rewrite.Folder = "/mirror/";
  double best = 1e9;
  for (int i = 0; i < Rounds; ++i) {
    AnsiString content = Page;
    const std::clock_t start = std::clock();
    Result = ParseDocument(content, settings);
    best = std::min(best, double(std::clock() - start) / CLOCKS_PER_SEC);
  }
  return best;
}

} // namespace

int main() {
  const AnsiString small = GeneratedPage(1 << 20);
  const AnsiString large = GeneratedPage(10 << 20);
  TParseResult smallResult, largeResult;
  const double smallSeconds = ParseSeconds(small, 10, smallResult);
  const double largeSeconds = ParseSeconds(large, 5, largeResult);
  std::printf("parser_1mib_bytes_per_candidate: %.0f bytes\n", small.size() / double(ScanHtml(small).Candidates.size()));
  std::printf("parser_1mib_links: %zu links\n", smallResult.Links.size());
  std::printf("parser_1mib_rewritten: %d links\n", smallResult.Rewritten);
  std::printf("parser_1mib: %.1f MB/s\n", small.size() / smallSeconds / 1e6);
  std::printf("parser_10mib_rewritten: %d links\n", largeResult.Rewritten);
  std::printf("parser_10mib: %.1f MB/s\n", large.size() / largeSeconds / 1e6);
  std::printf("parser_10mib_vs_1mib_time: %.2f times\n", largeSeconds / smallSeconds);
  return 0;
}
