// Local mirror naming: how a URL becomes a folder and a file name under the
// download folder. Saving a document and rewriting links in saved pages both
// name files through MirrorNameFor, so the two always meet. Pure functions on
// strings; paths use "/" and the download folder ends with "/".
#pragma once

#include "platform/rtl/SysUtils.h"

// EscapeUrlChars of S ("?", "://", ":\\" and "&" escaped), skipping the work
// when S holds none of them.
AnsiString EscapeNameChars(AnsiString S);

// Every blank becomes "%20".
AnsiString EncodeSpaces(const AnsiString& S);

// Replaces "%" and two hexadecimal digits by that byte, left to right (a decoded
// "%" is not decoded again). For folder names (FileNameMode false) escapes whose
// first digit is "2" or whose second digit is "0" stay, so "%20" and "%2F" are
// kept; file names never decode "%2F" or "%00", so a name cannot leave its folder.
AnsiString DecodePercent(const AnsiString& S, bool FileNameMode);

// Turns a path holding a query (a "?" or ":", or an "=") into a file path whose
// name carries the checksum of the query: '/shop/list.asp?id=7' becomes
// '/shop/list_XXXXXXXX.htm', '/shop/?id=7' becomes '/shop/query_XXXXXXXX'.
// False, and Path unchanged, when there is no query.
bool LocalNameForQuery(AnsiString& Path);

// The base name and extension of a document. A path ending with "/" is an
// "index.htm"; an extension-less name served as "text/html" becomes
// "index.htm" too (DocName is changed to it), stored inside a folder of its name.
struct TNameExt {
  AnsiString Name;
  AnsiString Ext;
};
TNameExt SplitNameExt(AnsiString& DocName, const AnsiString& Path, const AnsiString& ContentType);

// A folder or file name as it is written to disk (crawl/SavePaths.h):
// backslashes and control bytes encoded ("%5C", "%01"), "." and ".." escaped
// ("%2E"), and so is the leading "." of a name spelt as a temporary file of
// a whole-file writer (AtomicFile), which the stale-file sweep would remove.
AnsiString MirrorComponent(const AnsiString& Part);

// "index.htm", "index.html", "default.html", "document.htm", "document.html"
// without regard to case.
bool IsDefaultDocName(const AnsiString& Name);

// What the naming needs of a fetched URL: as the HTTP client splits it.
struct TMirrorRequest {
  AnsiString Host;         // the URL's host, without port
  AnsiString Path;         // request path with its query, "/" at least
  AnsiString DocName;      // last path segment before "?", "index.htm" for a folder
  AnsiString Query;        // "?..." or empty
  AnsiString ContentType;  // of the response
  bool Redirected = false; // a redirect was followed to reach it
};

// The local place of a document: LocalDir + NamePart + LocalName is its file.
struct TMirrorName {
  AnsiString LocalDir;  // download folder + host + folders (no trailing "/"), or the
                        // download folder alone in the flat layout
  AnsiString NamePart;  // "/" with the directory structure, else "host_dir_"
  AnsiString LocalName; // the file name
  AnsiString FileName() const { return LocalDir + NamePart + LocalName; }
};

// Names a document. DirStructure is the option to copy the sites' directory
// structure; without it the mirror is flat and host and folders are folded into
// the file name. Folder is the download folder. "." and ".." folders are
// resolved and cannot climb above the host's folder.
TMirrorName MirrorNameFor(TMirrorRequest Request, bool DirStructure, const AnsiString& Folder);

// The request the HTTP client would make for Url (absolute).
TMirrorRequest MirrorRequestForUrl(const AnsiString& Url, const AnsiString& ContentType);

// The content type a link is assumed to have before it is fetched: a page when
// its last path segment has no extension (the rewriter's assumption), else none.
AnsiString AssumedContentType(const AnsiString& Url);
