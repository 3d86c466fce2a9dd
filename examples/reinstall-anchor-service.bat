@echo off
rem reinstall-anchor-service.bat publisher_name product_name
rem
rem Uninstalls the anchor service of a publisher's product, then installs
rem it again, with berthdrop.exe and berthadd.exe from this file's folder,
rem and tells its own caller how that went by its exit status: 0 the
rem service is installed, 1 it is not or a tool did not answer as it
rem should, 2 usage.  The tools exit 0 whatever happens, so what each did
rem is read from the line it prints, never from errorlevel; the line is
rem shown as it came.
setlocal DisableDelayedExpansion

rem The arguments reach the tools as given, and the tools judge them.  They
rem go through a variable that only the cmd started by for /f expands, once
rem it has dropped the outer quotes, so that names holding blanks or any of
rem ( ) & | < > ^ ! stay whole and inert.
set names= %*

set "tool=berthdrop"
call :run
if "%outcome%"=="usage" goto usage
if "%outcome%"=="unknown" goto no_answer
rem An uninstall that fails (when nothing was installed, say) does not stop
rem the install.

set "tool=berthadd"
call :run
if "%outcome%"=="unknown" goto no_answer
if "%outcome%"=="error" goto not_installed
echo The anchor service is installed.
exit /b 0

:not_installed
echo The anchor service is not installed: error %code%.
exit /b 1

:no_answer
echo Stopped: %tool% did not answer as it should.
exit /b 1

:usage
echo usage: %~nx0 publisher_name product_name
exit /b 2

rem call :run: runs %tool%.exe with the names, shows what it prints and
rem sorts its last line by how it starts into outcome (success, error,
rem usage or unknown), with the error code in code.  The lines, which may
rem hold the names, are shown through the for variable, which cmd does not
rem parse again; of a line in a variable, only the first 13 characters
rem (the tool's own words) are expanded, or the whole of an error line,
rem which holds no names.
:run
set "line="
for /f "delims=" %%L in ('""%~dp0%tool%.exe" %%names%%"') do (
	echo %tool%: %%L
	set "line=%%L"
)
set "outcome=unknown"
set "code="
if not defined line echo %tool%: no line
if not defined line goto :eof
if "%line:~0,13%"=="Successfully " set "outcome=success"
if "%line:~0,7%"=="Usage: " set "outcome=usage"
if not "%line:~0,6%"=="Error " goto :eof
set "outcome=error"
for /f "tokens=2" %%C in ("%line%") do set "code=%%C"
goto :eof
