// How the programs under test are started: natively, under an emulator or
// under Wine.  The test suite runs once per runner; CTest says which one
// through the environment:
//
//	BERTH_RUNNER		linux, qemu-i386, wine64 or wine32
//	BERTH_TOOLS		the tools in BERTH_TOOL_DIR, separated by ';'
//	BERTH_TOOL_DIR		the folder of the programs
//	BERTH_STANDIN_DIR	the folder of the stand-in library
//	BERTH_FIXTURES_DIR	stand-ins that lack an operation (Linux only)
//	BERTH_WINEPREFIX	a ready Wine prefix to use as it is (optional;
//				otherwise each run of the suite makes its own)
#ifndef RUNNER_H
#define RUNNER_H

#include <string>
#include <vector>

struct Runner {
	std::string name;
	std::vector<std::string> launcher; // put before the program's path
	std::string exe_suffix;            // of the programs' file names
	std::string library;               // the installer library's file name
	std::string newline;               // what "\n" becomes on standard output
	std::string tool_dir;
	std::string standin_dir;
	std::string fixtures_dir;
	std::vector<std::string> tools;
	std::vector<std::string> env; // added to every run's environment
	// Under Wine the command line is a Windows one: re-encoded into the
	// ANSI code page, at most 32767 characters.
	bool windows = false;
};

const Runner &runner();

// The environment every run starts from: PATH, HOME, a UTF-8 locale and
// what the runner needs (the Wine prefix).  Nothing else leaks in, so
// LD_LIBRARY_PATH cannot help a program find its library.
std::vector<std::string> runner_environment();

// Brings up what the runner needs (a Wine prefix) and takes it down again.
// Where the runner cannot work, the probe leaves the reason, and every
// test fails with it.
void start_runner();
void stop_runner();
const std::string &runner_unavailable();

// A name as the program finds it in argv: under Wine, the ANSI code page
// (1252 here) form of the UTF-8 bytes given to the launcher.
std::string as_platform_argv(const std::string &utf8);

#endif
