// Runs the scripted worker cases of tests/data/worker: one worker against a
// scripted loopback server per case file, then the expectations of the case.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

#include "support/LoopbackServer.h"
#include "crawl/WorkerMessages.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/FileUtils.h"
#include "project/SiteTree.h"
#include "project/SiteTreeNode.h"
#include "test_worker_harness.h"

namespace {

namespace fs = std::filesystem;

std::string Replace(std::string Text, const std::string& From, const std::string& To) {
  for (size_t at = Text.find(From); at != std::string::npos; at = Text.find(From, at + To.size()))
    Text.replace(at, From.size(), To);
  return Text;
}

std::vector<std::string> Words(const std::string& Text) {
  std::istringstream in(Text);
  std::vector<std::string> words;
  for (std::string word; in >> word;) words.push_back(word);
  return words;
}

std::pair<std::string, std::string> SplitFirst(const std::string& Text) {
  const size_t blank = Text.find(' ');
  if (blank == std::string::npos) return {Text, ""};
  return {Text.substr(0, blank), Text.substr(blank + 1)};
}

LoopbackScript WithRequestRead(LoopbackScript Script) {
  const bool reads = !Script.empty() && (Script[0].kind == LoopbackStep::Kind::ExpectText ||
                                         Script[0].kind == LoopbackStep::Kind::ExpectBytes);
  if (!reads) Script.insert(Script.begin(), LoopbackStep::Expect("\r\n\r\n"));
  return Script;
}

struct WorkerCase {
  std::string Name;
  std::vector<std::pair<std::string, std::string>> Order;
  std::vector<std::string> Replies;   // one server script per section
  std::vector<std::pair<std::string, std::string>> Expect;
};

// A case file of tests/data/worker:
//   --- order   one setting a line (see ApplyOrder)
//   --- reply   one server connection script each, in the loopback server's
//               language; the request header is read first unless the
//               script starts with a read step
//   --- expect  "key value" lines (see CheckExpect)
// "#" lines are comments; {host} and {port} are the server's address.

WorkerCase LoadWorkerCase(const std::string& Path) {
  WorkerCase result;
  result.Name = fs::path(Path).stem().string();
  std::ifstream in(Path);
  std::string line, section;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("--- ", 0) == 0) {
      section = line.substr(4);
      if (section == "reply") result.Replies.emplace_back();
      continue;
    }
    if (line.empty() || line[0] == '#') continue;
    if (section == "reply") {
      result.Replies.back() += line + "\n";
      continue;
    }
    const auto item = SplitFirst(line);
    if (section == "order") result.Order.push_back(item);
    if (section == "expect") result.Expect.push_back(item);
  }
  return result;
}

std::vector<std::string> WorkerCaseFiles() {
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(std::string(HARVELLA_TEST_DATA) + "/worker"))
    if (entry.path().extension() == ".case") files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

struct CaseRun {
  WorkerCase Case;
  TempFolder Folder;
  TParamProObj Params{"", false};
  TListObj Tree;
  TDataObj* Node = nullptr;
  std::unique_ptr<LoopbackServer> Server;
  WorkerRun Result;

  std::string Fill(const std::string& Text) const {
    std::string text = Replace(Text, "{host}", "127.0.0.1");
    text = Replace(text, "{port}", Server ? Server->PortText() : "0");
    return Replace(text, "{folder}", Folder.Path());
  }
};

