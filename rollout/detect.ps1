$tools = "$env:ProgramW6432\Pelmar Omni Info"
$check = "$tools\pelmar_omni_signatures.exe"
# In the 32-bit PowerShell, Intune's default, ProgramFiles is Program Files (x86); ProgramW6432
# names the 64-bit one in both, but the script's setting is wrong for every device it runs on.
$wow64 = [bool]$env:PROCESSOR_ARCHITEW6432 -or -not [Environment]::Is64BitProcess
$compromise = @(); $person = @(); $mend = @()
if ($wow64) { $person += 'this ran in 32-bit PowerShell: set "Run script in 64-bit PowerShell" to Yes' }
$csv = $false; $rows = @(); $code = -1; $failure = ''
if (-not (Test-Path -LiteralPath $check -PathType Leaf)) {
    $person += "$check is missing"
} else {
    try {
        # The check writes UTF-8: decoded as such, whatever the console's code page.
        $start = New-Object Diagnostics.ProcessStartInfo (Get-Item -LiteralPath $check).FullName
        $start.Arguments = '--csv --signer "Pelmar" --signer "Microsoft Windows Hardware Compatibility Publisher"'
        $start.UseShellExecute = $false
        $start.RedirectStandardOutput = $true
        $start.RedirectStandardError = $true
        $start.StandardOutputEncoding = [Text.Encoding]::UTF8
        $start.StandardErrorEncoding = [Text.Encoding]::UTF8
        $process = [Diagnostics.Process]::Start($start)
        $errors = $process.StandardError.ReadToEndAsync()
        $lines = @($process.StandardOutput.ReadToEnd() -split "`r?`n" | Where-Object { $_ })
        $process.WaitForExit()
        $code = $process.ExitCode
        $failure = @($errors.Result -split "`r?`n" | Where-Object { $_ }) -join ' '
        $csv = $lines.Count -gt 0 -and $lines[0] -eq 'status,signer,file,detail,folder,kind'
        if ($csv) { $rows = @($lines | ConvertFrom-Csv) }
    } catch {
        $person += "the check could not start: $_"
    }
}
$drivers = 0
foreach ($row in $rows) {
    $file = "$($row.folder.TrimEnd('\'))\$($row.file) ($($row.status)$(if ($row.detail) { ': ' + $row.detail }))"
    if ($row.kind -eq 'driver') { $drivers++ }
    if ($row.kind -eq 'setting') {
        # A setting that the check reports is information: neither tampering nor a compromise.
    } elseif ($row.status -in 'unreadable', 'unchecked') {
        $person += $file
    } elseif ($row.kind -eq 'driver') {
        # Only the driver's own files are the product's to reinstall.
        if ($row.status -in 'altered', 'unsigned', 'replaced') { $mend += $file }
        elseif ($row.status -notin 'signed', 'catalog') { $person += $file }
    } elseif ($row.kind -in 'claimed', 'registered') {
        # The check gives such a file a row only where Windows did not install it.
        if ($row.status -ne 'missing') { $compromise += $file }
    } elseif ($row.kind -eq 'unclaimed') {
        # A file that nothing installed accounts for alarms as an image or a link, unless a
        # signer named above signed it: a catalog of the store speaks for no file no driver names.
        if ($row.status -ne 'signed' -and
                $row.detail -match '; an executable image|^a (link|junction), not followed') {
            $compromise += $file
        }
    } else {
        $person += "$file, of kind $($row.kind)"
    }
}
if ($csv -and $drivers -eq 0) { $person += 'no file of the driver was found' }
if ($code -gt 0 -and -not ($compromise -or $person -or $mend)) { $person += "the check ended with exit code $code$(if ($failure) { ': ' + $failure })" }
if ($compromise) { "possible compromise: treat the machine as compromised, repair nothing: $($compromise -join '; ')" }
if ($person) { "needs a person: $($person -join '; ')" }
if ($mend) { "to mend: $($mend -join '; ')" }
if ($compromise -or $person -or $mend) { exit 1 }
"no finding: $drivers files of the driver, each signed or catalogued"
exit 0
