#pragma once

#include <ostream>

// Writes the one line that says why a run ended, for the exception that is
// being handled: the message its type stands for and its Windows error code,
// or the standard library's fixed line. Call it only inside a catch block;
// an exception of another kind is thrown on.
void print_failure_line(std::wostream& out);
