#!/bin/sh
# Installs PowerShell 7 and Pester, which the tests run the administrators'
# scripts with: PowerShell as a .NET global tool (~/.dotnet/tools/pwsh), Pester
# from its NuGet package into NuGet's package folder; each unless it is there.
# PowerShell 7.6.10, named: the tool's newest version does not start here.
set -eu
powershell=7.6.10 pester=5.7.1
if ! command -v dotnet >/dev/null; then
  echo "dotnet (the .NET SDK) is needed to install PowerShell $powershell" >&2
  exit 1
fi
export DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1
if ! dotnet tool list --global | grep -Eiq "^powershell +$powershell( |\$)"; then
  echo "Installing: PowerShell $powershell" >&2
  # An older or newer version of the tool is replaced.
  dotnet tool uninstall --global PowerShell >/dev/null 2>&1 || true
  dotnet tool install --global PowerShell --version "$powershell" >/dev/null
fi
packages=$HOME/.nuget/packages
if [ ! -f "$packages/pester/$pester/tools/Pester.psd1" ]; then
  echo "Installing: Pester $pester" >&2
  # dotnet fetches a package only for a project: one that asks for nothing else.
  project=$(mktemp -d)
  trap 'rm -rf "$project"' EXIT
  cat >"$project/pester.csproj" <<PROJECT
<Project Sdk="Microsoft.NET.Sdk">
  <PropertyGroup><TargetFramework>net$(dotnet --version | cut -d. -f1).0</TargetFramework></PropertyGroup>
  <ItemGroup><PackageDownload Include="Pester" Version="[$pester]" /></ItemGroup>
</Project>
PROJECT
  dotnet restore "$project/pester.csproj" --packages "$packages" >/dev/null
fi
