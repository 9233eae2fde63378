$check = "$env:ProgramFiles\Pelmar Omni Info\pelmar_omni_signatures.exe"
$hash = [ordered]@{ ExitCode = -1; DriverFiles = 0; Altered = 0; Replaced = 0; Unsigned = 0 }
if (Test-Path -LiteralPath $check -PathType Leaf) {
    try {
        $csv = @(& $check --csv --signer 'Pelmar' --signer 'Microsoft Windows Hardware Compatibility Publisher' 2>$null)
        $hash.ExitCode = $LASTEXITCODE
    } catch {
        $csv = @()
    }
    # The header is matched without its first characters, the byte order mark, which each
    # PowerShell decodes differently; the rows' status and kind are ASCII in every decoding.
    if ($csv -and $csv[0].EndsWith('status,signer,file,detail,folder,kind')) {
        $rows = @($csv | Select-Object -Skip 1 |
            ConvertFrom-Csv -Header status, signer, file, detail, folder, kind |
            Where-Object kind -eq 'driver')
        $hash.DriverFiles = $rows.Count
        $hash.Altered = @($rows | Where-Object status -eq 'altered').Count
        $hash.Replaced = @($rows | Where-Object status -eq 'replaced').Count
        $hash.Unsigned = @($rows | Where-Object status -eq 'unsigned').Count
    }
}
return $hash | ConvertTo-Json -Compress
