// The docseek program run as a user runs it, against the stand-in plug-in of
// fake_plugin.cpp: what it prints, where, and how it exits.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "test_paths.h"

extern char** environ;

namespace docseek::cli {
namespace {

using testing::kFakePlugin;
using testing::kIncompletePlugin;
using testing::kNotALibrary;
using testing::kProgram;

struct Outcome {
  int exit_code = -1;
  std::string out;
  std::string err;
};

// Runs `program` with `args` and COLUMNS set to `columns` (unset when empty),
// no input, and a deadline after which it is killed and the test fails.
Outcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                   const std::string& columns = "") {
  std::vector<std::string> env_text;
  for (char** e = environ; *e != nullptr; ++e) {
    if (!std::string_view(*e).starts_with("COLUMNS=")) env_text.emplace_back(*e);
  }
  if (!columns.empty()) env_text.push_back("COLUMNS=" + columns);
  std::vector<char*> env;
  for (std::string& e : env_text) env.push_back(e.data());
  env.push_back(nullptr);
  std::vector<std::string> argv_text{program};
  argv_text.insert(argv_text.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_text) argv.push_back(a.data());
  argv.push_back(nullptr);

  Outcome outcome;
  int out_pipe[2];
  int err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "pipe: " << errno;
    return outcome;
  }
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_RDONLY);
    dup2(null, STDIN_FILENO);
    dup2(out_pipe[1], STDOUT_FILENO);
    dup2(err_pipe[1], STDERR_FILENO);
    execve(program.c_str(), argv.data(), env.data());
    _exit(127);
  }
  close(out_pipe[1]);
  close(err_pipe[1]);
  if (pid < 0) {
    ADD_FAILURE() << "fork: " << errno;
    close(out_pipe[0]);
    close(err_pipe[0]);
    return outcome;
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  std::array<pollfd, 2> fds{pollfd{out_pipe[0], POLLIN, 0}, pollfd{err_pipe[0], POLLIN, 0}};
  std::array<std::string*, 2> sinks{&outcome.out, &outcome.err};
  int open_fds = 2;
  bool timed_out = false;
  while (open_fds > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      timed_out = true;
      break;
    }
    if (poll(fds.data(), fds.size(), static_cast<int>(left.count())) < 0 && errno != EINTR) break;
    for (std::size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else if (n == 0 || errno != EINTR) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open_fds;
      }
    }
  }
  if (timed_out) {
    kill(pid, SIGKILL);
    ADD_FAILURE() << program << " did not finish in time";
  }
  for (const pollfd& p : fds) {
    if (p.fd >= 0) close(p.fd);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  outcome.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return outcome;
}

// The program with the stand-in plug-in.
Outcome Docseek(std::vector<std::string> args, const std::string& columns = "") {
  args.insert(args.begin(), {"--plugin", kFakePlugin});
  return RunProgram(kProgram, args, columns);
}

// The raw lines of the echo record for a search that passed these arguments.
std::string Echo(std::string_view keyword, long long count, std::string_view types) {
  std::string joined(types);
  const auto type_count = std::count(joined.begin(), joined.end(), ',') + 1;
  return "[\"keyword=" + std::string(keyword) + "\",\"count=" + std::to_string(count) +
         "\",\"types=" + std::to_string(type_count) + "\",\"reserved=\",\"" + joined +
         "\",\"echo\"";
}