void ApplyOrder(CaseRun& Run, TrcHttp& Rec) {
  const std::map<std::string, AnsiString TrcHttp::*> texts = {
      {"url", &TrcHttp::Url}, {"agent", &TrcHttp::Agent}, {"sender", &TrcHttp::Sender},
      {"reference", &TrcHttp::Reference}, {"base", &TrcHttp::BaseHref}};
  const std::map<std::string, int32_t TrcHttp::*> numbers = {{"level", &TrcHttp::Level},
                                                             {"max-level", &TrcHttp::MaxLevel}};
  for (const auto& [key, raw] : Run.Case.Order) {
    const std::string value = Run.Fill(raw);
    const std::vector<std::string> w = Words(value);
    if (texts.count(key) != 0) {
      Rec.*texts.at(key) = value;
    } else if (numbers.count(key) != 0) {
      Rec.*numbers.at(key) = std::stoi(value);
    } else if (key == "option") {
      for (const std::string& bit : w) {
        const int32_t mask = std::stoi(bit.substr(1), nullptr, 16);
        Run.Params.Project.Options = bit[0] == '+' ? Run.Params.Project.Options | mask : Run.Params.Project.Options & ~mask;
      }
    } else if (key == "update-mode") {
      Run.Params.Project.UpdateMode = static_cast<uint8_t>(std::stoi(value));
    } else if (key == "type") {
      AddFileType(Run.Params, std::stoi(w.at(0)), w.at(1), w.at(2) == "1", w.at(3) == "1", std::stoi(w.at(4)),
                  std::stoi(w.at(5)));
    } else if (key == "include" || key == "exclude") {
      auto& lists = key == "include" ? Run.Params.IncludeMasks : Run.Params.ExcludeMasks;
      lists.at(std::stoi(w.at(0))).Add(SplitFirst(value).second);
    } else if (key == "local") {
      const auto [name, text] = SplitFirst(value);
      Run.Folder.Write(name, LoopbackServer::UnescapeText(text));
    } else if (key == "local-age") {
      const auto [name, seconds] = SplitFirst(value);
      FileSetDate(Run.Folder.Path() + name, Now() + std::stod(seconds) / 86400.0);
    } else if (key == "node") {
      Run.Node = Run.Tree.AddUrl(Rec.Level, w.at(0));
      Rec.Node = Run.Node;
    } else if (key == "node-folder") {
      Run.Node->State |= snFolder;
    } else if (key == "node-size-orig") {
      Run.Node->SizeOrig = std::stoi(value);
    } else if (key == "local-file") {
      Rec.Mode = 0;
      Rec.Url = Run.Folder.Path() + value;
    } else if (key == "auth") {
      Rec.UseAuth = true;
      Rec.Username = w.at(0);
      Rec.Password = w.at(1);
    } else if (key == "proxy") {
      Rec.UseProxy = true;
      Rec.Proxy = w.at(0);
      Rec.ProxyPort = w.at(1);
    } else {
      ADD_FAILURE() << "unknown order key " << key;
    }
  }
}

std::string StatesText(const std::vector<int>& States) {
  std::string text;
  for (int code : States) text += (text.empty() ? "" : " ") + std::to_string(code);
  return text;
}

void CheckLinks(const CaseRun& Run, size_t& NextLink, const std::string& Value) {
  const auto [level, url] = SplitFirst(Run.Fill(Value));
  ASSERT_LT(NextLink, Run.Result.Links.size()) << "missing link " << url;
  EXPECT_EQ(Run.Result.Links[NextLink].Url, url);
  EXPECT_EQ(Run.Result.Links[NextLink].Level, std::stoi(level)) << url;
  ++NextLink;
}

// What the run did, as an expectation of the case file writes it.
std::map<std::string, std::function<std::string()>> Facts(const CaseRun& Run) {
  const WorkerRun& r = Run.Result;
  return {{"flags", [&] { return IntToHex(r.Flags, 4); }},
          {"success", [&]() -> std::string { return r.Success ? "1" : "0"; }},
          {"default-doc", [&]() -> std::string { return r.DefaultDocSaved ? "1" : "0"; }},
          {"states", [&] { return StatesText(r.States); }},
          {"progress-count", [&] { return std::to_string(r.Progress.size()); }},
          {"link-count", [&] { return std::to_string(static_cast<int>(r.Links.size()) - 1); }},
          {"files", [&] { return std::to_string(Run.Folder.Files().size()); }},
          {"node-state", [&] { return std::to_string(Run.Node->State); }},
          {"node-local-name", [&] { return Run.Node->LocalName.str(); }},
          {"node-size", [&] { return std::to_string(Run.Node->Size); }},
          {"node-size-orig", [&] { return std::to_string(Run.Node->SizeOrig); }},
          {"node-not-parsed", [&]() -> std::string { return Run.Node->NotParsed ? "1" : "0"; }},
          {"connections", [&] { return std::to_string(Run.Server->AcceptedCount()); }}};
}

