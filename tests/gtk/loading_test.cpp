// SPDX-License-Identifier: MIT
// Which processes load the window module, and that a search never fails for
// want of it: hosts on no toolkit, on "GTK 4", without a display, with a
// broken module, from an installed copy, and the CLI with --no-window.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <string>

#include "support/search_fixture.h"
#include "test_display.h"
#include "x_session.h"

namespace docseek::test {
namespace {

namespace fs = std::filesystem;

const fs::path kBuild = DOCSEEK_BINARY_DIR;
const fs::path kPlugin = kBuild / "lib" / "libdocseek.so";
const fs::path kModule = kBuild / "lib" / "libdocseek-gtk.so";

class DisplayEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { StopTestDisplay(); }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new DisplayEnvironment);

// What probe_host reports: lines=, module=, gtk=.
// `preload` is "--preload LIB" or "--preload-local LIB".
std::map<std::string, std::string> Probe(const fs::path& plugin, const EnvChanges& env,
                                         const std::string& preload = {}) {
  std::vector<std::string> argv = {DOCSEEK_PROBE_HOST, plugin.string()};
  if (!preload.empty()) {
    argv.push_back(preload.substr(0, preload.find(' ')));
    argv.push_back(preload.substr(preload.find(' ') + 1));
  }
  const CommandResult r = RunCommand(argv, env);
  EXPECT_EQ(r.status, 0) << r.err;
  std::map<std::string, std::string> fields;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) fields[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return fields;
}

// The plug-in alone in a fresh folder; beside it as its window module a file
// holding `module_text`, or a copy of `module_file`, or nothing.
fs::path PluginCopy(const TempDir& dir, const std::string& module_text,
                    const fs::path& module_file = {}) {
  const fs::path plugin = dir.path() / "libdocseek.so";
  fs::copy_file(fs::canonical(kPlugin), plugin);
  if (!module_file.empty()) fs::copy_file(module_file, dir.path() / "libdocseek-gtk.so");
  if (!module_text.empty()) dir.write("libdocseek-gtk.so", module_text);
  return plugin;
}

std::set<std::string> DefinedSymbols(const fs::path& library) {
  const CommandResult r = RunCommand({"nm", "-D", "--defined-only", library.string()});
  EXPECT_EQ(r.status, 0) << r.err;
  std::set<std::string> names;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) names.insert(line.substr(line.rfind(' ') + 1));
  return names;
}

TEST(WindowModule, ThePluginLinksNoToolkitAndTheModuleExportsOneEntry) {
  const CommandResult needed = RunCommand({"readelf", "-d", fs::canonical(kPlugin).string()});
  ASSERT_EQ(needed.status, 0) << needed.err;
  EXPECT_EQ(needed.out.find("libgtk"), std::string::npos) << needed.out;
  EXPECT_EQ(needed.out.find("libgdk"), std::string::npos) << needed.out;
  EXPECT_EQ(DefinedSymbols(kPlugin),
            (std::set<std::string>{"GetBackType", "GetBackCount", "Getinfo"}));
  EXPECT_EQ(DefinedSymbols(kModule), std::set<std::string>{"docseek_view_module_get"});
}

class WindowLoading : public ::testing::Test {
 protected:
  void SetUp() override { DOCSEEK_REQUIRE_DISPLAY(); }
  EngineProcess engine;
  ProxyTo proxy{engine.proxy()};
  TempDir scratch;
};

TEST_F(WindowLoading, OnlyAProcessThatCanShowAGtk3WindowLoadsTheModule) {
  const std::string display = *TestDisplay();
  const EnvChanges no_display = {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}};
  // With a locale in the environment GTK would switch the host to it; the
  // host never asked for that.
  const EnvChanges x_display = {{"DISPLAY", display}, {"LC_ALL", "C.UTF-8"}};
  // A display number nobody serves: the module loads, GTK cannot open it.
  const EnvChanges dead_display = {{"DISPLAY", display + "77"}};
  const TempDir alone, garbage, foreign, gtk4;
  // Found by its name in the link map even where its symbols are private.
  fs::copy_file(DOCSEEK_FAKE_GTK4, gtk4.path() / "libgtk-4.so.1");
  const std::string gtk4_local = "--preload-local " + (gtk4.path() / "libgtk-4.so.1").string();

  const struct {
    const char* name;
    fs::path plugin;
    EnvChanges env;
    std::string preload;
    std::string module;  // expected path of the mapped module, "" for none
    const char* gtk;
  } cases[] = {
      {"no display", kPlugin, no_display, "", "", "0"},
      {"a display", kPlugin, x_display, "", fs::canonical(kModule).string(), "1"},
      {"GTK 4 already loaded", kPlugin, x_display, "--preload " DOCSEEK_FAKE_GTK4, "", "0"},
      {"GTK 4 loaded privately", kPlugin, x_display, gtk4_local, "", "0"},
      {"no module beside the plug-in", PluginCopy(alone, ""), x_display, "", "", "0"},
      {"a module that is no library", PluginCopy(garbage, "not a library"), x_display, "", "", "0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    auto probe = Probe(c.plugin, c.env, c.preload);
    EXPECT_EQ(probe["lines"], "12") << "the search itself must not suffer";
    EXPECT_EQ(probe["module"], c.module);
    EXPECT_EQ(probe["gtk"], c.gtk);
    EXPECT_EQ(probe["locale"], "C");
  }

  // Loaded but unusable: the search goes on with the terminal view.
  const struct {
    const char* name;
    fs::path plugin;
    EnvChanges env;
  } fallbacks[] = {
      {"a module without our entry point", PluginCopy(foreign, "", DOCSEEK_FAKE_GTK4), x_display},
      {"a display that cannot be opened", kPlugin, dead_display},
  };
  for (const auto& c : fallbacks) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Probe(c.plugin, c.env)["lines"], "12");
  }
}

TEST_F(WindowLoading, AnInstalledCopyFindsItsModuleBesideIt) {
  const fs::path prefix = scratch.path() / "prefix";
  const CommandResult install =
      RunCommand({"cmake", "--install", kBuild.string(), "--prefix", prefix.string()});
  ASSERT_EQ(install.status, 0) << install.err;
  fs::path plugin;
  for (const auto& entry : fs::recursive_directory_iterator(prefix)) {
    if (entry.path().filename() == "libdocseek.so") plugin = entry.path();
  }
  ASSERT_FALSE(plugin.empty());
  auto probe = Probe(plugin, {{"DISPLAY", *TestDisplay()}});
  EXPECT_EQ(probe["lines"], "12");
  EXPECT_EQ(probe["module"], fs::canonical(plugin.parent_path() / "libdocseek-gtk.so").string());
}

TEST_F(WindowLoading, TheCliShowsTheWindowUnlessToldNotTo) {
  const struct {
    std::vector<std::string> extra;
    bool module;
  } cases[] = {{{}, true}, {{"--no-window"}, false}};
  for (const auto& c : cases) {
    std::vector<std::string> argv = {DOCSEEK_CLI, "search",  "report", "--types",
                                     "pdf",       "--count", "2",      "--format=raw"};
    argv.insert(argv.end(), c.extra.begin(), c.extra.end());
    SCOPED_TRACE(argv.back());
    // The dynamic linker names every library it opens on stderr.
    const CommandResult r = RunCommand(argv, {{"DISPLAY", *TestDisplay()}, {"LD_DEBUG", "files"}});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("report"), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find("libdocseek-gtk.so") != std::string::npos, c.module);
  }
}

}  // namespace
}  // namespace docseek::test
