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
$repair = "run the product's repair for Program Files\Pelmar\printer, as Pelmar's installation guide gives it, then check again"
if ($compromise) { "possible compromise: nothing repaired; treat the machine as compromised: $($compromise -join '; ')"; exit 1 }
if ($person) { $repair += "; and: $($person -join '; ')" }
if (-not $mend) {
    if ($person) { "nothing to mend, nothing repaired; needs a person: $($person -join '; ')"; exit 1 }
    'nothing to mend'; exit 0
}
$driver = 'Pelmar Omni Printer'
# pnputil is in System32 only, which the 32-bit PowerShell reaches as sysnative.
$system = if ($wow64) { "$env:SystemRoot\sysnative" } else { "$env:SystemRoot\System32" }
try {
    & "$system\pnputil.exe" /add-driver "$tools\driver\pelmaromn.inf" | Out-Null
    if ($LASTEXITCODE -notin 0, 259, 3010) { throw "pnputil /add-driver failed with exit code $LASTEXITCODE" }
    $queues = @(Get-Printer -ErrorAction Stop | Where-Object DriverName -eq $driver | ForEach-Object Name)
    # SYSTEM's Get-Printer lists no user's connections to shared printers, and since KB5005652
    # a user cannot reinstall their driver: the logged-on users' connections are read here.
    $connections = @(Get-ChildItem -Path 'Registry::HKEY_USERS\*\Printers\Connections' -ErrorAction SilentlyContinue |
        ForEach-Object { $_.PSChildName -replace ',', '\' })
    if ($queues) {
        $done = "the queues $($queues -join ', ') use $driver; nothing reinstalled"
    } elseif ($connections) {
        $done = "users' printer connections $($connections -join ', ') may use $driver; nothing reinstalled"
    } else {
        if (Get-PrinterDriver -Name $driver -ErrorAction SilentlyContinue) {
            Remove-PrinterDriver -Name $driver -ErrorAction Stop
        }
        Add-PrinterDriver -Name $driver -ErrorAction Stop
        $done = "$driver removed and added again from the driver store"
    }
} catch {
    $done = "reinstalling $driver failed: $_"
}
"to mend: $($mend -join '; '); $done; needs a person: $repair"
exit 1
