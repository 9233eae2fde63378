@echo off
setlocal
if "%~1"=="" (
    echo usage: collect.cmd ROUND [\\SERVER\SHARE] 1>&2
    exit /b 2
)
set "tools=%ProgramW6432%\Pelmar Omni Info"
if not exist "%tools%\" mkdir "%tools%"
copy /y "%~dp0pelmar_omni_*.exe" "%tools%\" >nul
if errorlevel 1 exit /b 1
if exist "%~dp0driver\pelmaromn.inf" (
    xcopy /e /i /q /y "%~dp0driver" "%tools%\driver" >nul
    if errorlevel 1 exit /b 1
)
rem A spooler disabled by policy, as Microsoft advises on domain controllers, serves no driver:
rem the round is done there, without a report, rather than failed and tried again for ever.
reg query "HKLM\SYSTEM\CurrentControlSet\Services\Spooler" /v Start 2>nul | find "0x4" >nul
if not errorlevel 1 (
    echo The Print Spooler is disabled: nothing to collect.> "%tools%\collected-%~1.txt"
    exit /b 0
)
"%tools%\pelmar_omni_info.exe" > "%tools%\inventory.txt" 2>&1
set "code=%ERRORLEVEL%"
if not "%~2"=="" (
    copy /y "%tools%\inventory.txt" "%~2\%COMPUTERNAME%-%~1.txt" >nul
    if errorlevel 1 exit /b 1
)
if not "%code%"=="0" exit /b %code%
copy /y "%tools%\inventory.txt" "%tools%\collected-%~1.txt" >nul
if errorlevel 1 exit /b 1
exit /b 0
