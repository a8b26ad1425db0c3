#include "net/HttpLocation.h"

#include "net/UrlUtils.h"

#include <vector>

namespace {

struct UrlParts {
    AnsiString Proto, Host, Port, Path;
};

UrlParts SplitParts(const AnsiString& Url)
{
    UrlParts parts;
    AnsiString user, pass, query;
    SplitUrl(Url, parts.Proto, user, pass, parts.Host, parts.Port, parts.Path, query);
    if (parts.Proto.empty())
        parts.Proto = "http";
    if (parts.Path.empty() || parts.Path[0] != '/')
        parts.Path = "/" + parts.Path;
    return parts;
}

AnsiString Origin(const UrlParts& Parts)
{
    AnsiString origin = Parts.Proto + "://" + Parts.Host;
    if (!Parts.Port.empty())
        origin += ":" + Parts.Port;
    return origin;
}

// Position of "://" when the value begins with a scheme name, else 0.
int SchemeEnd(const AnsiString& Value)
{
    const int sep = Pos("://", Value);
    if (sep <= 1)
        return 0;
    for (int i = 1; i < sep; ++i) {
        const char c = CharAt(Value, i);
        const bool schemeChar = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                                (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
        if (!schemeChar)
            return 0;
    }
    return sep;
}

AnsiString WithoutFragment(const AnsiString& Value)
{
    const int hash = Pos("#", Value);
    return hash > 0 ? Copy(Value, 1, hash - 1) : Value;
}

AnsiString PathWithoutQuery(const AnsiString& Path)
{
    const int query = Pos("?", Path);
    return query > 0 ? Copy(Path, 1, query - 1) : Path;
}

AnsiString Directory(const AnsiString& Path)
{
    const AnsiString plain = PathWithoutQuery(Path);
    return Copy(plain, 1, NthPos("/", plain, -1));
}

// An absolute value; an empty host takes the base's host and port.
AnsiString ResolveAbsolute(const UrlParts& Base, const AnsiString& Value)
{
    UrlParts target = SplitParts(Value);
    if (target.Host.empty()) {
        target.Host = Base.Host;
        target.Port = Base.Port;
    }
    return Origin(target) + RemoveDotSegments(target.Path);
}

} // namespace

AnsiString RemoveDotSegments(const AnsiString& Path)
{
    const int query = Pos("?", Path);
    const AnsiString plain = query > 0 ? Copy(Path, 1, query - 1) : Path;
    const AnsiString tail = query > 0 ? Copy(Path, query, Length(Path)) : AnsiString();
    std::vector<AnsiString> segments;
    size_t start = 1;  // plain starts with "/"
    bool endsInDirectory = false;
    while (start <= plain.size()) {
        size_t end = plain.find('/', start);
        if (end == AnsiString::npos)
            end = plain.size();
        const AnsiString segment = plain.substr(start, end - start);
        const bool last = end >= plain.size();
        endsInDirectory = last && (segment == "." || segment == "..");
        if (segment == "..") {
            if (!segments.empty())
                segments.pop_back();
        } else if (segment != ".") {
            segments.push_back(segment);
        }
        start = end + 1;
        if (last)
            break;
    }
    if (plain.size() > 1 && plain.back() == '/')
        endsInDirectory = true;
    AnsiString out;
    for (const AnsiString& segment : segments)
        out += "/" + segment;
    if (endsInDirectory && (out.empty() || out.back() != '/'))
        out += "/";
    if (out.empty())
        out = "/";
    return out + tail;
}

AnsiString ResolveLocation(const AnsiString& BaseUrl, const AnsiString& RawValue)
{
    const UrlParts base = SplitParts(BaseUrl);
    AnsiString value = WithoutFragment(Trim(RawValue));
    if (SchemeEnd(value) > 0)
        return ResolveAbsolute(base, value);
    if (StartsStr("//", value))
        return ResolveAbsolute(base, base.Proto + ":" + value);
    if (StartsText("http:", value))
        value = Copy(value, 6, Length(value));
    if (value.empty())
        return Origin(base) + base.Path;
    if (value[0] == '/')
        return Origin(base) + RemoveDotSegments(value);
    if (value[0] == '?')
        return Origin(base) + PathWithoutQuery(base.Path) + value;
    return Origin(base) + RemoveDotSegments(Directory(base.Path) + value);
}
