/*
 * The service installer library, KUV_Act_Installer, as the setup tools
 * call it.
 *
 * Install and uninstall take the publisher's and the product's name as
 * read-only, NUL-terminated narrow strings and return a one-byte truth
 * value: any non-zero byte is success.  The result is declared as
 * unsigned char so that a caller reads that byte and nothing above it,
 * whatever the library leaves in the rest of the return register.  After
 * a failure, kuvActSvcGetLastErrorWin gives the library's error code.
 *
 * On Windows the operations are imported from KUV_Act_Installer.dll by
 * their plain names; on 32-bit x86 the caller removes the arguments from
 * the stack (__cdecl).  Everywhere else they are ordinary C functions.
 */
#ifndef INSTALLER_API_H
#define INSTALLER_API_H

#include <stdint.h>

#if defined(_WIN32)
#define KUV_IMPORT __declspec(dllimport)
#define KUV_CALL   __cdecl
#else
#define KUV_IMPORT
#define KUV_CALL
#endif

#ifdef __cplusplus
extern "C" {
#endif

KUV_IMPORT unsigned char KUV_CALL kuvActSvcInstallWin(const char *publisher_name,
						      const char *product_name);
KUV_IMPORT unsigned char KUV_CALL kuvActSvcUninstallWin(const char *publisher_name,
							const char *product_name);
KUV_IMPORT int32_t KUV_CALL kuvActSvcGetLastErrorWin(void);

#ifdef __cplusplus
}
#endif

#endif
