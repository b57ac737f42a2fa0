// SPDX-License-Identifier: MIT
// Running the docseek program as a user would: through pipes, with stdout in
// a file, or inside a pseudo-terminal of a chosen width.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace docseek::cli::testing {

struct Outcome {
  int exit_code = -1;
  std::string out;  // in a terminal: everything the terminal received
  std::string err;
};

struct RunOptions {
  // "NAME=VALUE" to set, "NAME" alone to remove. COLUMNS and every proxy
  // variable (any letter case) are always removed first, so that what the
  // test runs under never reaches the program unasked.
  std::vector<std::string> env;
  // Write stdout to this file instead of a pipe.
  std::optional<std::string> stdout_file;
};

// Runs `program` with `args`, no input, and a deadline after which it is
// killed and the test fails.
Outcome RunProgram(const std::string& program, const std::vector<std::string>& args,
                   const RunOptions& options = {});

// Runs `program` with stdout and stderr on one pseudo-terminal `columns`
// wide; `out` holds all it received, `err` stays empty.
Outcome RunInTerminal(const std::string& program, const std::vector<std::string>& args, int columns,
                      const RunOptions& options = {});

}  // namespace docseek::cli::testing
