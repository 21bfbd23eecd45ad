// Loading and saving of CXMLDict. The XML layer is not part of this build yet: every call fails
// and changes nothing.
#include "commonutility/XMLDict.h"

int CXMLDict::LoadFromFile(const wchar_t*) { return 0; }
int CXMLDict::SaveToFile(const wchar_t*) { return 0; }
int CXMLDict::LoadFromMemFile(wchar_t*) { return 0; }
int CXMLDict::SaveToMemFile(wchar_t**) { return 0; }
