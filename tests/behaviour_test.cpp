// The behaviour of both setup tools, seen from outside: each case starts a
// built program in a folder of its own, with the stand-in library scripted
// through its environment, and compares standard output and error byte for
// byte, the exit status and the stand-in's log of the calls it received.
// The same cases run against every build; see runner.h.

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "program_run.h"
#include "runner.h"

namespace {

struct Tool {
	std::string name;
	std::string operation; // the library operation it calls
	std::string done;      // word of the success line
	std::string verb;      // word of the error line
};

const Tool berthadd{"berthadd", "kuvActSvcInstallWin", "installed", "install"};
const Tool berthdrop{"berthdrop", "kuvActSvcUninstallWin", "uninstalled", "uninstall"};

std::vector<Tool> tools_under_test()
{
	std::vector<Tool> tools;
	for (const std::string &name : runner().tools)
		tools.push_back(name == "berthadd" ? berthadd : berthdrop);
	return tools;
}

// Expected standard output, line endings as the platform writes them.
std::string platform_line(const std::string &text)
{
	return text + runner().newline;
}

std::string usage_line(const Tool &tool)
{
	return platform_line("Usage: " + tool.name + " publisher_name product_name");
}

std::string success_line(const Tool &tool, const std::string &publisher, const std::string &product)
{
	return platform_line("Successfully " + tool.done + " anchor service for publisher " +
			     publisher + ", product " + product);
}

std::string error_line(const Tool &tool, const std::string &code)
{
	return platform_line("Error " + code + " attempting to " + tool.verb + " service");
}

// A line of the stand-in's log: the operation, then each argument quoted,
// with bytes outside printable ASCII and " and \ as \xHH.
std::string logged(const std::string &operation, const std::vector<std::string> &arguments = {})
{
	std::string line = operation;
	for (const std::string &argument : arguments) {
		line += " \"";
		for (unsigned char byte : argument) {
			if (byte < 0x20 || byte > 0x7e || byte == '"' || byte == '\\') {
				char hex[5];
				(void)snprintf(hex, sizeof hex, "\\x%02X", byte);
				line += hex;
			} else {
				line += static_cast<char>(byte);
			}
		}
		line += '"';
	}
	return line + "\n";
}

const std::string last_error_call = logged("kuvActSvcGetLastErrorWin");

struct Start {
	std::vector<std::string> names;  // the arguments after the program name
	std::vector<std::string> script; // KUV_STANDIN_* settings
	std::string program_name;        // default: the tool's own
	std::string library_dir;         // default: the stand-in's; "none": no library
	StdoutTo stdout_to = StdoutTo::pipe;
};

struct Trial {
	Outcome outcome;
	std::string log;
};

// Copies the program, and the library unless told not to, into a fresh
// folder and runs it there, so that it finds the library beside itself.
Trial start(const Tool &tool, const Start &how)
{
	const Runner &r = runner();
	std::string dir = make_temp_dir(tool.name);
	std::string program = dir + "/" +
			      (how.program_name.empty() ? tool.name : how.program_name) +
			      r.exe_suffix;
	copy_file(r.tool_dir + "/" + tool.name + r.exe_suffix, program);
	if (how.library_dir != "none") {
		std::string from = how.library_dir.empty() ? r.standin_dir : how.library_dir;
		copy_file(from + "/" + r.library, dir + "/" + r.library);
	}

	Invocation inv;
	inv.argv = r.launcher;
	inv.argv.push_back(program);
	inv.argv.insert(inv.argv.end(), how.names.begin(), how.names.end());
	inv.env = runner_environment();
	inv.env.insert(inv.env.end(), how.script.begin(), how.script.end());
	bool log_scripted = false;
	for (const std::string &setting : how.script)
		log_scripted = log_scripted || setting.rfind("KUV_STANDIN_LOG=", 0) == 0;
	if (!log_scripted)
		inv.env.emplace_back("KUV_STANDIN_LOG=calls.log");
	inv.cwd = dir;
	inv.stdout_to = how.stdout_to;

	Trial trial{run_program(inv), read_file(dir + "/calls.log")};
	remove_tree(dir);
	return trial;
}

class RunnerTest : public testing::Test {
protected:
	void SetUp() override
	{
		if (!runner_unavailable().empty())
			FAIL() << runner_unavailable();
	}
};

// --- The table: arguments and library results, and what must come of them.

enum class Expect { usage, success, failure };

struct Case {
	const char *label;
	std::vector<std::string> names;
	std::vector<std::string> script;
	Expect expect;
	const char *printed_code = ""; // for failure: the code as printed
	// Needs argv bytes that a Windows command line cannot carry (bytes
	// outside the ANSI code page, or more than 32767 characters).
	bool unix_argv_only = false;
};

const size_t kib = 1024;
const std::string kib12_a(12 * kib, 'a');
const std::string kib12_b(12 * kib, 'b');
const std::string kib100_a(100 * kib, 'a');
const std::string kib100_b(100 * kib, 'b');

// Settings of the stand-in's script, short enough for one case a line.
std::string result(const char *value)
{
	return std::string("KUV_STANDIN_RESULT=") + value;
}

std::string last_error(const char *value)
{
	return std::string("KUV_STANDIN_LAST_ERROR=") + value;
}

const std::vector<std::string> acme = {"Acme", "Widget"};

// clang-format off
const std::vector<Case> cases = {
	// The argument count alone decides whether the library is called.
	{"no_arguments", {}, {}, Expect::usage},
	{"one_argument", {"Acme"}, {}, Expect::usage},
	{"three_arguments", {"Acme", "Widget", "extra"}, {}, Expect::usage},
	{"three_empty_arguments", {"", "", ""}, {}, Expect::usage},
	{"usage_even_where_the_library_would_fail", {"Acme"}, {result("0")}, Expect::usage},

	// Names reach the library and the line exactly as given.
	{"plain_names", acme, {}, Expect::success},
	{"names_with_blanks", {"Acme Corp", "  Widget Pro  "}, {}, Expect::success},
	{"empty_names", {"", ""}, {}, Expect::success},
	{"empty_names_failing", {"", ""}, {result("0"), last_error("87")}, Expect::failure, "87"},
	{"format_characters", {"%s%d%n%p", "100% %x %%"}, {}, Expect::success},
	{"quotes_and_backslashes", {"say \"hi\"", "C:\\dir\\"}, {}, Expect::success},
	{"wildcards", {"*", "?.exe"}, {}, Expect::success},
	{"tab", {"Acme\tCorp", "Widget"}, {}, Expect::success},
	{"non_ascii_utf8", {"Soci\xC3\xA9t\xC3\xA9", "Caf\xC3\xA9 \xE2\x82\xAC"}, {}, Expect::success},
	{"raw_bytes", {"\x01\x7F\xFF", "\xC3("}, {}, Expect::success, "", true},
	{"long_names_12_kib", {kib12_a, kib12_b}, {}, Expect::success},
	{"long_names_100_kib", {kib100_a, kib100_b}, {}, Expect::success, "", true},

	// The low byte of the result alone is success or failure.
	{"result_1", acme, {result("1")}, Expect::success},
	{"result_2", acme, {result("2")}, Expect::success},
	{"result_0x80", acme, {result("0x80")}, Expect::success},
	{"result_all_ones", acme, {result("0xFFFFFFFF")}, Expect::success},
	{"result_0", acme, {result("0"), last_error("5")}, Expect::failure, "5"},
	{"result_0x100", acme, {result("0x100"), last_error("5")}, Expect::failure, "5"},
	{"result_high_bits_only", acme, {result("0xFFFFFF00"), last_error("5")}, Expect::failure, "5"},

	// Error codes in signed decimal, whatever they are.
	{"code_0", acme, {result("0"), last_error("0")}, Expect::failure, "0"},
	{"code_minus_1", acme, {result("0"), last_error("-1")}, Expect::failure, "-1"},
	{"code_all_ones", acme, {result("0"), last_error("0xFFFFFFFF")}, Expect::failure, "-1"},
	{"code_most_negative", acme, {result("0"), last_error("0x80000000")}, Expect::failure, "-2147483648"},
	{"code_most_positive", acme, {result("0"), last_error("2147483647")}, Expect::failure, "2147483647"},
};
// clang-format on

// Failure messages name the tool and the case rather than dump their bytes.
void PrintTo(const Tool &tool, std::ostream *os)
{
	*os << tool.name;
}

void PrintTo(const Case &c, std::ostream *os)
{
	*os << c.label;
}

std::vector<Case> cases_for_runner()
{
	std::vector<Case> kept;
	for (const Case &c : cases)
		if (!(c.unix_argv_only && runner().windows))
			kept.push_back(c);
	return kept;
}

class Behaviour : public RunnerTest, public testing::WithParamInterface<std::tuple<Tool, Case>> {};

TEST_P(Behaviour, PrintsOneLineCallsTheLibraryAsScriptedAndExitsZero)
{
	const auto &[tool, c] = GetParam();
	Start how;
	how.names = c.names;
	how.script = c.script;
	Trial trial = start(tool, how);

	std::string expected_out;
	std::string expected_log;
	std::vector<std::string> argv;
	for (const std::string &name : c.names)
		argv.push_back(as_platform_argv(name));
	switch (c.expect) {
	case Expect::usage:
		expected_out = usage_line(tool);
		break;
	case Expect::success:
		expected_out = success_line(tool, argv[0], argv[1]);
		expected_log = logged(tool.operation, argv);
		break;
	case Expect::failure:
		expected_out = error_line(tool, c.printed_code);
		expected_log = logged(tool.operation, argv) + last_error_call;
		break;
	}
	EXPECT_EQ(trial.outcome.out, expected_out);
	EXPECT_EQ(trial.outcome.err, "");
	EXPECT_EQ(trial.outcome.exit_status, 0);
	EXPECT_EQ(trial.log, expected_log);
}

std::string tool_and_label(const testing::TestParamInfo<std::tuple<Tool, Case>> &info)
{
	return std::get<0>(info.param).name + "_" + std::get<1>(info.param).label;
}

INSTANTIATE_TEST_SUITE_P(Table, Behaviour,
			 testing::Combine(testing::ValuesIn(tools_under_test()),
					  testing::ValuesIn(cases_for_runner())),
			 tool_and_label);

// --- How the program starts, and what a failing standard output changes.

class StartUp : public RunnerTest, public testing::WithParamInterface<Tool> {};

TEST_P(StartUp, RenamedCopyPrintsTheToolsOwnUsageLine)
{
	const Tool &tool = GetParam();
	Start how;
	how.program_name = "renamed-copy";
	Trial trial = start(tool, how);
	EXPECT_EQ(trial.outcome.out, usage_line(tool));
	EXPECT_EQ(trial.outcome.exit_status, 0);
}

TEST_P(StartUp, WithoutTheLibraryTheStartIsRefusedBeforeAnyOutput)
{
	const Tool &tool = GetParam();
	for (const auto &names : {std::vector<std::string>{}, {"Acme", "Widget"}}) {
		Start how;
		how.names = names;
		how.library_dir = "none";
		Trial trial = start(tool, how);
		EXPECT_EQ(trial.outcome.out, "");
		EXPECT_NE(trial.outcome.exit_status, 0);
		EXPECT_EQ(trial.log, "");
	}
}

std::string tool_name(const testing::TestParamInfo<Tool> &info)
{
	return info.param.name;
}

INSTANTIATE_TEST_SUITE_P(Tools, StartUp, testing::ValuesIn(tools_under_test()), tool_name);

// A library that lacks an operation the tool uses stops the start; one that
// lacks only an operation the tool does not use is no obstacle.  Under Wine
// a missing import is stubbed rather than refused, so there the import
// table test stands in for this one.
class MissingOperation : public RunnerTest,
			 public testing::WithParamInterface<std::tuple<Tool, std::string>> {};

GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(MissingOperation);

TEST_P(MissingOperation, RefusesTheStartOnlyIfTheToolUsesIt)
{
	const auto &[tool, omitted] = GetParam();
	Start how;
	how.names = {"Acme", "Widget"};
	how.library_dir = runner().fixtures_dir + "/without-" + omitted;
	Trial trial = start(tool, how);
	if (omitted == tool.operation || omitted == "kuvActSvcGetLastErrorWin") {
		EXPECT_EQ(trial.outcome.out, "");
		EXPECT_NE(trial.outcome.exit_status, 0);
		EXPECT_NE(trial.outcome.err.find(omitted), std::string::npos) << trial.outcome.err;
		EXPECT_EQ(trial.log, "");
	} else {
		EXPECT_EQ(trial.outcome.out, success_line(tool, "Acme", "Widget"));
		EXPECT_EQ(trial.outcome.exit_status, 0);
	}
}

std::string tool_without(const testing::TestParamInfo<std::tuple<Tool, std::string>> &info)
{
	return std::get<0>(info.param).name + "_without_" + std::get<1>(info.param);
}

std::vector<Tool> tools_with_fixtures()
{
	return runner().windows ? std::vector<Tool>{} : tools_under_test();
}

INSTANTIATE_TEST_SUITE_P(Operations, MissingOperation,
			 testing::Combine(testing::ValuesIn(tools_with_fixtures()),
					  testing::Values("kuvActSvcInstallWin",
							  "kuvActSvcUninstallWin",
							  "kuvActSvcGetLastErrorWin")),
			 tool_without);

// Standard output that cannot be written: the library call is made all the
// same, the last-error call only after a failure, and the status stays 0.
class BrokenStdout : public RunnerTest,
		     public testing::WithParamInterface<std::tuple<Tool, StdoutTo, bool>> {};

TEST_P(BrokenStdout, ChangesNothing)
{
	const auto &[tool, stdout_to, library_fails] = GetParam();
	Start how;
	how.names = {"Acme", "Widget"};
	if (library_fails)
		how.script = {"KUV_STANDIN_RESULT=0", "KUV_STANDIN_LAST_ERROR=5"};
	how.stdout_to = stdout_to;
	Trial trial = start(tool, how);
	EXPECT_EQ(trial.outcome.signal, 0);
	EXPECT_EQ(trial.outcome.exit_status, 0);
	EXPECT_EQ(trial.outcome.err, "");
	EXPECT_EQ(trial.log, logged(tool.operation, {"Acme", "Widget"}) +
				     (library_fails ? last_error_call : ""));
}

std::string tool_output_result(const testing::TestParamInfo<std::tuple<Tool, StdoutTo, bool>> &info)
{
	const char *const to[] = {"pipe", "closed", "full_device", "pipe_without_reader"};
	return std::get<0>(info.param).name + "_" + to[static_cast<int>(std::get<1>(info.param))] +
	       (std::get<2>(info.param) ? "_library_fails" : "_library_succeeds");
}

INSTANTIATE_TEST_SUITE_P(Outputs, BrokenStdout,
			 testing::Combine(testing::ValuesIn(tools_under_test()),
					  testing::Values(StdoutTo::closed, StdoutTo::full_device,
							  StdoutTo::pipe_without_reader),
					  testing::Bool()),
			 tool_output_result);

// --- The stand-in itself: a script it cannot follow stops the run loudly.

struct BadScript {
	const char *label;
	const char *setting; // VARIABLE=value
	const char *message; // what follows "KUV_Act_Installer stand-in: VARIABLE="value": "
};

// clang-format off
const std::vector<BadScript> bad_scripts = {
	{"empty", "KUV_STANDIN_RESULT=", "not a number"},
	{"word", "KUV_STANDIN_RESULT=yes", "not a number"},
	{"bare_hex_prefix", "KUV_STANDIN_RESULT=0x", "not a number"},
	{"trailing_junk", "KUV_STANDIN_RESULT=12x", "not a number"},
	{"plus_sign", "KUV_STANDIN_RESULT=+1", "not a number"},
	{"leading_blank", "KUV_STANDIN_RESULT= 1", "not a number"},
	{"bad_hex_digit", "KUV_STANDIN_RESULT=0x1G", "not a number"},
	{"over_32_bits", "KUV_STANDIN_RESULT=4294967296", "out of the 32-bit range"},
	{"hex_over_32_bits", "KUV_STANDIN_RESULT=0x100000000", "out of the 32-bit range"},
	{"below_32_bits", "KUV_STANDIN_LAST_ERROR=-2147483649", "out of the 32-bit range"},
	{"last_error_word", "KUV_STANDIN_LAST_ERROR=EACCES", "not a number"},
};
// clang-format on

class StandinScript : public RunnerTest, public testing::WithParamInterface<BadScript> {};

TEST_P(StandinScript, MalformedVariableIsReportedOnStderrWithStatus78)
{
	const BadScript &bad = GetParam();
	std::string setting = bad.setting;
	std::string variable = setting.substr(0, setting.find('='));
	std::string value = setting.substr(setting.find('=') + 1);
	std::vector<std::string> script = {setting};
	if (variable == "KUV_STANDIN_LAST_ERROR")
		script.emplace_back("KUV_STANDIN_RESULT=0");
	Tool tool = tools_under_test().front();
	Start how;
	how.names = {"Acme", "Widget"};
	how.script = script;
	Trial trial = start(tool, how);
	EXPECT_EQ(trial.outcome.out, "");
	EXPECT_EQ(trial.outcome.err, platform_line("KUV_Act_Installer stand-in: " + variable +
						   "=\"" + value + "\": " + bad.message));
	EXPECT_EQ(trial.outcome.exit_status, 78);
}

std::string script_label(const testing::TestParamInfo<BadScript> &info)
{
	return info.param.label;
}

INSTANTIATE_TEST_SUITE_P(Values, StandinScript, testing::ValuesIn(bad_scripts), script_label);

using Standin = RunnerTest;

TEST_F(Standin, ThatCannotWriteItsLogStopsWithStatus78)
{
	Tool tool = tools_under_test().front();
	Start how;
	how.names = {"Acme", "Widget"};
	how.script = {"KUV_STANDIN_LOG=no-such-folder/calls.log"};
	Trial trial = start(tool, how);
	EXPECT_EQ(trial.outcome.out, "");
	EXPECT_EQ(trial.outcome.err.rfind("KUV_Act_Installer stand-in: "
					  "KUV_STANDIN_LOG=\"no-such-folder/calls.log\": ",
					  0),
		  0U)
		<< trial.outcome.err;
	EXPECT_EQ(trial.outcome.exit_status, 78);
}

class RunnerEnvironment : public testing::Environment {
	void SetUp() override { start_runner(); }
	void TearDown() override { stop_runner(); }
};

} // namespace

int main(int argc, char **argv)
{
	testing::InitGoogleTest(&argc, argv);
	testing::AddGlobalTestEnvironment(new RunnerEnvironment);
	return RUN_ALL_TESTS();
}
