# berth_warnings: the language level and warnings of all code here.
add_library(berth_warnings INTERFACE)
target_compile_features(berth_warnings INTERFACE cxx_std_17 c_std_99)
target_compile_options(berth_warnings INTERFACE -Wall -Wextra -Werror)

# berth_defaults: how the programs and the stand-in library are built.
# Linked privately, so that none of it is a global flag.
add_library(berth_defaults INTERFACE)
target_link_libraries(berth_defaults INTERFACE berth_warnings)
target_compile_options(berth_defaults INTERFACE
	$<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions -fno-rtti>
	# Keep the build folder's name out of the binaries.
	"-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.")

if(BERTH_SANITIZE)
	# Any report ends the program with a non-zero status, which the
	# tests, expecting 0, take for a failure.
	set(sanitize -fsanitize=address,undefined -fno-sanitize-recover=all)
	target_compile_options(berth_defaults INTERFACE ${sanitize} -fno-omit-frame-pointer)
	target_link_options(berth_defaults INTERFACE ${sanitize})
endif()

if(WIN32)
	# The lowest Windows version each build declares: 2000 for x86, XP
	# x64 / Server 2003 for x86-64, in both version fields of the header.
	if(CMAKE_SIZEOF_VOID_P EQUAL 8)
		set(windows_version 5 2)
	else()
		set(windows_version 5 0)
	endif()
	list(GET windows_version 0 major)
	list(GET windows_version 1 minor)

	# printf is the system runtime's: mingw would otherwise put its own,
	# several times larger, into every C++ program.
	target_compile_definitions(berth_defaults INTERFACE __USE_MINGW_ANSI_STDIO=0)
	target_link_options(berth_defaults INTERFACE
		# The compiler's runtime goes into each program, which then needs
		# only KERNEL32, msvcrt and the installer library.
		-static -s
		"LINKER:--major-os-version,${major},--minor-os-version,${minor}"
		"LINKER:--major-subsystem-version,${major},--minor-subsystem-version,${minor}"
		# Same sources, same bytes: no link time in the header.
		LINKER:--no-insert-timestamp
		LINKER:--dynamicbase,--nxcompat)
	if(CMAKE_SIZEOF_VOID_P EQUAL 8)
		target_link_options(berth_defaults INTERFACE LINKER:--high-entropy-va)
	endif()
else()
	target_link_options(berth_defaults INTERFACE
		-static-libstdc++ -static-libgcc
		# Bind every library function before main runs, as Windows does
		# through the import table; and need no library that nothing uses.
		LINKER:-z,now LINKER:--as-needed)
endif()

# berth_add_setup_tool(<target> <tool> <source>): <source> built as the
# given tool, berthadd (install) or berthdrop (uninstall), bound to the
# installer library, which it looks for beside itself, then as usual.
function(berth_add_setup_tool target tool source)
	if(tool STREQUAL "berthadd")
		set(action SETUP_TOOL_INSTALL)
	elseif(tool STREQUAL "berthdrop")
		set(action SETUP_TOOL_UNINSTALL)
	else()
		message(FATAL_ERROR "unknown setup tool '${tool}'")
	endif()
	add_executable(${target} "${source}")
	target_compile_definitions(${target} PRIVATE ${action})
	target_link_libraries(${target} PRIVATE installer_api berth_defaults)
	set_target_properties(${target} PROPERTIES
		OUTPUT_NAME ${tool}
		BUILD_WITH_INSTALL_RPATH ON
		INSTALL_RPATH "$ORIGIN")
	if(WIN32)
		# Terminal-server aware, as Visual C++ makes console programs:
		# otherwise a Remote Desktop Session Host gives the process a
		# per-user Windows folder and maps INI and registry access, and
		# the installer library, which runs inside it, would be misled.
		# Not large-address aware on x86: the library shares the address
		# space and may not expect addresses above 2 GB.
		target_link_options(${target} PRIVATE LINKER:--tsaware)
	endif()
endfunction()
