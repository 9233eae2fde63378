$folder = 'C:\Program Files\Pelmar Omni Info'
$sessions = New-PSSession -ComputerName (Get-Content hosts.txt)
New-Item -ItemType Directory -Force -Path reports | Out-Null
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
} | Sort-Object PSComputerName | Format-Table PSComputerName, ExitCode
foreach ($session in $sessions) {
    Copy-Item -Path "$folder\inventory.txt" -FromSession $session `
        -Destination "reports\$($session.ComputerName).txt"
}
Remove-PSSession $sessions
