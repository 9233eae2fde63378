$check = "$env:ProgramW6432\Pelmar Omni Info\pelmar_omni_signatures.exe"
$hash = [ordered]@{ Host64Bit = $false; ExitCode = -1; DriverFiles = 0; Altered = 0; Replaced = 0; Unsigned = 0 }
# The 32-bit PowerShell, Intune's default, is a wrong setting of the policy: a rule of its own
# says so on every device, though ProgramW6432 finds the program there too.
$hash.Host64Bit = -not $env:PROCESSOR_ARCHITEW6432 -and [Environment]::Is64BitProcess
if (Test-Path -LiteralPath $check -PathType Leaf) {
    try {
        # The check writes UTF-8: decoded as such, whatever the console's code page.
        $start = New-Object Diagnostics.ProcessStartInfo (Get-Item -LiteralPath $check).FullName
        $start.Arguments = '--csv --signer "Pelmar" --signer "Microsoft Windows Hardware Compatibility Publisher"'
        $start.UseShellExecute = $false
        $start.RedirectStandardOutput = $true
        $start.RedirectStandardError = $true
        $start.StandardOutputEncoding = [Text.Encoding]::UTF8
        $process = [Diagnostics.Process]::Start($start)
        # Read, so that the program never waits on a full pipe; its lines are for people.
        $null = $process.StandardError.ReadToEndAsync()
        $lines = @($process.StandardOutput.ReadToEnd() -split "`r?`n" | Where-Object { $_ })
        $process.WaitForExit()
        $hash.ExitCode = $process.ExitCode
        if ($lines.Count -gt 0 -and $lines[0] -eq 'status,signer,file,detail,folder,kind') {
            $rows = @($lines | ConvertFrom-Csv | Where-Object kind -eq 'driver')
            $hash.DriverFiles = $rows.Count
            $hash.Altered = @($rows | Where-Object status -eq 'altered').Count
            $hash.Replaced = @($rows | Where-Object status -eq 'replaced').Count
            $hash.Unsigned = @($rows | Where-Object status -eq 'unsigned').Count
        }
    } catch {
        # Not started (an application control policy, say): ExitCode stays -1.
    }
}
return $hash | ConvertTo-Json -Compress
