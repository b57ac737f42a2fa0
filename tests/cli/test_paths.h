// SPDX-License-Identifier: MIT
// Where the build puts what the CLI tests run: the program and the stand-in
// plug-ins of tests/cli/CMakeLists.txt.
#pragma once

#include <string>

namespace docseek::cli::testing {

inline const std::string kProgram = DOCSEEK_BINARY_DIR "/bin/docseek";
inline const std::string kFakePlugin = DOCSEEK_BINARY_DIR "/tests/cli/plugins/libfake_docseek.so";
inline const std::string kIncompletePlugin =
    DOCSEEK_BINARY_DIR "/tests/cli/plugins/libfake_incomplete.so";
// Any file that exists and is not a shared library.
inline const std::string kNotALibrary = DOCSEEK_SOURCE_DIR "/tests/cli/CMakeLists.txt";

}  // namespace docseek::cli::testing
