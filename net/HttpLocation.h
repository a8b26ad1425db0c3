// Resolution of a "Location:" value against the URL being fetched, for the
// HTTP client's redirects. The result is an absolute URL
// "proto://host[:port]/path[?query]".
//
// Contract: an absolute value ("proto://host...") stands on its own, with
// no port when it names none (the client then uses 80); an empty host means
// the current host and port. A value starting with "//" takes the current
// protocol, one starting with "/" the current protocol, host and port, one
// starting with "?" the current path, and any other value resolves against
// the current directory. "." and ".." segments are resolved, a fragment is
// dropped, and credentials in the current URL are not carried over.
#pragma once

#include "platform/rtl/SysUtils.h"

AnsiString ResolveLocation(const AnsiString& BaseUrl, const AnsiString& Value);

// "." and ".." segments of a path (query kept as it stands) removed.
AnsiString RemoveDotSegments(const AnsiString& Path);
