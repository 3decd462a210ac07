#pragma once
// The operating system's part of the child process helper and of the file
// helpers: one source per system (child_process_posix.cpp and
// os_files_posix.cpp, or the _win32.cpp ones), chosen by CMake.

#include <string>

namespace reclink::test {

// The system's words for the calling thread's last failure (errno,
// GetLastError), for the messages of failed tests.
std::string LastErrorText();

// The command-line option that names the role of a child: "--reclink-child=<role>".
inline constexpr char kChildRoleOption[] = "--reclink-child=";

}  // namespace reclink::test
