// Holds Wine's print spooler state for as long as its standard input stays
// open. Wine has no resident spooler service: the first process of a session
// that loads winspool.drv sets up the system's printers itself, and the next
// one does it again once no process holds winspool.drv. On Windows that work
// is the spooler service's, done once at boot. The benchmark's --split runs
// keep this process up in every other round, to show that share apart.
//
// Usage: spooler_resident.exe < pipe   (exits when the pipe is closed)

#include <cstdio>

#include <windows.h>
#include <winspool.h>

int wmain() {
    // The import alone loads winspool.drv; printing its address keeps the import.
    std::printf("ready %p\n", reinterpret_cast<void*>(&EnumPrinterDriversW));
    std::fflush(stdout);
    char byte = 0;
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), &byte, 1, &got, nullptr) && got != 0) {
    }
    return 0;
}