void CheckExpect(const CaseRun& Run) {
  const WorkerRun& r = Run.Result;
  const auto facts = Facts(Run);
  size_t nextLink = 1, nextProgress = 0;
  for (const auto& [key, raw] : Run.Case.Expect) {
    const std::string value = Run.Fill(raw);
    SCOPED_TRACE(key + " " + value);
    if (facts.count(key) != 0) {
      EXPECT_EQ(facts.at(key)(), value);
    } else if (key == "states-end") {
      const std::string all = StatesText(r.States);
      EXPECT_TRUE(all.size() >= value.size() && all.compare(all.size() - value.size(), value.size(), value) == 0) << all;
    } else if (key == "progress") {
      ASSERT_LT(nextProgress, r.Progress.size());
      EXPECT_EQ(r.Progress[nextProgress++], LoopbackServer::UnescapeText(value));
    } else if (key == "no-links") {
      EXPECT_EQ(r.LinkMessages, 0);
    } else if (key == "links-mode") {
      EXPECT_EQ(r.LinkMessages, 1);
      EXPECT_EQ(r.LinksMode, std::stoi(value));
    } else if (key == "cookie") {
      ASSERT_FALSE(r.Links.empty());
      EXPECT_EQ(r.Links[0].Url, value);
    } else if (key == "link") {
      CheckLinks(Run, nextLink, value);
    } else if (key == "file") {
      const auto [name, text] = SplitFirst(value);
      EXPECT_TRUE(Run.Folder.Exists(name)) << name;
      EXPECT_EQ(Run.Folder.Read(name), LoopbackServer::UnescapeText(text));
    } else if (key == "files-within") {
      for (const std::string& name : Run.Folder.Files()) EXPECT_LE(Run.Folder.Read(name).size(), std::stoul(value)) << name;
    } else if (key == "node-child") {
      const TDataObj* child = Run.Node->FindChild(value);
      ASSERT_NE(child, nullptr);
      EXPECT_TRUE(child->New);
      EXPECT_TRUE(Run.Node->New);
    } else if (key == "request") {
      EXPECT_NE(Run.Server->Received(0).find(LoopbackServer::UnescapeText(value)), std::string::npos)
          << Run.Server->Received(0);
    } else {
      ADD_FAILURE() << "unknown expect key " << key;
    }
  }
}

class WorkerCaseTest : public ::testing::TestWithParam<std::string> {};

TEST_P(WorkerCaseTest, RunsAsScripted) {
  CaseRun run;
  run.Case = LoadWorkerCase(GetParam());
  WorkerSettings(run.Params, run.Folder.Path());
  if (!run.Case.Replies.empty()) {
    std::vector<LoopbackScript> scripts;
    for (const std::string& reply : run.Case.Replies)
      for (const LoopbackScript& script : LoopbackServer::ParseScript(reply, std::string(HARVELLA_TEST_DATA) + "/worker"))
        scripts.push_back(WithRequestRead(script));
    run.Server = std::make_unique<LoopbackServer>(scripts, 1000);
  }
  WorkerHarness harness;
  TrcHttp rec = harness.Order("");
  ApplyOrder(run, rec);
  run.Result = harness.Run(run.Params, rec);
  ASSERT_TRUE(run.Result.Ended) << "the worker did not end";
  CheckExpect(run);
}

std::string CaseName(const ::testing::TestParamInfo<std::string>& Info) {
  std::string name = LoadWorkerCase(Info.param).Name;
  for (char& c : name)
    if (!isalnum(static_cast<unsigned char>(c))) c = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Cases, WorkerCaseTest, ::testing::ValuesIn(WorkerCaseFiles()), CaseName);

} // namespace
