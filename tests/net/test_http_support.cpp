#include "test_http_support.h"

#include "platform/rtl/DateUtils.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

// "yyyy-mm-dd hh:nn:ss" or "0".
TDateTime ParseDateTime(const std::string& text)
{
    int y = 0, m = 0, d = 0, h = 0, n = 0, s = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &m, &d, &h, &n, &s) != 6)
        return 0;
    return EncodeDate(y, m, d) + EncodeTime(h, n, s, 0);
}

std::string DateText(TDateTime date)
{
    return date == 0 ? std::string("0") : FormatDateTime("yyyy-mm-dd hh:nn:ss", date);
}

std::string JoinLines(const TStrings& lines)
{
    std::string joined;
    for (int i = 0; i < lines.Count(); ++i)
        joined += (i > 0 ? "|" : "") + lines.Strings(i);
    return joined;
}

} // namespace

RequestOutcome RunWithWatchdog(THttpCli& client, const std::string& method, int timeoutMs)
{
    RequestOutcome outcome;
    std::mutex lock;
    std::condition_variable done;
    bool finished = false;
    std::atomic<bool> fired{false};
    std::thread watchdog([&, handle = client.AbortHandle()] {
        std::unique_lock<std::mutex> guard(lock);
        if (!done.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] { return finished; })) {
            fired = true;
            handle->Abort();
        }
    });
    try {
        if (method == "POST")
            client.RunRequest(httpPOST);
        else if (method == "HEAD")
            client.RunRequest(httpHEAD);
        else
            client.Get();
    } catch (const EHttpException& e) {
        outcome.Raised = true;
        outcome.Code = e.ErrorCode;
        outcome.Message = e.Message();
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        finished = true;
    }
    done.notify_all();
    watchdog.join();
    EXPECT_FALSE(fired) << "the request did not end by itself";
    return outcome;
}

void SetProperty(THttpCli& client, const std::string& nameAndValue)
{
    const size_t blank = nameAndValue.find(' ');
    const std::string name = nameAndValue.substr(0, blank);
    const std::string value = blank == std::string::npos ? "" : nameAndValue.substr(blank + 1);
    AnsiString THttpCli::*const texts[] = {
        &THttpCli::Proxy, &THttpCli::ProxyPort, &THttpCli::Username,
        &THttpCli::Password, &THttpCli::ProxyUsername, &THttpCli::ProxyPassword, &THttpCli::Sender,
        &THttpCli::Reference, &THttpCli::Agent, &THttpCli::Accept, &THttpCli::Cookie,
        &THttpCli::ContentRangeBegin};
    const char* const names[] = {"Proxy", "ProxyPort", "Username", "Password",
                                 "ProxyUsername", "ProxyPassword", "Sender", "Reference", "Agent",
                                 "Accept", "Cookie", "ContentRangeBegin"};
    for (size_t i = 0; i < std::size(names); ++i) {
        if (name == names[i]) {
            client.*texts[i] = value;
            return;
        }
    }
    if (name == "NoCache")
        client.NoCache = value == "1";
    else if (name == "ModifiedSince")
        client.ModifiedSince = ParseDateTime(value);
    else
        ADD_FAILURE() << "unknown property " << name;
}

std::string ClientField(THttpCli& client, const std::string& name)
{
    if (name == "docname") return client.DocName();
    if (name == "location") return client.Location();
    if (name == "hostname") return client.Hostname();
    if (name == "target-host") return client.TargetHost();
    if (name == "port") return client.Port();
    if (name == "path") return client.Path();
    if (name == "query") return client.Query();
    if (name == "content-type") return client.ContentType();
    if (name == "content-length") return std::to_string(client.ContentLength());
    if (name == "rcvd-count") return std::to_string(client.RcvdCount());
    if (name == "sent-count") return std::to_string(client.SentCount());
    if (name == "accept-ranges") return client.AcceptRanges();
    if (name == "range") return client.ContentRangeBegin + "-" + client.ContentRangeEnd;
    if (name == "cookie") return client.Cookie;
    if (name == "header-count") return std::to_string(client.RcvdHeader().Count());
    if (name == "authenticate") return JoinLines(client.AuthenticateHeaders());
    if (name == "last-modified") return DateText(client.LastModified());
    if (name == "response-date") return DateText(client.ResponseDate());
    if (name == "request-done-error") return std::to_string(client.RequestDoneError());
    if (name == "state") return std::to_string(client.State());
    ADD_FAILURE() << "unknown expectation " << name;
    return {};
}

std::string Printable(const std::string& bytes)
{
    std::string out;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n\n";
        else if (byte < 0x20 || byte == 0x7F) {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "\\x%02X", byte);
            out += hex;
        } else
            out += c;
    }
    return out;
}
