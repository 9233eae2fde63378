#include "failure_line.h"

#include <exception>

#include "print_error.h"
#include "win32_exception.h"

void print_failure_line(std::wostream& out) {
    try {
        throw;
    } catch (const pelmar::winspool::print_processor_exception& error) {
        print_error(L"Failed to get print processor directory.", error, out);
    } catch (const pelmar::crypto::crypto_exception& error) {
        print_error(L"Cryptographic operation failed.", error, out);
    } catch (const com_exception& error) {
        print_error(L"Failed to initialize COM.", error, out);
    } catch (const output_exception& error) {
        print_error(L"Failed to write the report to standard output.", error, out);
    } catch (const win32_exception& error) {
        print_error(L"An unexpected Windows exception occurred.", error, out);
    } catch (const std::exception&) {
        out << L"An unexpected C++ standard library exception occurred.\n";
    }
}
