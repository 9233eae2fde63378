#include "signature_csv.h"

#include "csv_field.h"

void print_signature_csv_header(std::wostream& out) {
    out << L'\uFEFF' << L"status,signer,file,detail,folder,kind\n";
}

void print_signature_csv_row(std::wostream& out, const file_verdict& verdict,
                             const std::wstring& file, const std::wstring& folder,
                             std::wstring_view kind) {
    for (const std::wstring_view field :
         {status_text(verdict.status), std::wstring_view(verdict.signer), std::wstring_view(file),
          std::wstring_view(verdict.detail), std::wstring_view(folder)}) {
        write_csv_field(out, field);
        out << L',';
    }
    out << kind << L'\n';
}
