"""What Wine registers for the spooler to load, below HKLM, each naming one of
its unsigned stand-ins, which a real machine has signed or not at all: the
tests' prefixes and the benchmarks' drop them, and lay out Windows' own
where they need them."""

WINE_REGISTRATIONS = [
    "System\\CurrentControlSet\\Control\\Print\\Monitors\\Local Port"] + [
    f"System\\CurrentControlSet\\Control\\Print\\Environments\\{environment}\\"
    f"Print Processors\\{processor}"
    for environment in ("Windows 4.0", "Windows x64") for processor in ("wineps", "winprint")]