TEST(Cli, PrintsTheOfferedTypesAndCounts) {
  const struct {
    std::vector<std::string> args;
    std::string out;
  } cases[] = {
      {{"--plugin", kFakePlugin, "types"}, "pdf\ndoc\nxls\nppt\nrtf\nsogou\n"},
      {{"types", "--plugin", kFakePlugin}, "pdf\ndoc\nxls\nppt\nrtf\nsogou\n"},
      {{"counts", "--plugin=" + kFakePlugin}, "10\n20\n30\n50\n100\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.back());
    const Outcome o = RunProgram(kProgram, c.args);
    EXPECT_EQ(o.exit_code, 0) << o.err;
    EXPECT_EQ(o.out, c.out);
    EXPECT_EQ(o.err, "");
  }
}

TEST(Cli, PassesTheSearchArgumentsThrough) {
  const struct {
    std::vector<std::string> args;
    std::string echo;
  } cases[] = {
      {{"search", "report"}, Echo("report", 10, "pdf,doc,xls,ppt,rtf")},
      {{"search", "report", "--types", "pdf,doc", "--count", "3"}, Echo("report", 3, "pdf,doc")},
      {{"search", "--types=sogou", "--count=-7", "report"}, Echo("report", -7, "sogou")},
      {{"--count", "2147483647", "search", "x"}, Echo("x", 2147483647, "pdf,doc,xls,ppt,rtf")},
      {{"search", "x", "--count", "-2147483648"}, Echo("x", -2147483648, "pdf,doc,xls,ppt,rtf")},
      {{"search", "--", "-draft"}, Echo("-draft", 10, "pdf,doc,xls,ppt,rtf")},
      {{"search", "年度报告 2024", "--types", "a b,x"}, Echo("年度报告 2024", 10, "a b,x")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.echo);
    // In front, as a keyword after "--" takes all that follows.
    std::vector<std::string> args{"--format", "raw"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const Outcome o = Docseek(args);
    EXPECT_EQ(o.exit_code, 0) << o.err;
    EXPECT_TRUE(o.out.starts_with(c.echo)) << o.out;
  }
}

TEST(Cli, ReadsNothingMoreWhenTheCountIsNotPositive) {
  const Outcome o = Docseek({"search", "k", "--count", "0", "--format", "raw"});
  EXPECT_EQ(o.exit_code, 0);
  EXPECT_EQ(o.out, Echo("k", 0, "pdf,doc,xls,ppt,rtf") + "]\n");
}

// The same search in every format: one type, two hits after the echo record.
TEST(Cli, WritesEachFormat) {
  const struct {
    std::string format;
    std::string out;
  } cases[] = {
      {"raw", Echo("q", 2, "pdf") +
                  ",\"q pdf 1\",\"pdf\",\"10 KB\",\"2024-01-01\",\"Summary of pdf hit 1\","
                  "\"http://127.0.0.1/pdf/1.pdf\",\"q pdf 2\",\"pdf\",\"20 KB\",\"2024-01-02\","
                  "\"Summary of pdf hit 2\",\"http://127.0.0.1/pdf/2.pdf\"]\n"},
      {"json",
       "[\n"
       R"(  {"title":"keyword=q","suffix":"count=2","size":"types=1","date":"reserved=",)"
       R"("summary":"pdf","link":"echo"},)"
       "\n"
       R"(  {"title":"q pdf 1","suffix":"pdf","size":"10 KB","date":"2024-01-01",)"
       R"("summary":"Summary of pdf hit 1","link":"http://127.0.0.1/pdf/1.pdf"},)"
       "\n"
       R"(  {"title":"q pdf 2","suffix":"pdf","size":"20 KB","date":"2024-01-02",)"
       R"("summary":"Summary of pdf hit 2","link":"http://127.0.0.1/pdf/2.pdf"})"
       "\n]\n"},
      {"tsv",
       "title\tsuffix\tsize\tdate\tsummary\tlink\n"
       "keyword=q\tcount=2\ttypes=1\treserved=\tpdf\techo\n"
       "q pdf 1\tpdf\t10 KB\t2024-01-01\tSummary of pdf hit 1\thttp://127.0.0.1/pdf/1.pdf\n"
       "q pdf 2\tpdf\t20 KB\t2024-01-02\tSummary of pdf hit 2\thttp://127.0.0.1/pdf/2.pdf\n"},
      {"table",
       "TITLE      TYPE    SIZE     DATE        LINK\n"
       "keyword=q  count…  types=1  reserved=   echo\n"
       "    pdf\n"
       "q pdf 1    pdf     10 KB    2024-01-01  http://127.0.0.1/pdf/1.pdf\n"
       "    Summary of pdf hit 1\n"
       "q pdf 2    pdf     20 KB    2024-01-02  http://127.0.0.1/pdf/2.pdf\n"
       "    Summary of pdf hit 2\n"
       "3 results\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    const Outcome o =
        Docseek({"search", "q", "--types", "pdf", "--count", "2", "--format", c.format});
    EXPECT_EQ(o.exit_code, 0) << o.err;
    EXPECT_EQ(o.out, c.out);
    EXPECT_EQ(o.err, "");
  }
}

TEST(Cli, EscapesAwkwardFieldsEndToEnd) {
  const Outcome json = Docseek({"search", "mode:tricky", "--types", "pdf", "--format", "json"});
  EXPECT_EQ(json.exit_code, 0);
  EXPECT_NE(json.out.find(R"({"title":"Say \"hi\"\\now","suffix":"p\u0009d\u0009f",)"
                          R"("size":"1\u000a2","date":"\u0001)"
                          "\x7f"
                          R"(","summary":"bad )"
                          "\uFFFD"
                          R"( byte","link":"http://127.0.0.1/年度.pdf"})"),
            std::string::npos)
      << json.out;

  const Outcome tsv = Docseek({"search", "mode:tricky", "--types", "pdf", "--format", "tsv"});
  EXPECT_NE(tsv.out.find("Say \"hi\"\\\\now\tp\\td\\tf\t1\\n2\t\x01\x7f\tbad \xff byte\t"),
            std::string::npos)
      << tsv.out;
}

