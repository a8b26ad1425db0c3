// Scripted cases kept as data files, one case a file (tests/data/http and
// tests/data/socks, *.case). A case file holds sections opened by
// "--- name" lines:
//   --- client   "key value" settings of the client under test
//   --- expect   "key value" lines checked after the run
//   --- request  (HTTP only) the exact bytes one connection must receive:
//                each line is sent with CR LF after it (a line starting "|"
//                is raw bytes without a line end); one section a connection
//   any other    a scripted server in the loopback server's language (send,
//                expect, delay, shutdown, close, reset, connection ...),
//                kept by its section name ("reply", "other-reply", "server")
// "#" lines are comments everywhere but in the request section. Texts take
// the escapes \r \n \t \\ \s (blank) and \xHH.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

struct CaseFile {
    using Settings = std::vector<std::pair<std::string, std::string>>;
    std::string Name;
    Settings Client;
    Settings Expect;
    std::vector<std::string> Requests;
    std::map<std::string, std::string> Scripts;
};

CaseFile ReadCaseFile(const std::string& path);
// The case files of a folder, sorted by name.
std::vector<std::string> ListCaseFiles(const std::string& folder);
// A test name made of the case file's name.
std::string CaseTestName(const testing::TestParamInfo<std::string>& info);
