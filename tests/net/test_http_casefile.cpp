#include "test_http_casefile.h"

#include "support/LoopbackServer.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace {

std::pair<std::string, std::string> SplitKeyValue(const std::string& line)
{
    const size_t blank = line.find(' ');
    if (blank == std::string::npos)
        return {line, ""};
    return {line.substr(0, blank), line.substr(blank + 1)};
}

void ReplaceAll(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

std::string RequestBytes(const std::vector<std::string>& lines)
{
    std::string bytes;
    for (const std::string& line : lines) {
        if (!line.empty() && line[0] == '|')
            bytes += UnescapeCaseText(line.substr(1));
        else
            bytes += UnescapeCaseText(line) + "\r\n";
    }
    return bytes;
}

} // namespace

std::string UnescapeCaseText(const std::string& text)
{
    return LoopbackServer::UnescapeText(text);
}

HttpCaseFile ParseHttpCase(const std::string& name, const std::string& text)
{
    HttpCaseFile file;
    file.Name = name;
    std::istringstream input(text);
    std::string line, section;
    std::vector<std::string> request;
    auto flushRequest = [&] {
        if (section == "request") {
            while (!request.empty() && request.back().empty())
                request.pop_back();
            if (request.empty() || request.back()[0] != '|')
                request.push_back("");
            file.Requests.push_back(RequestBytes(request));
        }
        request.clear();
    };
    while (std::getline(input, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.rfind("--- ", 0) == 0) {
            flushRequest();
            section = line.substr(4);
            file.HasReply = file.HasReply || section == "reply";
            file.HasOtherReply = file.HasOtherReply || section == "other-reply";
            continue;
        }
        if (section == "request") {
            request.push_back(line);
            continue;
        }
        if (line.empty() || line[0] == '#')
            continue;
        if (section == "client")
            file.Client.push_back(SplitKeyValue(line));
        else if (section == "reply")
            file.Reply += line + "\n";
        else if (section == "other-reply")
            file.OtherReply += line + "\n";
        else if (section == "expect")
            file.Expect.push_back(SplitKeyValue(line));
    }
    flushRequest();
    return file;
}

std::string ReplacePlaceholders(std::string text, const HttpCasePorts& ports)
{
    ReplaceAll(text, "{host}", "127.0.0.1");
    ReplaceAll(text, "{port}", std::to_string(ports.Port));
    ReplaceAll(text, "{other}", std::to_string(ports.Other));
    ReplaceAll(text, "{refused}", std::to_string(ports.Refused));
    return text;
}

std::vector<std::string> ListHttpCaseFiles(const std::string& folder)
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().extension() == ".case")
            files.push_back(entry.path().string());
    std::sort(files.begin(), files.end());
    return files;
}