TEST(Cli, TableFollowsColumns) {
  for (const auto& [columns, width] :
       std::vector<std::pair<std::string, std::size_t>>{{"40", 40}, {"200", 200}, {"", 80}}) {
    SCOPED_TRACE(columns);
    const Outcome o = Docseek({"search", std::string(300, 'w'), "--types", "pdf"}, columns);
    EXPECT_EQ(o.exit_code, 0);
    std::size_t widest = 0;
    std::size_t start = 0;
    for (std::size_t end; (end = o.out.find('\n', start)) != std::string::npos; start = end + 1) {
      // Only ASCII and the one-column ellipsis here: count code points.
      std::size_t columns_used = 0;
      for (std::size_t i = start; i < end; ++i) columns_used += (o.out[i] & 0xC0) != 0x80;
      widest = std::max(widest, columns_used);
    }
    EXPECT_EQ(widest, width) << o.out;
  }
}

TEST(Cli, SaysSoWhenThereAreNoResults) {
  const struct {
    std::string format;
    std::string out;
  } cases[] = {
      {"table", "No results.\n"},
      {"json", "[]\n"},
      {"tsv", "title\tsuffix\tsize\tdate\tsummary\tlink\n"},
      {"raw", "[]\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.format);
    const Outcome o = Docseek({"search", "mode:empty", "--format", c.format});
    EXPECT_EQ(o.exit_code, 0);
    EXPECT_EQ(o.out, c.out);
    EXPECT_EQ(o.err, "");
  }
}

TEST(Cli, WarnsAboutAnIncompleteLastRecord) {
  const std::vector<std::string> search{"search", "mode:partial", "--types", "pdf", "--count", "1"};
  for (const std::string format : {"table", "json", "tsv"}) {
    SCOPED_TRACE(format);
    std::vector<std::string> args = search;
    args.insert(args.end(), {"--format", format});
    const Outcome o = Docseek(args);
    EXPECT_EQ(o.exit_code, 0);
    EXPECT_EQ(o.out.find("orphan"), std::string::npos) << o.out;
    EXPECT_NE(o.out.find("mode:partial pdf 1"), std::string::npos) << o.out;
    EXPECT_NE(o.err.find("warning"), std::string::npos);
    EXPECT_NE(o.err.find("2 line(s)"), std::string::npos) << o.err;
  }
  std::vector<std::string> args = search;
  args.insert(args.end(), {"--format", "raw"});
  const Outcome raw = Docseek(args);
  EXPECT_EQ(raw.exit_code, 0);
  EXPECT_TRUE(raw.out.ends_with(",\"orphan title\",\"orphan suffix\"]\n")) << raw.out;
  EXPECT_EQ(raw.err, "");
}

TEST(Cli, RefusesBadUsageWithExitTwo) {
  const std::vector<std::vector<std::string>> cases{
      {},
      {"find", "k"},
      {"search"},
      {"search", "a", "b"},
      {"search", "k", "--count", "ten"},
      {"search", "k", "--count", "2147483648"},
      {"search", "k", "--format", "xml"},
      {"search", "k", "--types", "pdf,,doc"},
      {"search", "-k"},
      {"types", "--count", "5"},
      {"counts", "--verbose"},
      {"search", "k", "--count"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    const Outcome o = Docseek(args);
    EXPECT_EQ(o.exit_code, 2);
    EXPECT_EQ(o.out, "");
    EXPECT_TRUE(o.err.starts_with("docseek: ")) << o.err;
    EXPECT_TRUE(o.err.ends_with("\nTry 'docseek --help'.\n")) << o.err;
  }
}

TEST(Cli, FailsWithExitOneWhenThePluginCannotBeUsed) {
  const struct {
    std::string plugin;
    std::string reason;
  } cases[] = {
      {DOCSEEK_BINARY_DIR "/no/such/libdocseek.so", "cannot load"},
      {kNotALibrary, "cannot load"},
      {kIncompletePlugin, "does not export Getinfo"},
  };
  for (const auto& c : cases) {
    for (const std::vector<std::string>& command :
         std::vector<std::vector<std::string>>{{"types"}, {"counts"}, {"search", "k"}}) {
      SCOPED_TRACE(c.plugin + " " + command.front());
      std::vector<std::string> args{"--plugin", c.plugin};
      args.insert(args.end(), command.begin(), command.end());
      const Outcome o = RunProgram(kProgram, args);
      EXPECT_EQ(o.exit_code, 1);
      EXPECT_EQ(o.out, "");
      EXPECT_NE(o.err.find(c.plugin), std::string::npos) << o.err;
      EXPECT_NE(o.err.find(c.reason), std::string::npos) << o.err;
    }
  }
}

TEST(Cli, HelpAndVersionNeedNoPlugin) {
  const std::string missing = DOCSEEK_BINARY_DIR "/no/such/libdocseek.so";
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"--help"}, {"-h"}, {"help"}, {"search", "--help"}, {"--plugin", missing, "--help"}}) {
    SCOPED_TRACE(args.back());
    const Outcome o = RunProgram(kProgram, args);
    EXPECT_EQ(o.exit_code, 0);
    EXPECT_TRUE(o.out.starts_with("Usage: docseek")) << o.out;
    EXPECT_NE(o.out.find("http_proxy"), std::string::npos);
    EXPECT_EQ(o.err, "");
  }
  const Outcome version = RunProgram(kProgram, {"--version"});
  EXPECT_EQ(version.exit_code, 0);
  EXPECT_EQ(version.out, "docseek " DOCSEEK_VERSION "\n");
}

