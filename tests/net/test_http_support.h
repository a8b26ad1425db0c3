// Helpers shared by the HTTP client tests: running a request with a
// watchdog, setting a property by name and reading a field by name.
#pragma once

#include "net/HttpProt.h"

#include <string>

struct RequestOutcome {
    bool Raised = false;
    int Code = 0;
    std::string Message;
};

// Runs GET, POST or HEAD; a request that has not ended after timeoutMs is
// aborted from another thread and reported as a test failure.
RequestOutcome RunWithWatchdog(THttpCli& client, const std::string& method, int timeoutMs = 15000);

// "Name value" for the settable properties (Proxy, Agent, NoCache ...).
void SetProperty(THttpCli& client, const std::string& nameAndValue);

// A read-only field by its name in lower case with dashes (docname,
// location, content-length, last-modified ...).
std::string ClientField(THttpCli& client, const std::string& name);

// Bytes below 0x20 shown as escapes, for readable comparisons.
std::string Printable(const std::string& bytes);
