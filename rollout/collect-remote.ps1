$folder = 'C:\Program Files\Pelmar Omni Info'
$round = '2026-12'
$machines = @(Get-Content hosts.txt | ForEach-Object { $_.Trim() } | Where-Object { $_ })
New-Item -ItemType Directory -Force -Path reports | Out-Null
# 50 machines at a time: each open session holds memory on the workstation and on the machine.
$results = for ($first = 0; $first -lt $machines.Count; $first += 50) {
    $batch = $machines[$first..([Math]::Min($first + 50, $machines.Count) - 1)]
    # A machine that cannot be reached gets an error, which says why, and a line in the table.
    $sessions = @(New-PSSession -ComputerName $batch)
    $reached = @($sessions | ForEach-Object ComputerName)
    $batch | Where-Object { $_ -notin $reached } |
        ForEach-Object { [pscustomobject]@{ PSComputerName = $_; ExitCode = 'not reached' } }
    if (-not $sessions) { continue }
    Invoke-Command -Session $sessions -ScriptBlock {
        New-Item -ItemType Directory -Force -Path $using:folder | Out-Null
    }
    foreach ($session in $sessions) {
        Copy-Item -Path "$folder\pelmar_omni_info.exe" -Destination $folder -ToSession $session
    }
    Invoke-Command -Session $sessions -ScriptBlock {
        Set-Location -LiteralPath $using:folder
        cmd /c '.\pelmar_omni_info.exe > inventory.txt 2>&1'
        [pscustomobject]@{ ExitCode = $LASTEXITCODE }
    }
    foreach ($session in $sessions) {
        Copy-Item -Path "$folder\inventory.txt" -FromSession $session `
            -Destination "reports\$($session.ComputerName)-$round.txt"
    }
    Remove-PSSession $sessions
}
$results | Sort-Object PSComputerName | Format-Table PSComputerName, ExitCode
