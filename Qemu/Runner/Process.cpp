/** @file
  Host helpers of the runner: files, hexadecimal and GUID text, UTF-16, and
  running the disk tools.
**/
#include "Runner.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace E2e {

Bytes
ReadFile (
  const std::string  &Path
  )
{
  std::ifstream  In (Path, std::ios::binary);

  return Bytes (std::istreambuf_iterator<char> (In), std::istreambuf_iterator<char> ());
}

void
WriteFile (
  const std::string  &Path,
  const Bytes        &Data
  )
{
  std::ofstream  Out (Path, std::ios::binary | std::ios::trunc);

  Out.write (reinterpret_cast<const char *>(Data.data ()), static_cast<std::streamsize>(Data.size ()));
}

void
WriteText (
  const std::string  &Path,
  const std::string  &Text
  )
{
  WriteFile (Path, Bytes (Text.begin (), Text.end ()));
}


std::string
HexText (
  const Bytes  &Data
  )
{
  static const char  Digits[] = "0123456789abcdef";
  std::string        Text;

  for (uint8_t Byte : Data) {
    Text += Digits[Byte >> 4];
    Text += Digits[Byte & 0xF];
  }

  return Text;
}

Bytes
HexBytes (
  const std::string  &Hex
  )
{
  Bytes  Data;

  for (size_t Index = 0; Index + 1 < Hex.size (); Index += 2) {
    Data.push_back (static_cast<uint8_t>(std::stoul (Hex.substr (Index, 2), nullptr, 16)));
  }

  return Data;
}

Bytes
Utf16 (
  const std::string  &Ascii,
  bool               WithNul
  )
{
  Bytes  Data;

  for (char C : Ascii) {
    Data.push_back (static_cast<uint8_t>(C));
    Data.push_back (0);
  }

  if (WithNul) {
    Data.push_back (0);
    Data.push_back (0);
  }

  return Data;
}

std::string
Narrow16 (
  const Bytes  &Data,
  size_t       Offset,
  size_t       *End
  )
{
  std::string  Text;

  while (Offset + 1 < Data.size ()) {
    uint16_t  C = static_cast<uint16_t>(Data[Offset] | (Data[Offset + 1] << 8));
    Offset += 2;
    if (C == 0) {
      if (End != nullptr) {
        *End = Offset;
      }

      return Text;
    }

    Text += (C < 0x80) ? static_cast<char>(C) : '?';
  }

  if (End != nullptr) {
    *End = std::string::npos;   // no NUL inside the data
  }

  return Text;
}

std::string
Lower (
  std::string  Text
  )
{
  for (char &C : Text) {
    if ((C >= 'A') && (C <= 'Z')) {
      C = static_cast<char>(C - 'A' + 'a');
    }
  }

  return Text;
}

std::string
StatusName (
  uint64_t  Status
  )
{
  switch (Status) {
    case EFI_SUCCESS:           return "EFI_SUCCESS";
    case EFI_UNSUPPORTED:       return "EFI_UNSUPPORTED";
    case EFI_DEVICE_ERROR:      return "EFI_DEVICE_ERROR";
    case EFI_OUT_OF_RESOURCES:  return "EFI_OUT_OF_RESOURCES";
    case EFI_NOT_FOUND:         return "EFI_NOT_FOUND";
    case EFI_ACCESS_DENIED:     return "EFI_ACCESS_DENIED";
    case EFI_ABORTED:           return "EFI_ABORTED";
    default:
    {
      char  Text[32];
      std::snprintf (Text, sizeof (Text), "0x%llX", static_cast<unsigned long long>(Status));
      return Text;
    }
  }
}

int
RunProgram (
  const std::vector<std::string>  &Argv,
  std::string                     *Output
  )
{
  int  Pipe[2];

  if (pipe (Pipe) != 0) {
    return -1;
  }

  pid_t  Child = fork ();
  if (Child < 0) {
    close (Pipe[0]);
    close (Pipe[1]);
    return -1;
  }

  if (Child == 0) {
    std::vector<char *>  Args;
    for (const std::string &Arg : Argv) {
      Args.push_back (const_cast<char *>(Arg.c_str ()));
    }

    Args.push_back (nullptr);
    int  Null = open ("/dev/null", O_RDONLY);
    dup2 (Null, 0);
    dup2 (Pipe[1], 1);
    dup2 (Pipe[1], 2);
    close (Pipe[0]);
    close (Pipe[1]);
    execv (Args[0], Args.data ());
    _exit (127);
  }

  close (Pipe[1]);
  std::string  Text;
  char         Buffer[4096];
  ssize_t      Count;
  while ((Count = read (Pipe[0], Buffer, sizeof (Buffer))) > 0) {
    Text.append (Buffer, static_cast<size_t>(Count));
  }

  close (Pipe[0]);
  int  Status = 0;
  waitpid (Child, &Status, 0);
  if (Output != nullptr) {
    *Output = Text;
  }

  return WIFEXITED (Status) ? WEXITSTATUS (Status) : -1;
}

std::string
FindProgram (
  const std::string  &Name
  )
{
  if (Name.find ('/') != std::string::npos) {
    return (access (Name.c_str (), X_OK) == 0) ? Name : "";
  }

  std::string  Path = (std::getenv ("PATH") != nullptr) ? std::getenv ("PATH") : "";
  Path += ":/usr/local/sbin:/usr/sbin:/sbin:/usr/bin:/bin";
  std::stringstream  Dirs (Path);
  std::string        Dir;
  while (std::getline (Dirs, Dir, ':')) {
    if (Dir.empty ()) {
      continue;
    }

    std::string  Candidate = Dir + "/" + Name;
    if (access (Candidate.c_str (), X_OK) == 0) {
      return Candidate;
    }
  }

  return "";
}

}  // namespace E2e
