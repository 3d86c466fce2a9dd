/*
 * berthadd, berthdrop: install or uninstall the anchor service of a
 * publisher's product.
 *
 *	berthadd publisher_name product_name
 *	berthdrop publisher_name product_name
 *
 * Both tools are this file, built once per action: berthadd with
 * SETUP_TOOL_INSTALL defined, berthdrop with SETUP_TOOL_UNINSTALL.  The
 * tool hands the two names, exactly as received, to the service installer
 * library, prints one line on standard output that says how it went, and
 * exits 0 whatever happened: callers read the line, not the status.
 */

#include <signal.h>
#include <stdio.h>

#include "installer_api.h"

/*
 * The lines are macros rather than arrays so that they stay string
 * literals, which the compiler checks against printf's arguments.  The
 * usage line names the tool by its own word, not by argv[0], so a renamed
 * copy says the same thing.
 */
#if defined(SETUP_TOOL_INSTALL)
#define ACTION_OPERATION kuvActSvcInstallWin
#define USAGE_LINE       "Usage: berthadd publisher_name product_name\n"
#define SUCCESS_LINE     "Successfully installed anchor service for publisher %s, product %s\n"
#define ERROR_LINE       "Error %d attempting to install service\n"
#elif defined(SETUP_TOOL_UNINSTALL)
#define ACTION_OPERATION kuvActSvcUninstallWin
#define USAGE_LINE       "Usage: berthdrop publisher_name product_name\n"
#define SUCCESS_LINE     "Successfully uninstalled anchor service for publisher %s, product %s\n"
#define ERROR_LINE       "Error %d attempting to uninstall service\n"
#else
#error "build with SETUP_TOOL_INSTALL or SETUP_TOOL_UNINSTALL defined"
#endif

int main(int argc, char *argv[])
{
#ifdef SIGPIPE
	/*
	 * A reader that has gone away must not kill the tool: the library
	 * has done its work by the time the line is written, and a failed
	 * write changes nothing.
	 */
	(void)signal(SIGPIPE, SIG_IGN);
#endif

	if (argc != 3) {
		(void)printf(USAGE_LINE);
		return 0;
	}

	/* Names are passed and printed as received, never as a format. */
	if (ACTION_OPERATION(argv[1], argv[2]) != 0)
		(void)printf(SUCCESS_LINE, argv[1], argv[2]);
	else
		(void)printf(ERROR_LINE, kuvActSvcGetLastErrorWin());
	return 0;
}
