// The Windows deliverables, read from the files themselves: headers, import
// tables and sections, as Windows' loader will see them.  objdump -p (from
// the mingw-w64 binutils) reads the headers; a few fields are read raw.
//
//	BERTH_DIST_DIR		the dist/ folder
//	BERTH_IMPORTS_DIR	the committed lists of each program's imports
//	BERTH_OBJDUMP		an objdump that reads both PE formats
//	BERTH_CC_WIN32, BERTH_CC_WIN64	the toolchains' C compilers

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "program_run.h"

namespace {

const std::string dist = environment("BERTH_DIST_DIR");

struct Deliverable {
	std::string path; // below dist/
	bool is_64_bit;
	std::set<std::string> installer_imports;
};

const std::vector<Deliverable> deliverables = {
	{"win64/berthadd.exe", true, {"kuvActSvcInstallWin", "kuvActSvcGetLastErrorWin"}},
	{"win64/berthdrop.exe", true, {"kuvActSvcUninstallWin", "kuvActSvcGetLastErrorWin"}},
	{"win32/berthdrop.exe", false, {"kuvActSvcUninstallWin", "kuvActSvcGetLastErrorWin"}},
};

// The committed list of a deliverable's imports, below BERTH_IMPORTS_DIR:
// win64/berthadd.exe has win64-berthadd.txt.
std::string import_list_name(const Deliverable &deliverable)
{
	std::string name = deliverable.path.substr(0, deliverable.path.rfind(".exe")) + ".txt";
	name[name.find('/')] = '-';
	return name;
}

// Failure messages name the file rather than dump the object's bytes.
void PrintTo(const Deliverable &deliverable, std::ostream *os)
{
	*os << deliverable.path;
}

// What objdump -p tells of one file.
struct PeReport {
	std::string format;                                   // pei-i386 or pei-x86-64
	std::map<std::string, std::string> fields;            // header field -> value
	std::map<int, std::pair<uint32_t, uint32_t>> entries; // data directory -> (rva, size)
	std::map<std::string, std::set<std::string>> imports; // DLL -> names
	std::set<std::string> exports;
	std::set<std::string> sections;
};

std::string run_objdump(const std::string &option, const std::string &path)
{
	Invocation inv;
	inv.argv = {environment("BERTH_OBJDUMP"), option, path};
	inv.env = {"PATH=" + environment("PATH"), "LC_ALL=C"};
	Outcome outcome = run_program(inv);
	if (outcome.exit_status != 0)
		throw std::runtime_error("objdump " + option + " " + path + ": " + outcome.err);
	return outcome.out;
}

PeReport read_pe(const std::string &path)
{
	PeReport report;
	std::istringstream lines(run_objdump("-p", path));
	std::string line;
	std::string dll;
	bool in_exports = false;
	while (std::getline(lines, line)) {
		std::istringstream words(line);
		std::string first;
		std::string second;
		words >> first >> second;
		if (line.find("file format ") != std::string::npos) {
			report.format = line.substr(line.rfind(' ') + 1);
		} else if (first == "DLL" && second == "Name:") {
			words >> dll;
			report.imports[dll];
		} else if (first == "Entry" && line.rfind("Entry", 0) == 0) {
			std::string rva;
			std::string size;
			words >> rva >> size;
			report.entries[std::stoi(second, nullptr, 16)] = {
				static_cast<uint32_t>(std::stoul(rva, nullptr, 16)),
				static_cast<uint32_t>(std::stoul(size, nullptr, 16))};
		} else if (line.find("[Ordinal/Name Pointer] Table") != std::string::npos) {
			in_exports = true;
		} else if (in_exports && first.rfind('[', 0) == 0) {
			report.exports.insert(line.substr(line.rfind(' ') + 1));
		} else if (line.empty()) {
			dll.clear();
			in_exports = false;
		} else if (!dll.empty() && line[0] == '\t' && first != "vma:") {
			// "\t<vma>\t<hint> <name>": imported by name.
			std::string name;
			words >> name;
			report.imports[dll].insert(name);
		} else if (line[0] != '\t' && line[0] != ' ' && !second.empty() &&
			   report.imports.empty()) {
			report.fields.emplace(first, second);
		}
	}
	std::istringstream headers(run_objdump("-h", path));
	while (std::getline(headers, line)) {
		std::istringstream words(line);
		std::string index;
		std::string name;
		if (words >> index >> name && !index.empty() &&
		    std::isdigit(static_cast<unsigned char>(index[0])) != 0)
			report.sections.insert(name);
	}
	return report;
}

std::set<std::string> imported_dlls(const PeReport &pe)
{
	std::set<std::string> dlls;
	for (const auto &[dll, names] : pe.imports)
		dlls.insert(dll);
	return dlls;
}

uint32_t le(const std::string &bytes, size_t offset, size_t size)
{
	uint32_t value = 0;
	for (size_t i = 0; i < size; i++)
		value |= static_cast<uint32_t>(static_cast<unsigned char>(bytes.at(offset + i)))
			 << (8 * i);
	return value;
}

uint32_t le32(const std::string &bytes, size_t offset)
{
	return le(bytes, offset, 4);
}

// The section table, read raw: each section's name and Characteristics.
std::map<std::string, uint32_t> section_flags(const std::string &bytes)
{
	uint32_t coff = le32(bytes, 0x3c) + 4; // after "PE\0\0"
	uint32_t count = le(bytes, coff + 2, 2);
	uint32_t table = coff + 20 + le(bytes, coff + 16, 2); // after the optional header
	std::map<std::string, uint32_t> sections;
	for (uint32_t i = 0; i < count; i++) {
		uint32_t entry = table + 40 * i;
		std::string name = bytes.substr(entry, 8);
		sections[name.substr(0, name.find('\0'))] = le32(bytes, entry + 36);
	}
	return sections;
}

// "DLL name" lines of a committed import list; # starts a comment.
std::set<std::string> import_list(const std::string &file)
{
	std::ifstream in(environment("BERTH_IMPORTS_DIR") + "/" + file);
	if (!in)
		throw std::runtime_error("cannot read the import list " + file);
	std::set<std::string> imports;
	std::string line;
	while (std::getline(in, line))
		if (!line.empty() && line[0] != '#')
			imports.insert(line);
	return imports;
}

std::string listed(const std::set<std::string> &lines)
{
	std::string text;
	for (const std::string &line : lines) {
		text += "  ";
		text += line;
		text += '\n';
	}
	return text;
}

// The KERNEL32 imports of an empty C program from the same toolchain: what
// its start-up code needs, and so all that a deliverable may import there.
std::set<std::string> start_up_kernel32_imports(bool is_64_bit)
{
	std::string dir = make_temp_dir("empty-program");
	write_file(dir + "/empty.c", "int main(void) { return 0; }\n");
	Invocation inv;
	inv.argv = {environment(is_64_bit ? "BERTH_CC_WIN64" : "BERTH_CC_WIN32"),
		    "-Os",
		    "-s",
		    "-static",
		    dir + "/empty.c",
		    "-o",
		    dir + "/empty.exe"};
	inv.env = {"PATH=" + environment("PATH")};
	Outcome built = run_program(inv);
	if (built.exit_status != 0)
		throw std::runtime_error("cannot build the empty program: " + built.err);
	std::set<std::string> imports = read_pe(dir + "/empty.exe").imports["KERNEL32.dll"];
	remove_tree(dir);
	return imports;
}

class Deliverables : public testing::TestWithParam<Deliverable> {
protected:
	void SetUp() override { pe = read_pe(dist + "/" + GetParam().path); }
	PeReport pe;
};

TEST_P(Deliverables, IsAConsoleProgramForItsProcessor)
{
	EXPECT_EQ(pe.format, GetParam().is_64_bit ? "pei-x86-64" : "pei-i386");
	EXPECT_EQ(pe.fields["Magic"], GetParam().is_64_bit ? "020b" : "010b");
	EXPECT_EQ(pe.fields["Subsystem"], "00000003"); // Windows CUI
}

TEST_P(Deliverables, DeclaresItsLowestWindowsVersion)
{
	std::string minor = GetParam().is_64_bit ? "2" : "0";
	EXPECT_EQ(pe.fields["MajorOSystemVersion"], "5");
	EXPECT_EQ(pe.fields["MinorOSystemVersion"], minor);
	EXPECT_EQ(pe.fields["MajorSubsystemVersion"], "5");
	EXPECT_EQ(pe.fields["MinorSubsystemVersion"], minor);
}

TEST_P(Deliverables, SetsTheLoadersSecurityFlags)
{
	uint32_t flags =
		static_cast<uint32_t>(std::stoul(pe.fields["DllCharacteristics"], nullptr, 16));
	const uint32_t high_entropy_va = 0x20;
	const uint32_t dynamic_base = 0x40;
	const uint32_t nx_compat = 0x100;
	EXPECT_TRUE(flags & dynamic_base);
	EXPECT_TRUE(flags & nx_compat);
	EXPECT_EQ((flags & high_entropy_va) != 0, GetParam().is_64_bit);
	// A base that can move needs its relocations.
	EXPECT_GT(pe.entries[5].second, 0U) << "no base relocation directory";
}

TEST_P(Deliverables, IsTerminalServerAwareAndLargeAddressAwareOnlyOn64Bit)
{
	const uint32_t terminal_server_aware = 0x8000;
	const uint32_t large_address_aware = 0x20;
	uint32_t dll_flags =
		static_cast<uint32_t>(std::stoul(pe.fields["DllCharacteristics"], nullptr, 16));
	uint32_t flags =
		static_cast<uint32_t>(std::stoul(pe.fields["Characteristics"], nullptr, 16));
	EXPECT_TRUE(dll_flags & terminal_server_aware);
	// On x86 the installer library, in the same address space, may not
	// expect addresses above 2 GB; on x86-64 every address is above them.
	EXPECT_EQ((flags & large_address_aware) != 0, GetParam().is_64_bit);
}

TEST_P(Deliverables, HasNoSectionBothWritableAndExecutable)
{
	const uint32_t executable = 0x20000000;
	const uint32_t writable = 0x80000000;
	std::map<std::string, uint32_t> sections =
		section_flags(read_file(dist + "/" + GetParam().path));
	EXPECT_EQ(sections.count(".text"), 1U);
	for (const auto &[name, flags] : sections)
		EXPECT_FALSE((flags & executable) && (flags & writable))
			<< name << " is writable and executable";
}

TEST_P(Deliverables, CarriesNoResources)
{
	EXPECT_EQ(pe.entries[2], std::make_pair(0U, 0U));
	EXPECT_EQ(pe.sections.count(".rsrc"), 0U);
}

TEST_P(Deliverables, HasNoLinkTimeAndNoSymbols)
{
	std::string bytes = read_file(dist + "/" + GetParam().path);
	uint32_t coff = le32(bytes, 0x3c) + 4; // after "PE\0\0"
	EXPECT_EQ(le32(bytes, coff + 4), 0U) << "TimeDateStamp";
	EXPECT_EQ(le32(bytes, coff + 8), 0U) << "PointerToSymbolTable";
	EXPECT_EQ(le32(bytes, coff + 12), 0U) << "NumberOfSymbols";
	EXPECT_EQ(pe.entries[6], std::make_pair(0U, 0U)) << "debug directory";
}

TEST_P(Deliverables, ImportsOnlyTheSystemAndTheInstallerLibrary)
{
	EXPECT_EQ(imported_dlls(pe),
		  (std::set<std::string>{"KERNEL32.dll", "msvcrt.dll", "KUV_Act_Installer.dll"}));
}

// Each import is one that the lowest Windows version the program declares
// provides: the list says how that was checked, and any change to the
// import table needs a change to the list.
TEST_P(Deliverables, ImportsExactlyWhatItsListHolds)
{
	std::set<std::string> imports;
	for (const auto &[dll, names] : pe.imports)
		for (const std::string &name : names) {
			std::string entry = dll;
			entry += ' ';
			entry += name;
			imports.insert(entry);
		}
	std::string list = import_list_name(GetParam());
	std::set<std::string> expected = import_list(list);
	std::set<std::string> unlisted;
	std::set<std::string> gone;
	std::set_difference(imports.begin(), imports.end(), expected.begin(), expected.end(),
			    std::inserter(unlisted, unlisted.end()));
	std::set_difference(expected.begin(), expected.end(), imports.begin(), imports.end(),
			    std::inserter(gone, gone.end()));
	EXPECT_TRUE(unlisted.empty()) << "imported, not in tests/imports/" << list << ":\n"
				      << listed(unlisted);
	EXPECT_TRUE(gone.empty()) << "in tests/imports/" << list << ", no longer imported:\n"
				  << listed(gone);
}

TEST_P(Deliverables, ImportsTheOperationsItUsesByTheirPlainNames)
{
	EXPECT_EQ(pe.imports["KUV_Act_Installer.dll"], GetParam().installer_imports);
}

TEST_P(Deliverables, BindsTheInstallerLibraryOnlyThroughTheImportTable)
{
	EXPECT_EQ(pe.entries[13], std::make_pair(0U, 0U)) << "delay import directory";
	// No loading of its own: KERNEL32 gives only what start-up needs.
	EXPECT_EQ(pe.imports["KERNEL32.dll"], start_up_kernel32_imports(GetParam().is_64_bit));
	// The library's name stands once, in the import table, and nowhere
	// that a LoadLibrary call could take it from.
	std::string bytes = read_file(dist + "/" + GetParam().path);
	size_t first = bytes.find("KUV_Act_Installer");
	EXPECT_NE(first, std::string::npos);
	EXPECT_EQ(bytes.find("KUV_Act_Installer", first + 1), std::string::npos);
}

std::string file_label(const testing::TestParamInfo<Deliverable> &info)
{
	std::string label = info.param.path;
	for (char &c : label)
		if (std::isalnum(static_cast<unsigned char>(c)) == 0)
			c = '_';
	return label;
}

INSTANTIATE_TEST_SUITE_P(Windows, Deliverables, testing::ValuesIn(deliverables), file_label);

std::set<std::string> folder(const std::string &path)
{
	std::set<std::string> names;
	DIR *dir = opendir(path.c_str());
	if (dir == nullptr)
		return names;
	while (dirent *entry = readdir(dir))
		if (std::string(entry->d_name) != "." && std::string(entry->d_name) != "..")
			names.insert(entry->d_name);
	closedir(dir);
	return names;
}

TEST(DeliverableFolders, HoldTheProgramsAndNothingElse)
{
	EXPECT_EQ(folder(dist + "/win64"),
		  (std::set<std::string>{"berthadd.exe", "berthdrop.exe"}));
	EXPECT_EQ(folder(dist + "/win32"), (std::set<std::string>{"berthdrop.exe"}));
}

TEST(StandinDll, ExportsTheThreeOperationsByTheirPlainNames)
{
	for (const char *build : {"win32", "win64"}) {
		PeReport pe = read_pe(dist + "/standin/" + build + "/KUV_Act_Installer.dll");
		EXPECT_EQ(pe.exports,
			  (std::set<std::string>{"kuvActSvcInstallWin", "kuvActSvcUninstallWin",
						 "kuvActSvcGetLastErrorWin"}))
			<< build;
		EXPECT_EQ(imported_dlls(pe), (std::set<std::string>{"KERNEL32.dll", "msvcrt.dll"}))
			<< build;
	}
}

} // namespace
