// An empty library whose only purpose is its version resource: the benchmark
// copies it, padded with random bytes, under the names of the driver's DLLs so
// that the inventory reads real version blocks as it would on a print server.

#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) {
    return TRUE;
}
