// Markup is made harmless before the rich-text browser sees it.
#include <gtest/gtest.h>

#include "platform/web/HtmlSanitizer.h"

TEST(HtmlSanitizer, DropsScriptsObjectsCommentsAndEventAttributes) {
  EXPECT_EQ(SanitizeHtml("<p onclick=\"x()\" class=a>Hi<script>alert('<p>')</script><!-- c -->"
                         "<iframe src=x>in</iframe><SCRIPT>y</script >!</p>"),
            "<p class=\"a\">Hi!</p>");
  EXPECT_EQ(SanitizeHtml("a < b <3 <script>never closed"), "a &lt; b &lt;3 ");
  EXPECT_EQ(SanitizeHtml("<style>p{width:999999px;color:#123456}</style><title>T</title>"),
            "<style>p{width:4000px;color:#123456}</style><title>T</title>");
  EXPECT_EQ(SanitizeHtml("<b>bold</i>still</b>"), "<b>boldstill</b>");
}

TEST(HtmlSanitizer, BoundsNestingAttributesAndSizes) {
  AnsiString deep;
  for (int i = 0; i < 100000; ++i) deep += "<div>";
  deep += "core";
  const AnsiString out = SanitizeHtml(deep);
  EXPECT_LT(out.size(), 48u * 5 + 10);
  EXPECT_EQ(out.substr(out.size() - 4), "core");

  AnsiString tables;
  for (int i = 0; i < 10; ++i) tables += "<table><tr><td>";
  tables += "x";
  for (int i = 0; i < 10; ++i) tables += "</td></tr></table>";
  const AnsiString t = SanitizeHtml(tables);
  size_t count = 0;
  for (size_t at = t.find("<table>"); at != AnsiString::npos; at = t.find("<table>", at + 1)) ++count;
  EXPECT_EQ(count, 4u);
  EXPECT_EQ(t.find("x") != AnsiString::npos, true);

  const AnsiString huge(3 << 20, 'a');
  EXPECT_EQ(SanitizeHtml("<p title=\"" + huge + "\" id=k>t</p>"), "<p id=\"k\">t</p>");
  EXPECT_EQ(SanitizeHtml("<img src=a.png width=99999999 height='100%' border=5000 style=\"height:123456789012px\">"),
            "<img src=\"a.png\" width=\"4000\" height=\"100%\" border=\"100\" style=\"height:4000px\">");
  EXPECT_EQ(SanitizeHtml("<a title='x\"y'>q</a>"), "<a title=\"x&quot;y\">q</a>");
}
