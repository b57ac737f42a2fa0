// SPDX-License-Identifier: MIT
#include "plugin_loader.h"

#include <gtest/gtest.h>

#include <docseek/string_list.hpp>
#include <filesystem>
#include <string>
#include <variant>

#include "test_paths.h"

namespace docseek::cli {
namespace {

using testing::kFakePlugin;
using testing::kIncompletePlugin;
using testing::kNotALibrary;

TEST(DefaultPluginPaths, LooksBesideTheProgramFirst) {
  const auto paths = DefaultPluginPaths("/opt/docseek/bin/docseek");
  ASSERT_FALSE(paths.empty());
  EXPECT_EQ(paths.front(), "/opt/docseek/lib/libdocseek.so");
  // The install's own library folder comes second, only when it is another.
  const std::string installed =
      (std::filesystem::path("/opt/docseek/bin") / DOCSEEK_LIBDIR_FROM_BINDIR / "libdocseek.so")
          .lexically_normal()
          .string();
  if (installed == paths.front()) {
    EXPECT_EQ(paths.size(), 1u);
  } else {
    ASSERT_EQ(paths.size(), 2u);
    EXPECT_EQ(paths[1], installed);
  }
}

TEST(LoadPlugin, FindsTheThreeExports) {
  const auto loaded = LoadPlugin(kFakePlugin);
  ASSERT_TRUE(std::holds_alternative<Plugin>(loaded)) << std::get<LoadError>(loaded).message;
  const Plugin& plugin = std::get<Plugin>(loaded);
  EXPECT_EQ(plugin.path, kFakePlugin);
  ASSERT_NE(plugin.getinfo, nullptr);
  docseek::StringList counts;
  plugin.get_back_count(counts.list());
  EXPECT_EQ(counts.lines(), (std::vector<std::string>{"10", "20", "30", "50", "100"}));
}

TEST(LoadPlugin, RefusesWhatIsNotAPluginNamingThePath) {
  const struct {
    std::string path;
    std::string reason;
  } cases[] = {
      {kIncompletePlugin, "does not export Getinfo"},
      {kNotALibrary, "cannot load"},
      {DOCSEEK_BINARY_DIR "/no/such/libdocseek.so", "cannot load"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    const auto loaded = LoadPlugin(c.path);
    ASSERT_TRUE(std::holds_alternative<LoadError>(loaded));
    const std::string& message = std::get<LoadError>(loaded).message;
    EXPECT_NE(message.find(c.path), std::string::npos) << message;
    EXPECT_NE(message.find(c.reason), std::string::npos) << message;
  }
}

TEST(LoadPlugin, TakesABareNameFromTheCurrentFolder) {
  // Not looked up along the library path: a system library of that name
  // must not be picked up instead of the missing file.
  const auto loaded = LoadPlugin("libc.so.6");
  ASSERT_TRUE(std::holds_alternative<LoadError>(loaded));
  EXPECT_NE(std::get<LoadError>(loaded).message.find("./libc.so.6"), std::string::npos);
}

TEST(LoadDefaultPlugin, NamesWhereItLookedWhenThereIsNone) {
  const std::string program = DOCSEEK_BINARY_DIR "/no/such/bin/docseek";
  const auto loaded = LoadDefaultPlugin(program);
  ASSERT_TRUE(std::holds_alternative<LoadError>(loaded));
  const std::string& message = std::get<LoadError>(loaded).message;
  for (const std::string& path : DefaultPluginPaths(program)) {
    EXPECT_NE(message.find(path), std::string::npos) << message;
  }
  EXPECT_NE(message.find("--plugin"), std::string::npos);
}

}  // namespace
}  // namespace docseek::cli
