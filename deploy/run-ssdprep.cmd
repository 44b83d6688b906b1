@echo off
rem run-ssdprep.cmd: runs ssdprep.exe once, unattended, from this folder, and
rem records every step in ssdprep-run.log here. It ends with 0 (set-up may go
rem on) or 3 (stop set-up: do not seal or capture this image), never with 1 or
rem 2, which WillReboot OnRequest reads as requests to restart.
rem
rem Set before it runs, or change the defaults below:
rem   DECLINE_STOPS=1               a machine the tool declines, or cannot
rem                                 serve, stops set-up too (end with 3)
rem   CREATE_WITHOUT_HIBERNATION=1  run the tool even when drive 0 has no
rem                                 hibernation partition: it then deletes
rem                                 nothing and still adds a partition
setlocal
if not defined DECLINE_STOPS set "DECLINE_STOPS=0"
if not defined CREATE_WITHOUT_HIBERNATION set "CREATE_WITHOUT_HIBERNATION=0"
set "RC=3"
set "LOG=%~dp0ssdprep-run.log"

rem The tool writes its scripts into the current directory: make it this
rem folder, and stop when it cannot be (a network path, for one).
cd /d "%~dp0" 2>nul
if not exist "%CD%\%~nx0" goto not_here
rem The tool stops at a message box when it cannot write its scripts here,
rem and nobody is there to click OK: check first.
if not "%CD:~238%"=="" goto too_long
(echo test> ssdprep-write-test.tmp) 2>nul
if not exist ssdprep-write-test.tmp goto not_writable
del ssdprep-write-test.tmp

call :log "run-ssdprep.cmd in %CD%, DECLINE_STOPS=%DECLINE_STOPS%, CREATE_WITHOUT_HIBERNATION=%CREATE_WITHOUT_HIBERNATION%"
call :log "ssdprep-inspect.exe: what ssdprep.exe would do"
"%~dp0ssdprep-inspect.exe" >> "%LOG%" 2>&1
set "CODE=%ERRORLEVEL%"
call :log "ssdprep-inspect.exe ended with %CODE%"
if "%CODE%"=="0" goto run_tool
if "%CODE%"=="1" goto declined
if "%CODE%"=="3" goto would_stop
if "%CODE%"=="4" goto nothing_to_delete
call :log "an exit code ssdprep-inspect.exe does not give: stop"
goto stop

:declined
call :log "declined: ssdprep.exe would change nothing on this machine"
if "%DECLINE_STOPS%"=="1" goto stop
goto go_on

:would_stop
call :log "a partition step could not be carried out here: ssdprep.exe was not run"
goto stop

:nothing_to_delete
if "%CREATE_WITHOUT_HIBERNATION%"=="1" goto run_tool
call :log "no hibernation partition to delete: ssdprep.exe was not run; was it run before?"
"%~dp0ssdprep-inspect.exe" --after >> "%LOG%" 2>&1
if errorlevel 1 goto cannot_serve
call :log "already done: no hibernation partition, and a TEMP_PART01 volume"
goto go_on

:cannot_serve
call :log "not done, and ssdprep.exe cannot do it: a GPT disk, a layout it cannot read, or no hibernation partition"
if "%DECLINE_STOPS%"=="1" goto stop
goto go_on

:run_tool
call :log "ssdprep.exe"
"%~dp0ssdprep.exe" >> "%LOG%" 2>&1
set "CODE=%ERRORLEVEL%"
call :log "ssdprep.exe ended with %CODE%"
if not "%CODE%"=="0" goto stop
call :log "ssdprep-inspect.exe --after: did the run do its job?"
"%~dp0ssdprep-inspect.exe" --after >> "%LOG%" 2>&1
if errorlevel 1 goto not_done
call :log "done: no hibernation partition, and a TEMP_PART01 volume"
goto go_on

:not_done
call :log "ssdprep.exe ran, but drive 0 is not as it should be"
goto stop

:not_here
call :log "cannot make its own folder the current directory, a network path?"
goto stop

:too_long
call :log "the folder path is longer than 238 characters"
goto stop

:not_writable
call :log "cannot write in this folder"
goto stop

:go_on
set "RC=0"
call :log "go on with set-up: run-ssdprep.cmd ends with 0"
goto end

:stop
set "RC=3"
call :log "stop set-up, do not seal or capture this image: run-ssdprep.cmd ends with 3"
goto end

rem One line, time-stamped, in the log and on the console.
:log
>> "%LOG%" echo %DATE% %TIME% %~1
echo %~1
goto :eof

:end
exit /b %RC%
