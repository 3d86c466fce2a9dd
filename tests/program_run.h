// Starting a built program as a separate process and collecting what it
// did: standard output and error byte for byte, and how it ended.
#ifndef PROGRAM_RUN_H
#define PROGRAM_RUN_H

#include <string>
#include <vector>

// Where the program's standard output goes.
enum class StdoutTo {
	pipe,                // a pipe that the test reads
	closed,              // no descriptor 1 at all
	full_device,         // /dev/full: every write fails with ENOSPC
	pipe_without_reader, // a pipe whose read end is closed before the start
};

struct Invocation {
	std::vector<std::string> argv; // argv[0] is looked up on PATH if it has no slash
	std::vector<std::string> env;  // the child's whole environment, NAME=value
	std::string cwd;
	StdoutTo stdout_to = StdoutTo::pipe;
	// Standard output and error to /dev/null, for a program that leaves a
	// daemon behind which would otherwise hold the pipes open.
	bool discard_output = false;
};

struct Outcome {
	std::string out;
	std::string err;
	int exit_status = -1; // -1 when the process was ended by a signal
	int signal = 0;
};

Outcome run_program(const Invocation &invocation);

// The test process's own variable, or fallback; with neither, an error.
std::string environment(const char *name, const char *fallback = nullptr);

std::string read_file(const std::string &path); // empty if there is none
void write_file(const std::string &path, const std::string &bytes);
void copy_file(const std::string &from, const std::string &to);
std::string make_temp_dir(const std::string &label);
void remove_tree(const std::string &path);

#endif
