#include "program_run.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <ftw.h>
#include <iterator>
#include <poll.h>
#include <signal.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::vector<char *> c_strings(const std::vector<std::string> &strings)
{
	std::vector<char *> pointers;
	pointers.reserve(strings.size() + 1);
	for (const std::string &s : strings)
		pointers.push_back(const_cast<char *>(s.c_str()));
	pointers.push_back(nullptr);
	return pointers;
}

[[noreturn]] void fail_in_child(const char *what)
{
	char message[256];
	int length =
		snprintf(message, sizeof message, "test harness: %s: %s\n", what, strerror(errno));
	if (write(STDERR_FILENO, message, static_cast<size_t>(length)) < 0) {
		// Nothing more can be said.
	}
	_exit(126);
}

// Runs in the forked child: arranges descriptors 0, 1 and 2, then execs.
[[noreturn]] void exec_child(const Invocation &inv, int out_write, int err_write)
{
	int null_fd = open("/dev/null", O_RDWR);
	if (null_fd < 0 || dup2(null_fd, STDIN_FILENO) < 0)
		fail_in_child("stdin");
	if (inv.discard_output)
		out_write = err_write = null_fd;
	if (dup2(err_write, STDERR_FILENO) < 0)
		fail_in_child("dup2 stderr");
	switch (inv.stdout_to) {
	case StdoutTo::pipe:
	case StdoutTo::pipe_without_reader:
		if (dup2(out_write, STDOUT_FILENO) < 0)
			fail_in_child("dup2 stdout");
		break;
	case StdoutTo::closed:
		close(STDOUT_FILENO);
		break;
	case StdoutTo::full_device: {
		int full = open("/dev/full", O_WRONLY);
		if (full < 0 || dup2(full, STDOUT_FILENO) < 0)
			fail_in_child("/dev/full");
		break;
	}
	}
	// The program meets the signal dispositions of an ordinary start.
	(void)signal(SIGPIPE, SIG_DFL);
	sigset_t none;
	sigemptyset(&none);
	sigprocmask(SIG_SETMASK, &none, nullptr);

	if (!inv.cwd.empty() && chdir(inv.cwd.c_str()) != 0)
		fail_in_child("chdir");
	std::vector<char *> argv = c_strings(inv.argv);
	std::vector<char *> env = c_strings(inv.env);
	execvpe(argv[0], argv.data(), env.data());
	fail_in_child(inv.argv[0].c_str());
}

void drain(int out_fd, int err_fd, std::string &out, std::string &err)
{
	pollfd fds[2] = {{out_fd, POLLIN, 0}, {err_fd, POLLIN, 0}};
	std::string *sinks[2] = {&out, &err};
	int open_count = (out_fd >= 0 ? 1 : 0) + (err_fd >= 0 ? 1 : 0);
	while (open_count > 0) {
		if (poll(fds, 2, -1) < 0) {
			if (errno == EINTR)
				continue;
			throw std::runtime_error("poll failed");
		}
		for (int i = 0; i < 2; i++) {
			if (fds[i].fd < 0 || fds[i].revents == 0)
				continue;
			char buffer[65536];
			ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
			if (n > 0) {
				sinks[i]->append(buffer, static_cast<size_t>(n));
			} else if (n == 0 || errno != EINTR) {
				close(fds[i].fd);
				fds[i].fd = -1;
				open_count--;
			}
		}
	}
}

} // namespace

Outcome run_program(const Invocation &inv)
{
	int out_pipe[2];
	int err_pipe[2];
	if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0)
		throw std::runtime_error("pipe2 failed");
	// No process at all may hold the read end, or a write would not fail.
	if (inv.stdout_to == StdoutTo::pipe_without_reader) {
		close(out_pipe[0]);
		out_pipe[0] = -1;
	}

	pid_t pid = fork();
	if (pid < 0)
		throw std::runtime_error("fork failed");
	if (pid == 0)
		exec_child(inv, out_pipe[1], err_pipe[1]);

	close(out_pipe[1]);
	close(err_pipe[1]);
	Outcome outcome;
	drain(out_pipe[0], err_pipe[0], outcome.out, outcome.err);
	int status = 0;
	while (waitpid(pid, &status, 0) < 0)
		if (errno != EINTR)
			throw std::runtime_error("waitpid failed");
	if (WIFEXITED(status))
		outcome.exit_status = WEXITSTATUS(status);
	else if (WIFSIGNALED(status))
		outcome.signal = WTERMSIG(status);
	return outcome;
}

std::string environment(const char *name, const char *fallback)
{
	const char *value = getenv(name);
	if (value != nullptr)
		return value;
	if (fallback != nullptr)
		return fallback;
	throw std::runtime_error(std::string("test environment: ") + name + " is not set");
}

std::string read_file(const std::string &path)
{
	std::ifstream in(path, std::ios::binary);
	return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string &path, const std::string &bytes)
{
	std::ofstream out(path, std::ios::binary | std::ios::trunc);
	out << bytes;
	if (!out)
		throw std::runtime_error("cannot write " + path);
}

void copy_file(const std::string &from, const std::string &to)
{
	std::ifstream in(from, std::ios::binary);
	if (!in)
		throw std::runtime_error("cannot read " + from);
	write_file(to, read_file(from));
	if (chmod(to.c_str(), 0755) != 0)
		throw std::runtime_error("cannot chmod " + to);
}

std::string make_temp_dir(const std::string &label)
{
	const char *tmp = getenv("TMPDIR");
	std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
			      "/berth-" + label + "-XXXXXX";
	if (mkdtemp(pattern.data()) == nullptr)
		throw std::runtime_error("mkdtemp failed for " + pattern);
	return pattern;
}

void remove_tree(const std::string &path)
{
	nftw(
		path.c_str(),
		[](const char *name, const struct stat *, int, struct FTW *) {
			return remove(name);
		},
		16, FTW_DEPTH | FTW_PHYS);
}
