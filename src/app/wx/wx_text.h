#pragma once
// Texts between the program (bytes, as the file system and the INI files hold them) and
// wxWidgets (wide strings). Valid UTF-8 becomes its characters; any other byte is carried
// through a private-use character and comes back as the same byte, so that a path whose
// name is not UTF-8 still reaches the job unchanged.

#include <wx/string.h>

#include <string>
#include <string_view>

namespace kerro {

wxString ToWxString(std::string_view bytes);
std::string FromWxString(const wxString& text);

}  // namespace kerro
