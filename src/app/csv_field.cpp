#include "csv_field.h"

void write_csv_field(std::wostream& out, std::wstring_view field) {
    if (field.find_first_of(L",\"\r\n") == std::wstring_view::npos) {
        out << field;
        return;
    }
    out << L'"';
    for (const wchar_t character : field) {
        out << character;
        if (character == L'"') {
            out << L'"';
        }
    }
    out << L'"';
}
