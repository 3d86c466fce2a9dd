#include "runner.h"

#include <cerrno>
#include <cstdlib>
#include <iconv.h>
#include <stdexcept>
#include <unistd.h>

#include "program_run.h"

namespace {

std::vector<std::string> split(const std::string &list)
{
	std::vector<std::string> items;
	size_t start = 0;
	while (start <= list.size()) {
		size_t end = list.find(';', start);
		if (end == std::string::npos)
			end = list.size();
		if (end > start)
			items.push_back(list.substr(start, end - start));
		start = end + 1;
	}
	return items;
}

Runner make_runner()
{
	Runner r;
	r.name = environment("BERTH_RUNNER");
	r.tool_dir = environment("BERTH_TOOL_DIR");
	r.standin_dir = environment("BERTH_STANDIN_DIR", r.tool_dir.c_str());
	r.fixtures_dir = environment("BERTH_FIXTURES_DIR", "");
	r.tools = split(environment("BERTH_TOOLS", "berthadd;berthdrop"));
	r.library = "libKUV_Act_Installer.so";
	r.newline = "\n";
	if (r.name == "linux") {
		// Started directly.
	} else if (r.name == "qemu-i386") {
		r.launcher = {environment("BERTH_QEMU_I386", "qemu-i386-static")};
	} else if (r.name == "wine64" || r.name == "wine32") {
		const char *wine =
			r.name == "wine64" ? "/usr/lib/wine/wine64" : "/usr/lib/wine/wine";
		r.launcher = {environment("BERTH_WINE", wine)};
		r.exe_suffix = ".exe";
		r.library = "KUV_Act_Installer.dll";
		r.newline = "\r\n";
		r.windows = true;
	} else {
		throw std::runtime_error("BERTH_RUNNER: unknown runner " + r.name);
	}
	return r;
}

std::string &unavailable()
{
	static std::string reason;
	return reason;
}

Runner &the_runner()
{
	static Runner r = make_runner();
	return r;
}

// The prefix this process made, and removes at the end; empty for a ready one.
std::string &own_wine_prefix()
{
	static std::string prefix;
	return prefix;
}

std::string wineserver()
{
	const std::string &wine = runner().launcher.front();
	return wine.substr(0, wine.rfind('/') + 1) + "wineserver";
}

Outcome run_plain(const std::vector<std::string> &argv, const std::string &cwd = "",
		  bool discard_output = false)
{
	Invocation inv;
	inv.argv = argv;
	inv.cwd = cwd;
	inv.discard_output = discard_output;
	inv.env = runner_environment();
	return run_program(inv);
}

void start_wine(Runner &r)
{
	if (access(r.launcher.front().c_str(), X_OK) != 0) {
		unavailable() = "Runner unavailable: no Wine loader at " + r.launcher.front();
		return;
	}
	std::string prefix = environment("BERTH_WINEPREFIX", "");
	// No Mono or Gecko: nothing here needs them, and asking for them
	// slows the prefix down.
	std::string overrides = "mscoree,mshtml=";
	if (prefix.empty()) {
		prefix = own_wine_prefix() = make_temp_dir("wineprefix");
	} else {
		// A ready prefix needs no check for an update at each start,
		// which under emulation costs a second a run.
		overrides += ";wineboot.exe=d";
	}
	r.env = {"WINEPREFIX=" + prefix, "WINEDEBUG=-all", "WINEDLLOVERRIDES=" + overrides};
	// A persistent server makes each later start a fraction of a second.
	run_plain({wineserver(), "-p"}, "", true);
	if (!own_wine_prefix().empty()) {
		// Its services live on and would hold a pipe open: no output kept.
		Outcome boot = run_plain({r.launcher.front(), "wineboot", "--init"}, "", true);
		if (boot.exit_status != 0) {
			unavailable() = "Runner unavailable: " + r.name +
					" cannot set up a prefix (wineboot --init exit status " +
					std::to_string(boot.exit_status) + ")";
			return;
		}
	}
	// The probe: does a program of this runner start at all?
	std::string dir = make_temp_dir("probe");
	std::string program = dir + "/" + r.tools.front() + r.exe_suffix;
	copy_file(r.tool_dir + "/" + r.tools.front() + r.exe_suffix, program);
	copy_file(r.standin_dir + "/" + r.library, dir + "/" + r.library);
	Outcome probe = run_plain({r.launcher.front(), program}, dir);
	remove_tree(dir);
	if (probe.exit_status != 0 || probe.out.rfind("Usage: ", 0) != 0)
		unavailable() = "Runner unavailable: " + r.name +
				" cannot run a program here (exit status " +
				std::to_string(probe.exit_status) + "): " + probe.err;
}

} // namespace

const Runner &runner()
{
	return the_runner();
}

std::vector<std::string> runner_environment()
{
	std::vector<std::string> env = {"PATH=" + environment("PATH", "/usr/bin:/bin"),
					"HOME=" + environment("HOME", "/root"), "LANG=C.UTF-8"};
	env.insert(env.end(), runner().env.begin(), runner().env.end());
	return env;
}

void start_runner()
{
	if (runner().windows)
		start_wine(the_runner());
}

void stop_runner()
{
	if (!runner().windows || runner().env.empty())
		return;
	run_plain({wineserver(), "-k"});
	if (!own_wine_prefix().empty())
		remove_tree(own_wine_prefix());
}

const std::string &runner_unavailable()
{
	return unavailable();
}

std::string as_platform_argv(const std::string &utf8)
{
	if (!runner().windows)
		return utf8;
	iconv_t cd = iconv_open("CP1252", "UTF-8");
	// iconv_open's failure value is (iconv_t)-1.
	if (cd == reinterpret_cast<iconv_t>(-1)) // NOLINT(performance-no-int-to-ptr)
		throw std::runtime_error("iconv cannot convert UTF-8 to CP1252");
	std::string in = utf8;
	std::string out(in.size(), '\0');
	char *in_p = in.data();
	char *out_p = out.data();
	size_t in_left = in.size();
	size_t out_left = out.size();
	size_t done = iconv(cd, &in_p, &in_left, &out_p, &out_left);
	iconv_close(cd);
	if (done == static_cast<size_t>(-1))
		throw std::runtime_error("not representable in CP1252: " + utf8);
	out.resize(out.size() - out_left);
	return out;
}
