#include "GuidText.h"

#include <cstdio>

std::string
GuidText (
  const EFI_GUID  &Guid,
  bool            LowerCase
  )
{
  char  Text[40];

  std::snprintf (
    Text,
    sizeof (Text),
    LowerCase ? "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x" : "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X",
    Guid.Data1,
    Guid.Data2,
    Guid.Data3,
    Guid.Data4[0],
    Guid.Data4[1],
    Guid.Data4[2],
    Guid.Data4[3],
    Guid.Data4[4],
    Guid.Data4[5],
    Guid.Data4[6],
    Guid.Data4[7]
    );
  return Text;
}
