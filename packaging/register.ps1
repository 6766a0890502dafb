<#
.SYNOPSIS
    Registers the Tag context menu command for the current user, or removes it again.

.DESCRIPTION
    Writes the keys of TagShellExtension.reg.in (beside this script) under
    HKEY_CURRENT_USER\Software\Classes: the class {A2877438-9A16-4629-912A-1223B4E3B025} as an
    in-process server (InprocServer32 = the DLL's full path, ThreadingModel = Apartment) and the
    verb Lumora.Tag for files (*) and folders (Directory), which Explorer shows in the classic
    context menu ("Show more options" on Windows 11). No administrator rights are needed.
    -Unregister imports TagShellExtension.unregister.reg, which deletes exactly those keys, and
    then removes the parent keys the registration had to create when they are left empty.

.PARAMETER DllPath
    Full or relative path of TagShellExtension.dll. Default: the DLL beside this script.

.PARAMETER Unregister
    Remove the registration instead of adding it.

.EXAMPLE
    powershell -ExecutionPolicy Bypass -File .\register.ps1
.EXAMPLE
    powershell -ExecutionPolicy Bypass -File .\register.ps1 -Unregister
#>
[CmdletBinding()]
param(
    [string] $DllPath = (Join-Path $PSScriptRoot 'TagShellExtension.dll'),
    [switch] $Unregister
)

Set-StrictMode -Version 3
$ErrorActionPreference = 'Stop'

$placeholder = '@TAG_SHELL_EXTENSION_DLL@'
$template = Join-Path $PSScriptRoot 'TagShellExtension.reg.in'
$removal = Join-Path $PSScriptRoot 'TagShellExtension.unregister.reg'

function Invoke-RegImport([string] $Path) {
    # The DLL is 64-bit: from a 32-bit PowerShell the keys must still land in the 64-bit view.
    $arguments = @('import', $Path)
    if ([Environment]::Is64BitOperatingSystem) { $arguments += '/reg:64' }
    $reg = Join-Path ([Environment]::GetFolderPath('System')) 'reg.exe'
    # reg.exe reports success on stderr, which Windows PowerShell 5.1 would turn into an error.
    $previous = $ErrorActionPreference
    $ErrorActionPreference = 'Continue'
    try { $output = & $reg @arguments 2>&1 | Out-String }
    finally { $ErrorActionPreference = $previous }
    if ($LASTEXITCODE -ne 0) {
        throw "reg import '$Path' failed with exit code ${LASTEXITCODE}: $output"
    }
}

function Remove-EmptyKey([Microsoft.Win32.RegistryKey] $Root, [string] $SubKey) {
    $key = $Root.OpenSubKey($SubKey)
    if ($null -eq $key) { return }
    $empty = $key.SubKeyCount -eq 0 -and $key.ValueCount -eq 0
    $key.Close()
    if ($empty) { $Root.DeleteSubKey($SubKey, $false) }
}

if ($Unregister) {
    Invoke-RegImport $removal
    $view = if ([Environment]::Is64BitOperatingSystem) { 'Registry64' } else { 'Default' }
    $user = [Microsoft.Win32.RegistryKey]::OpenBaseKey('CurrentUser', $view)
    try {
        foreach ($owner in '*', 'Directory') {
            Remove-EmptyKey $user "Software\Classes\$owner\shell"
            Remove-EmptyKey $user "Software\Classes\$owner"
        }
    }
    finally { $user.Close() }
    Write-Host 'Tag context menu unregistered for the current user.'
    return
}

if (-not (Test-Path -LiteralPath $DllPath -PathType Leaf)) {
    throw "TagShellExtension.dll not found: $DllPath"
}
# COM loads the server by this exact text: always a full path.
$fullPath = (Resolve-Path -LiteralPath $DllPath).ProviderPath

$text = [IO.File]::ReadAllText($template)
if (-not $text.Contains($placeholder)) { throw "$template lacks $placeholder" }
$escaped = $fullPath.Replace('\', '\\').Replace('"', '\"')
$filled = $text.Replace($placeholder, $escaped)

# UTF-16 with a byte-order mark: reg import reads any path in it unchanged.
$file = Join-Path ([IO.Path]::GetTempPath()) ("TagShellExtension-{0}.reg" -f [guid]::NewGuid())
[IO.File]::WriteAllText($file, $filled, [Text.Encoding]::Unicode)
try { Invoke-RegImport $file }
finally { Remove-Item -LiteralPath $file -ErrorAction SilentlyContinue }

Write-Host "Tag context menu registered for the current user: $fullPath"
