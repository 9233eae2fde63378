$check = "$env:ProgramFiles\Pelmar Omni Info\pelmar_omni_signatures.exe"
if (-not (Test-Path -LiteralPath $check -PathType Leaf)) { "needs a person: $check is missing"; exit 2 }
$lines = @(& $check --signer 'Pelmar' --signer 'Microsoft Windows Hardware Compatibility Publisher' 2>&1 |
    ForEach-Object { "$_" })
$code = $LASTEXITCODE
$mendable = 'altered', 'unsigned', 'replaced'
$files = foreach ($line in $lines) {
    $fields = $line -split "`t"
    # Rows of files that no installed driver names are not the driver's: a reinstallation leaves them.
    if ($fields.Count -eq 5 -and $fields[0].Trim() -in $mendable -and
        -not $fields[3].StartsWith('named by no installed driver')) {
        $fields[2].Trim()
    }
}
$last = if ($lines) { $lines[-1] } else { "no output, exit code $code" }
if ($files) { "to mend: $(($files | Select-Object -Unique) -join ', '); $last"; exit 1 }
if ($code -eq 0) { $last; exit 0 }
"needs a person: $last"; exit 2
