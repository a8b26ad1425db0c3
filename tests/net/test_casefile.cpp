#include "test_casefile.h"

#include "support/LoopbackServer.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

std::pair<std::string, std::string> SplitKeyValue(const std::string& line)
{
    const size_t blank = line.find(' ');
    if (blank == std::string::npos)
        return {line, ""};
    return {line.substr(0, blank), line.substr(blank + 1)};
}

std::string RequestBytes(std::vector<std::string> lines)
{
    while (!lines.empty() && lines.back().empty())
        lines.pop_back();
    if (lines.empty() || lines.back()[0] != '|')
        lines.push_back("");
    std::string bytes;
    for (const std::string& line : lines) {
        if (!line.empty() && line[0] == '|')
            bytes += LoopbackServer::UnescapeText(line.substr(1));
        else
            bytes += LoopbackServer::UnescapeText(line) + "\r\n";
    }
    return bytes;
}

} // namespace

CaseFile ReadCaseFile(const std::string& path)
{
    CaseFile file;
    file.Name = path;
    std::ifstream input(path, std::ios::binary);
    std::string line, section;
    std::vector<std::string> request;
    auto flushRequest = [&] {
        if (section == "request")
            file.Requests.push_back(RequestBytes(request));
        request.clear();
    };
    while (std::getline(input, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("--- ", 0) == 0) {
            flushRequest();
            section = line.substr(4);
            if (section != "request" && section != "client" && section != "expect")
                file.Scripts[section];
        } else if (section == "request") {
            request.push_back(line);
        } else if (line.empty() || line[0] == '#') {
            continue;
        } else if (section == "client" || section == "expect") {
            (section == "client" ? file.Client : file.Expect).push_back(SplitKeyValue(line));
        } else {
            file.Scripts[section] += line + "\n";
        }
    }
    flushRequest();
    return file;
}

std::vector<std::string> ListCaseFiles(const std::string& folder)
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".case")
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}

std::string CaseTestName(const testing::TestParamInfo<std::string>& info)
{
    std::string name = std::filesystem::path(info.param).stem().string();
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c)))
            c = '_';
    return name;
}
