#include "csv_record.h"

void write_csv_record(std::wostream& out, std::initializer_list<std::wstring_view> fields) {
    for (const std::wstring_view& field : fields) {
        out << (&field == fields.begin() ? L"" : L",");
        const bool quoted = field.find_first_of(L",\"\r\n") != std::wstring_view::npos;
        out << (quoted ? L"\"" : L"") << (field.find_first_of(L"=+-@\t\r") == 0 ? L"'" : L"");
        for (const wchar_t character : field) {
            out << character << (character == L'"' ? L"\"" : L"");
        }
        out << (quoted ? L"\"" : L"");
    }
    out << L'\n';
}
