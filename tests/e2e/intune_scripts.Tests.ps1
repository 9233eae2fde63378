# detect.ps1, remediate.ps1 and discover.ps1 as the release ships them, each
# run by a PowerShell of its own as Intune runs it, against the signature check
# run under Wine. test_intune_scripts.py makes the machine and its program
# folders and names them in PELMAR_* variables; it also says what PowerShell 7
# on Linux cannot show of Windows PowerShell 5.1 under Intune. Each Describe
# says what its case cannot show.

BeforeDiscovery {
    $driver = $env:PELMAR_DRIVER_FOLDER
    $altered = 'altered: content differs from what was signed. Error code: 0x80096010.'
    $repair = "run the product's repair for Program Files\Pelmar\printer, as Pelmar's " +
        'installation guide gives it, then check again'
    $compromise = 'possible compromise: treat the machine as compromised, repair nothing: '
    $unrepaired = 'possible compromise: nothing repaired; treat the machine as compromised: '
    $healthy = '{"Host64Bit":true,"ExitCode":0,"DriverFiles":4,"Altered":0,"Replaced":0,"Unsigned":0}'
}

BeforeAll {
    $rollout = Join-Path $PSScriptRoot '..' '..' 'rollout'
    $changed = [Collections.Generic.List[object]]::new()

    # A script's output lines and exit code, in the environment of a 64-bit
    # PowerShell on 64-bit Windows, or with -Wow64 of a 32-bit one.
    function Invoke-Rollout([string]$Script, [string]$ProgramFiles, [switch]$Wow64) {
        $set = [ordered]@{ ProgramW6432 = $ProgramFiles; ProgramFiles = $ProgramFiles
            PROCESSOR_ARCHITECTURE = 'AMD64'; PROCESSOR_ARCHITEW6432 = $null }
        if ($Wow64) {
            $set.ProgramFiles = "$ProgramFiles (x86)"
            $set.PROCESSOR_ARCHITECTURE = 'x86'
            $set.PROCESSOR_ARCHITEW6432 = 'AMD64'
        }
        $saved = @{}
        foreach ($name in $set.Keys) {
            $saved[$name] = [Environment]::GetEnvironmentVariable($name)
            [Environment]::SetEnvironmentVariable($name, $set[$name])
        }
        try {
            # Standard error among the lines: a script writes none.
            $lines = @(& $env:PELMAR_PWSH -NoProfile -NonInteractive -File (Join-Path $rollout $Script) 2>&1 |
                ForEach-Object { "$_" })
            [pscustomobject]@{ Lines = $lines -join "`n"; ExitCode = $LASTEXITCODE }
        } finally {
            foreach ($name in $saved.Keys) { [Environment]::SetEnvironmentVariable($name, $saved[$name]) }
        }
    }

    # -Like: the lines as a wildcard pattern.
    function Assert-Rollout([string]$Script, [string[]]$Lines, [int]$ExitCode,
                            [string]$ProgramFiles = $env:PELMAR_PROGRAM_FILES, [switch]$Wow64,
                            [switch]$Like) {
        $result = Invoke-Rollout $Script $ProgramFiles -Wow64:$Wow64
        if ($Like) { $result.Lines | Should -BeLikeExactly ($Lines -join "`n") }
        else { $result.Lines | Should -BeExactly ($Lines -join "`n") }
        $result.ExitCode | Should -Be $ExitCode
    }

    # Writes a file of the prefix until Undo-Changes.
    function Set-PrefixFile([string]$Folder, [string]$Name, [byte[]]$Content) {
        $path = Join-Path $Folder $Name
        $before = if (Test-Path -LiteralPath $path) { , [IO.File]::ReadAllBytes($path) }
        $changed.Add(@($path, $before))
        [IO.File]::WriteAllBytes($path, $Content)
    }

    function Undo-Changes {
        foreach ($change in $changed) {
            if ($null -eq $change[1]) { Remove-Item -LiteralPath $change[0] }
            else { [IO.File]::WriteAllBytes($change[0], $change[1]) }
        }
        $changed.Clear()
    }

    function Get-AlteredDriverFile {
        $bytes = [IO.File]::ReadAllBytes((Join-Path $env:PELMAR_DRIVER_FOLDER_PATH 'pmomnui.dll'))
        # In the image, past the headers: the signature no longer covers it.
        $bytes[0x400] = $bytes[0x400] -bxor 1
        , $bytes
    }
}

AfterAll { Undo-Changes }

Describe 'Every script' {
    # collect-remote.ps1 needs WinRM: it is only parsed.
    It '<_> parses' -ForEach @(
        'collect-remote.ps1', 'detect.ps1', 'discover.ps1', 'remediate.ps1') {
        $errors = $null
        $null = [Management.Automation.Language.Parser]::ParseFile((Join-Path $rollout $_), [ref]$null,
            [ref]$errors)
        $errors | Should -BeNullOrEmpty
    }
}

# Not shown: Intune taking exit code 0 as "without issues".
Describe 'A healthy machine' {
    It '<Script> finds nothing' -ForEach @(
        @{ Script = 'detect.ps1'; Lines = 'no finding: 4 files of the driver, each signed or catalogued'; Code = 0 }
        @{ Script = 'remediate.ps1'; Lines = 'nothing to mend'; Code = 0 }
        @{ Script = 'discover.ps1'; Lines = $healthy; Code = 0 }) {
        Assert-Rollout $Script $Lines $Code
    }
}