// A copy of the program in a fresh tree finds the plug-in in ../lib by itself.
class InstalledLayout : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = (std::filesystem::temp_directory_path() / "docseek-cli-XXXXXX").string();
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    root_ = pattern;
    std::filesystem::create_directories(root_ / "bin");
    std::filesystem::copy_file(kProgram, root_ / "bin" / "docseek");
  }
  void TearDown() override {
    if (!root_.empty()) std::filesystem::remove_all(root_);
  }
  std::filesystem::path root_;
};

TEST_F(InstalledLayout, LoadsThePluginBesideTheProgram) {
  const std::string program = (root_ / "bin" / "docseek").string();
  const Outcome none = RunProgram(program, {"types"});
  EXPECT_EQ(none.exit_code, 1);
  EXPECT_NE(none.err.find((root_ / "lib" / "libdocseek.so").string()), std::string::npos)
      << none.err;

  std::filesystem::create_directories(root_ / "lib");
  std::filesystem::copy_file(kFakePlugin, root_ / "lib" / "libdocseek.so");
  const Outcome found = RunProgram(program, {"counts"});
  EXPECT_EQ(found.exit_code, 0) << found.err;
  EXPECT_EQ(found.out, "10\n20\n30\n50\n100\n");
}

}  // namespace
}  // namespace docseek::cli
