/*
 * A stand-in for the service installer library KUV_Act_Installer, for
 * tests and dry runs.  It installs and uninstalls nothing: every operation
 * does what these environment variables say, read afresh at each call.
 *
 *	KUV_STANDIN_RESULT	what install and uninstall return (default 1)
 *	KUV_STANDIN_LAST_ERROR	what kuvActSvcGetLastErrorWin returns (default 0)
 *	KUV_STANDIN_LOG		file to which each call appends one line
 *
 * The result is returned as a full 32-bit value, so that a caller which
 * reads more than its low byte is caught; that is why this file does not
 * include installer_api.h, which declares the one-byte result callers see.
 *
 * Numbers are decimal, or hexadecimal after 0x, with an optional minus
 * sign; any 32-bit pattern is taken, from -2147483648 to 4294967295.  A log
 * line names the operation and then each argument in double quotes, bytes
 * outside printable ASCII and the characters " and \ written as \xHH, so
 * the line shows exactly what the caller passed.
 *
 * A variable that cannot be used ends the process with a message on
 * standard error and status 78: a wrongly scripted test then fails loudly
 * instead of testing something else.  Standard output belongs to the
 * caller and is never written.
 */

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#if defined(_WIN32)
#define STANDIN_EXPORT extern "C" __declspec(dllexport)
#define STANDIN_CALL   __cdecl
#else
#define STANDIN_EXPORT extern "C" __attribute__((visibility("default")))
#define STANDIN_CALL
#endif

enum { STANDIN_EXIT_CONFIG = 78 };

[[noreturn]] static void give_up(const char *variable, const char *value, const char *reason)
{
	(void)fprintf(stderr, "KUV_Act_Installer stand-in: %s=\"%s\": %s\n", variable, value,
		      reason);
	std::_Exit(STANDIN_EXIT_CONFIG);
}

static int digit_value(char c)
{
	if (c >= '0' && c <= '9')
		return c - '0';
	if (c >= 'a' && c <= 'f')
		return c - 'a' + 10;
	if (c >= 'A' && c <= 'F')
		return c - 'A' + 10;
	return -1;
}

/* The 32-bit pattern of the number in variable, or fallback if it is unset. */
static uint32_t scripted_number(const char *variable, uint32_t fallback)
{
	const char *value = std::getenv(variable);
	if (value == nullptr)
		return fallback;

	const char *p = value;
	bool negative = *p == '-';
	if (negative)
		p++;
	int base = 10;
	if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
		base = 16;
		p += 2;
	}
	if (*p == '\0')
		give_up(variable, value, "not a number");

	uint64_t magnitude = 0;
	for (; *p != '\0'; p++) {
		int digit = digit_value(*p);
		if (digit < 0 || digit >= base)
			give_up(variable, value, "not a number");
		magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(digit);
		if (magnitude > UINT32_MAX)
			give_up(variable, value, "out of the 32-bit range");
	}
	if (negative && magnitude > static_cast<uint64_t>(INT32_MAX) + 1)
		give_up(variable, value, "out of the 32-bit range");
	return negative ? static_cast<uint32_t>(0U - magnitude) : static_cast<uint32_t>(magnitude);
}

static void log_argument(FILE *log, const char *argument)
{
	(void)fputs(" \"", log);
	for (const char *p = argument; *p != '\0'; p++) {
		auto byte = static_cast<unsigned char>(*p);
		if (byte < 0x20 || byte > 0x7e || byte == '"' || byte == '\\')
			(void)fprintf(log, "\\x%02X", byte);
		else
			(void)fputc(byte, log);
	}
	(void)fputc('"', log);
}

/* Appends "operation" and its arguments, if any, to the log. */
static void log_call(const char *operation, const char *publisher_name, const char *product_name)
{
	const char *path = std::getenv("KUV_STANDIN_LOG");
	if (path == nullptr)
		return;
	FILE *log = std::fopen(path, "ab");
	if (log == nullptr)
		give_up("KUV_STANDIN_LOG", path, std::strerror(errno));
	(void)fputs(operation, log);
	if (publisher_name != nullptr) {
		log_argument(log, publisher_name);
		log_argument(log, product_name);
	}
	(void)fputc('\n', log);
	if (std::fclose(log) != 0)
		give_up("KUV_STANDIN_LOG", path, std::strerror(errno));
}

STANDIN_EXPORT uint32_t STANDIN_CALL kuvActSvcInstallWin(const char *publisher_name,
							 const char *product_name)
{
	log_call("kuvActSvcInstallWin", publisher_name, product_name);
	return scripted_number("KUV_STANDIN_RESULT", 1);
}

STANDIN_EXPORT uint32_t STANDIN_CALL kuvActSvcUninstallWin(const char *publisher_name,
							   const char *product_name)
{
	log_call("kuvActSvcUninstallWin", publisher_name, product_name);
	return scripted_number("KUV_STANDIN_RESULT", 1);
}

STANDIN_EXPORT int32_t STANDIN_CALL kuvActSvcGetLastErrorWin()
{
	log_call("kuvActSvcGetLastErrorWin", nullptr, nullptr);
	return static_cast<int32_t>(scripted_number("KUV_STANDIN_LAST_ERROR", 0));
}
