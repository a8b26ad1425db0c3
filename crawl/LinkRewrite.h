// Link rewriting: the relative local name that replaces a followed link in a
// saved page, so that the mirror browses offline. With the directory structure
// a link becomes a path relative to the page's base ('../c/p.htm'); in the flat
// layout every file lies in the download folder and a link becomes the flat
// file name that the mirror naming gives its target ('host_dir_p.htm'). The
// names in a link are those the files have on disk, percent-encoded ("%" as
// "%25", blanks as "%20"), so a browser that decodes the link opens the file.
#pragma once

#include <string_view>

#include "platform/rtl/SysUtils.h"

// The settings the rewriting reads.
struct TRewriteSettings {
  bool WwwAlias = false;    // a host and the same host with "www." are one site
  bool DirStructure = true; // the mirror copies the sites' directory structure
  AnsiString DomainCodes;   // the text of the domain-code list, one code a line
  AnsiString Folder;        // the download folder, ending with "/"
};

// Rewrites the links of one page; the parts of its base are worked out once.
// The settings are read where they stand: they outlive the rewriter.
class TLinkRewriter {
public:
  TLinkRewriter(const AnsiString& PageHost, const AnsiString& Base, const TRewriteSettings& Settings);
  // As RewriteLink and RewriteBaseLink below, for this page.
  bool Rewrite(const AnsiString& Link, AnsiString& Local) const;
  bool RewriteBase(const AnsiString& Url, AnsiString& Local) const;

private:
  size_t BaseHostPartLength(std::string_view Local, size_t Scheme) const;
  AnsiString DirectoryLink(AnsiString Local) const;
  AnsiString FlatLink(const AnsiString& Local) const;

  AnsiString PageHost_;
  AnsiString BaseFolders_; // the base lower-cased, without its scheme
  AnsiString BaseHost_;
  const TRewriteSettings& Settings_;
};

// Local := the relative local name for the absolute Link on a page of host
// PageHost whose base is Base; a "#fragment" is kept after the local name.
// True when Local differs from Link.
bool RewriteLink(const AnsiString& PageHost, const AnsiString& Base, const AnsiString& Link,
                 AnsiString& Local, const TRewriteSettings& Settings);

// Local := the local folder that replaces a base tag's href: the folder of Url
// in the mirror (the download folder itself in the flat layout), encoded for a
// link as above. False when Url names no host and PageHost is empty.
bool RewriteBaseLink(const AnsiString& PageHost, const AnsiString& Url, AnsiString& Local,
                     const TRewriteSettings& Settings);

// Path := Folder + host + "/" + the URL's path, joined by exactly one "/"; the
// host is the URL's own, or PageHost when it has none. False without a host.
bool LocalPathForUrl(const AnsiString& PageHost, const AnsiString& Url, const AnsiString& Folder,
                     AnsiString& Path);

// The text after the last "." of Name occurs in DomainCodes; false without ".".
bool IsDomainCode(const AnsiString& Name, const AnsiString& DomainCodes);

// 1 + the number of "." before the first "/".
int CountHostLabels(const AnsiString& S);

// The text after the last "/" holds no ".".
bool HasNoExtension(const AnsiString& S);
