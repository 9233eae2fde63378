$package = "$env:ProgramFiles\Pelmar Omni Info\driver\pelmaromn.inf"
$driver = 'Pelmar Omni Printer'
$person = "needs a person: run the product's repair for Program Files\Pelmar\printer, as Pelmar's installation guide gives it, then check again"
pnputil.exe /add-driver $package | Out-Null
if ($LASTEXITCODE -notin 0, 259, 3010) { "pnputil /add-driver failed with exit code $LASTEXITCODE; nothing reinstalled; $person"; exit 1 }
$queues = @(Get-Printer | Where-Object DriverName -eq $driver | ForEach-Object Name)
if ($queues) { "the queues $($queues -join ', ') use $driver; nothing reinstalled; $person"; exit 1 }
try {
    if (Get-PrinterDriver -Name $driver -ErrorAction SilentlyContinue) {
        Remove-PrinterDriver -Name $driver -ErrorAction Stop
    }
    Add-PrinterDriver -Name $driver -ErrorAction Stop
} catch {
    "reinstalling $driver failed: $_; $person"; exit 1
}
"$driver removed and added again from the driver store; $person"; exit 1
