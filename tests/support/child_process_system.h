#pragma once
// The operating system's part of the child process helper: one source per
// system (child_process_posix.cpp, child_process_win32.cpp), chosen by CMake.

namespace reclink::test {

// The command-line option that names the role of a child: "--reclink-child=<role>".
inline constexpr char kChildRoleOption[] = "--reclink-child=";

}  // namespace reclink::test
