#!/bin/sh
# Installs PowerShell 7, which the tests run the administrators' scripts in, as
# a .NET global tool (~/.dotnet/tools/pwsh), unless this version is there.
# 7.6.10, named: the tool's newest version does not start on this system.
set -eu
version=7.6.10
if ! command -v dotnet >/dev/null; then
  echo "dotnet (the .NET SDK) is needed to install PowerShell $version" >&2
  exit 1
fi
export DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1
if dotnet tool list --global | grep -Eiq "^powershell +$version( |\$)"; then
  exit 0
fi
echo "Installing: PowerShell $version" >&2
# An older or newer version of the tool is replaced.
dotnet tool uninstall --global PowerShell >/dev/null 2>&1 || true
dotnet tool install --global PowerShell --version "$version" >/dev/null
