// Scripted HTTP cases kept as data files (tests/data/http/*.case). A case
// file holds sections opened by "--- name" lines; "#" lines are comments
// everywhere but in the request section.
//
//   --- client      one setting a line: "url <url>", "method GET|POST|HEAD",
//                   "post <text>" (the POST body), "set <Property> <value>",
//                   "abort <when>" (header-end, doc-begin, doc-data,
//                   state <n>, thread <ms>), "append-cookies" (the cookie
//                   event appends to Cookie, as the download worker does),
//                   "accept <n>" (the server takes n connections)
//   --- request     the exact bytes one connection must receive: each line
//                   is sent with CR LF after it (a line starting "|" is
//                   raw bytes without a line end); one section per connection
//   --- reply       the server's script in the loopback server's language
//                   (send, delay, shutdown, close, reset, connection ...);
//                   each connection first reads the request header unless
//                   its script starts with a read step
//   --- other-reply the script of a second server (its port is {other})
//   --- expect      "key value" lines checked after the request:
//                   raises <code>|none, status, reason, body (escaped),
//                   body-size, states (state numbers in order), header-ends,
//                   doc-events "<begins> <ends>", location-changes,
//                   cookies-seen (joined by "|"), connections,
//                   other-connections, header <index> <line>, and the
//                   client's fields docname, location, hostname,
//                   target-host, port, path, query, content-type,
//                   content-length, rcvd-count, sent-count, accept-ranges,
//                   range, cookie, header-count, authenticate,
//                   last-modified / response-date ("yyyy-mm-dd hh:nn:ss"
//                   or 0), request-done-error, state
//
// Texts take the escapes \r \n \t \\ \s (blank) and \xHH. In every section
// {host} is 127.0.0.1, {port} the scripted server's port, {other} the second
// server's port and {refused} a port on which nothing listens.
#pragma once

#include <string>
#include <utility>
#include <vector>

struct HttpCaseFile {
    std::string Name;
    std::vector<std::pair<std::string, std::string>> Client;
    std::vector<std::string> Requests;
    std::string Reply;
    bool HasReply = false;
    std::string OtherReply;  // a second server, for redirections to a port
    bool HasOtherReply = false;
    std::vector<std::pair<std::string, std::string>> Expect;
};

std::string UnescapeCaseText(const std::string& text);
// Splits the file text into its sections (placeholders not yet replaced).
HttpCaseFile ParseHttpCase(const std::string& name, const std::string& text);
struct HttpCasePorts {
    int Port = 0;
    int Other = 0;
    int Refused = 0;
};

std::string ReplacePlaceholders(std::string text, const HttpCasePorts& ports);
// The case files of a folder, sorted by name.
std::vector<std::string> ListHttpCaseFiles(const std::string& folder);