# Not shown: pnputil, the printer cmdlets and the spooler writing its copy
# anew, none of which is here; nor a console code page other than UTF-8.
Describe 'An altered driver file' {
    BeforeAll { Set-PrefixFile $env:PELMAR_DRIVER_FOLDER_PATH 'pmomnui.dll' (Get-AlteredDriverFile) }
    AfterAll { Undo-Changes }

    It '<Script> has it to mend' -ForEach @(
        @{ Script = 'detect.ps1'; Lines = "to mend: ${driver}pmomnui.dll ($altered)"; Code = 1 }
        # As far as pnputil, and a person is still sent.
        @{ Script = 'remediate.ps1'; Code = 1; Like = $true
           Lines = "to mend: ${driver}pmomnui.dll ($altered); reinstalling Pelmar Omni Printer " +
                "failed: The term '\System32\pnputil.exe' is not recognized*; needs a person: $repair" }
        @{ Script = 'discover.ps1'; Code = 0
           Lines = $healthy.Replace('"ExitCode":0', '"ExitCode":1').Replace('"Altered":0', '"Altered":1') }) {
        Assert-Rollout $Script $Lines $Code -Like:$Like
    }
}

# A registered print processor's unsigned library (claimed); an unsigned image
# that nothing names (unclaimed), beside an altered driver file. The rules
# judge the driver's files only. Not shown: how Intune shows the lines, of
# which it keeps 2,048 characters.
Describe 'A compromise (<Kind>)' -ForEach (@(
    @{ Kind = 'claimed'; Folder = $env:PELMAR_PROCESSOR_FOLDER_PATH; Name = 'pelproc.dll'; Altered = $false
       Row = "$($env:PELMAR_PROCESSOR_FOLDER)pelproc.dll (unsigned: a registered print processor)"
       Mend = @(); Discover = $healthy.Replace('"ExitCode":0', '"ExitCode":1') }
    @{ Kind = 'unclaimed'; Folder = $env:PELMAR_DRIVER_FOLDER_PATH; Name = 'payload.dll'; Altered = $true
       Row = "${driver}payload.dll (unsigned: named by no installed driver; an executable image)"
       Mend = @("to mend: ${driver}pmomnui.dll ($altered)")
       Discover = $healthy.Replace('"ExitCode":0', '"ExitCode":1').Replace('"Altered":0', '"Altered":1') }
    ) | ForEach-Object { $_ + @{ Compromise = "$compromise$($_.Row)"; Unrepaired = "$unrepaired$($_.Row)" } }) {
    BeforeAll {
        Set-PrefixFile $Folder $Name ([IO.File]::ReadAllBytes($env:PELMAR_UNSIGNED))
        if ($Altered) { Set-PrefixFile $env:PELMAR_DRIVER_FOLDER_PATH 'pmomnui.dll' (Get-AlteredDriverFile) }
    }
    AfterAll { Undo-Changes }

    It 'detect.ps1 says so first, never only to mend' {
        Assert-Rollout 'detect.ps1' (@($Compromise) + $Mend) 1
    }
    It 'remediate.ps1 repairs nothing' {
        Assert-Rollout 'remediate.ps1' $Unrepaired 1
    }
    It 'discover.ps1 counts tampering only' {
        Assert-Rollout 'discover.ps1' $Discover 0
    }
}

# Held open without sharing under Wine, as a virus scanner may hold it. Not
# shown: Windows' own sharing rules, and SYSTEM's rights.
Describe 'An unreadable file' {
    BeforeDiscovery {
        $person = "needs a person: $($env:PELMAR_HELD) (unreadable: cannot be read. Error code: 0x00000020.)"
    }
    It '<Script> sends a person' -ForEach @(
        @{ Script = 'detect.ps1'; Lines = $person; Code = 1 }
        @{ Script = 'remediate.ps1'; Lines = "nothing to mend, nothing repaired; $person"; Code = 1 }
        @{ Script = 'discover.ps1'; Lines = $healthy.Replace('"ExitCode":0', '"ExitCode":2'); Code = 0 }) {
        Assert-Rollout $Script $Lines $Code $env:PELMAR_HELD_PROGRAM_FILES
    }
}

# Not shown: the policy's assignment, which keeps devices without the product
# out; on them the rules pass.
Describe 'The program missing' {
    BeforeDiscovery { $person = 'needs a person: {0}\Pelmar Omni Info\pelmar_omni_signatures.exe is missing' }
    BeforeAll { $empty = New-Item -ItemType Directory -Path (Join-Path $TestDrive 'Program Files') }
    It '<Script> sends a person, or counts nothing' -ForEach @(
        @{ Script = 'detect.ps1'; Lines = $person; Code = 1 }
        @{ Script = 'remediate.ps1'; Lines = "nothing to mend, nothing repaired; $person"; Code = 1 }
        @{ Script = 'discover.ps1'; Code = 0
           Lines = $healthy.Replace('"ExitCode":0', '"ExitCode":-1').Replace('"DriverFiles":4', '"DriverFiles":0') }) {
        Assert-Rollout $Script $Lines.Replace('{0}', $empty.FullName) $Code $empty.FullName
    }
}

# ProgramFiles names an empty Program Files (x86), as under WOW64: the scripts
# that read it found no program and passed. Not shown: a 32-bit process; here
# [Environment]::Is64BitProcess is true, System32 is not redirected and there
# is no sysnative.
Describe 'A 32-bit host' {
    BeforeDiscovery {
        $person = 'needs a person: this ran in 32-bit PowerShell: set "Run script in 64-bit PowerShell" to Yes'
    }
    It '<Script> finds the program and is never compliant' -ForEach @(
        @{ Script = 'detect.ps1'; Lines = $person; Code = 1 }
        @{ Script = 'remediate.ps1'; Lines = "nothing to mend, nothing repaired; $person"; Code = 1 }
        @{ Script = 'discover.ps1'; Lines = $healthy.Replace('"Host64Bit":true', '"Host64Bit":false'); Code = 0 }) {
        Assert-Rollout $Script $Lines $Code -Wow64
    }
}
