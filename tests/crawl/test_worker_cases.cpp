// Runs the scripted worker cases of tests/data/worker: one worker against a
// scripted loopback server per case file, then the expectations of the case.
#include <gtest/gtest.h>

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

void SetFileType(TParamProObj& Params, const std::vector<std::string>& W) {
  auto sizer = std::make_unique<TSizerObj>();
  sizer->Load = W.at(2) == "1";
  sizer->CheckSize = W.at(3) == "1";
  sizer->MinSize = std::stoi(W.at(4));
  sizer->MaxSize = std::stoi(W.at(5));
  Params.FileTypes.at(std::stoi(W.at(0))).AddObject(W.at(1), sizer.release());
}

void ApplyOrder(CaseRun& Run, TrcHttp& Rec) {
  for (const auto& [key, raw] : Run.Case.Order) {
    const std::string value = Run.Fill(raw);
    const std::vector<std::string> w = Words(value);
    if (key == "url") {
      Rec.Url = value;
    } else if (key == "level") {
      Rec.Level = std::stoi(value);
    } else if (key == "max-level") {
      Rec.MaxLevel = std::stoi(value);
    } else if (key == "option") {
      for (const std::string& bit : w) {
        const int32_t mask = std::stoi(bit.substr(1), nullptr, 16);
        Run.Params.Project.Options = bit[0] == '+' ? Run.Params.Project.Options | mask : Run.Params.Project.Options & ~mask;
      }
    } else if (key == "update-mode") {
      Run.Params.Project.UpdateMode = static_cast<uint8_t>(std::stoi(value));
    } else if (key == "type") {
      SetFileType(Run.Params, w);
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
    } else if (key == "agent") {
      Rec.Agent = value;
    } else if (key == "sender") {
      Rec.Sender = value;
    } else if (key == "reference") {
      Rec.Reference = value;
    } else if (key == "auth") {
      Rec.UseAuth = true;
      Rec.Username = w.at(0);
      Rec.Password = w.at(1);
    } else if (key == "proxy") {
      Rec.UseProxy = true;
      Rec.Proxy = w.at(0);
      Rec.ProxyPort = w.at(1);
    } else if (key == "base") {
      Rec.BaseHref = value;
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

void CheckExpect(const CaseRun& Run) {
  const WorkerRun& r = Run.Result;
  size_t nextLink = 1, nextProgress = 0;
  for (const auto& [key, raw] : Run.Case.Expect) {
    const std::string value = Run.Fill(raw);
    SCOPED_TRACE(key + " " + value);
    if (key == "flags") {
      EXPECT_EQ(r.Flags, std::stoi(value, nullptr, 16));
    } else if (key == "success") {
      EXPECT_EQ(r.Success, value == "1");
    } else if (key == "states") {
      EXPECT_EQ(StatesText(r.States), value);
    } else if (key == "states-end") {
      const std::string all = StatesText(r.States);
      EXPECT_TRUE(all.size() >= value.size() && all.compare(all.size() - value.size(), value.size(), value) == 0) << all;
    } else if (key == "progress") {
      ASSERT_LT(nextProgress, r.Progress.size());
      EXPECT_EQ(r.Progress[nextProgress++], LoopbackServer::UnescapeText(value));
    } else if (key == "progress-count") {
      EXPECT_EQ(r.Progress.size(), std::stoul(value));
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
    } else if (key == "link-count") {
      EXPECT_EQ(r.Links.size(), std::stoul(value) + 1);
    } else if (key == "file") {
      const auto [name, text] = SplitFirst(value);
      EXPECT_TRUE(Run.Folder.Exists(name)) << name;
      EXPECT_EQ(Run.Folder.Read(name), LoopbackServer::UnescapeText(text));
    } else if (key == "no-file") {
      EXPECT_FALSE(Run.Folder.Exists(value));
    } else if (key == "files") {
      EXPECT_EQ(Run.Folder.Files().size(), std::stoul(value));
    } else if (key == "node-state") {
      EXPECT_EQ(int(Run.Node->State), std::stoi(value));
    } else if (key == "node-local-name") {
      EXPECT_EQ(Run.Node->LocalName, value);
    } else if (key == "node-size") {
      EXPECT_EQ(Run.Node->Size, std::stoi(value));
    } else if (key == "node-size-orig") {
      EXPECT_EQ(Run.Node->SizeOrig, std::stoi(value));
    } else if (key == "node-child") {
      const TDataObj* child = Run.Node->FindChild(value);
      ASSERT_NE(child, nullptr);
      EXPECT_TRUE(child->New);
      EXPECT_TRUE(Run.Node->New);
    } else if (key == "default-doc") {
      EXPECT_EQ(r.DefaultDocSaved, value == "1");
    } else if (key == "request") {
      EXPECT_NE(Run.Server->Received(0).find(LoopbackServer::UnescapeText(value)), std::string::npos)
          << Run.Server->Received(0);
    } else if (key == "connections") {
      EXPECT_EQ(Run.Server->AcceptedCount(), std::stoi(value));
    } else if (key == "outside") {
      EXPECT_EQ(Run.Folder.EntriesOutside(), "");
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
