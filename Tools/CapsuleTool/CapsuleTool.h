/** @file
  The capsule tool: builds capsules, tells what the capsule update driver
  will do with one, stages one for delivery on disk, and decodes the result
  records the driver leaves.

  The verdict comes from the driver's own layout and check code
  (CapsuleLayout.cpp, through the driver's private header), so the tool and
  the driver cannot disagree about a capsule.
**/
#ifndef CAPSULE_TOOL_H_
#define CAPSULE_TOOL_H_

#include <cstdint>
#include <iosfwd>
#include <stdexcept>
#include <string>
#include <vector>

#include "CapsuleUpdateDxe.h"

namespace CapsuleTool {

using Bytes = std::vector<UINT8>;
using Args  = std::vector<std::string>;

///
/// Exit codes every subcommand uses.
///
enum ExitCode {
  ExitOk      = 0,  ///< done; the capsule would be taken as it is
  ExitRefused = 1,  ///< the capsule (or a record) would be refused, or a check failed
  ExitUsage   = 2,  ///< bad command line, unreadable input, I/O failure
};

///
/// An error that ends a subcommand with Code and Message on stderr.
///
struct ToolError : std::runtime_error {
  int    Code;

  ToolError (
    int                Code,
    const std::string  &Message
    ) : std::runtime_error (Message), Code (Code)
  {
  }
};

[[noreturn]] void
Fail (
  int                Code,
  const std::string  &Message
  );

//
// Files.
//
Bytes
ReadFile (
  const std::string  &Path
  );

/// Writes Bytes to Path through a temporary file in the same directory that
/// is synced and renamed over Path, so Path is either absent or complete.
void
WriteFileAtomic (
  const std::string  &Path,
  const Bytes        &Data
  );

//
// Text forms.
//
bool
ParseGuid (
  const std::string  &Text,
  EFI_GUID           *Guid
  );

/// Registry form, upper case: 6DCBD5ED-E82D-4C44-BDA1-7194199AD92A.
std::string
FormatGuid (
  const EFI_GUID  &Guid
  );

/// Lower case, as efivarfs names variables.
std::string
FormatGuidLower (
  const EFI_GUID  &Guid
  );

/// Decimal or 0x-prefixed hexadecimal, at most Max.
bool
ParseNumber (
  const std::string  &Text,
  UINT64             Max,
  UINT64             *Value
  );

std::string
Hex (
  UINT64  Value,
  int     Digits = 0
  );

/// "28 (0x1C)": a byte offset in decimal and hexadecimal.
std::string
ByteText (
  UINT64  Offset
  );

/// EFI_SUCCESS, EFI_NOT_FOUND, ...; unknown values in hexadecimal.
std::string
StatusName (
  EFI_STATUS  Status
  );

std::string
Utf16ToUtf8 (
  const std::u16string  &Text
  );

/// Fails (ExitUsage) on text that is not valid UTF-8.
std::u16string
Utf8ToUtf16 (
  const std::string  &Text
  );

/// Human name of a capsule GUID the driver routes in a way of its own, or "".
std::string
CapsuleKindName (
  const EFI_GUID  &Guid
  );

//
// Command line.
//
struct OptionDef {
  const char    *Long;
  char          Short;       ///< 0 when there is none
  bool          TakesValue;
};

struct ParsedArgs {
  std::vector<std::pair<std::string, std::string>>  Options;   ///< in command-line order
  Args                                              Positional;

  bool
  Has (
    const std::string  &Name
    ) const;

  /// The last value given, or Default.
  std::string
  Value (
    const std::string  &Name,
    const std::string  &Default = ""
    ) const;

  std::vector<std::string>
  Values (
    const std::string  &Name
    ) const;
};

/// Parses "--name value", "--name=value", "-x value" and positionals; "--"
/// ends the options. Fails with ExitUsage on anything not in Defs.
ParsedArgs
ParseArgs (
  const Args                      &Arguments,
  const std::vector<OptionDef>   &Defs,
  const std::string               &Command
  );

//
// build
//
struct PayloadInput {
  EFI_GUID    ImageTypeId {};
  UINT8       ImageIndex       = 1;
  UINT32      Version          = 2;
  UINT64      HardwareInstance = 0;
  Bytes       Image;
  Bytes       VendorCode;
};

struct CapsuleDescription {
  bool                        Plain = false;    ///< a capsule of Guid around Body
  EFI_GUID                    Guid {};
  Bytes                       Body;
  std::vector<Bytes>          Drivers;
  std::vector<PayloadInput>    Payloads;
  bool                        Wrap = false;
  EFI_GUID                    WrapGuid {};
  UINT32                      Flags = 0;
};

/// The capsule's bytes; fails (ExitUsage) when a count or size does not fit
/// its field.
Bytes
BuildCapsule (
  const CapsuleDescription  &Description
  );

/// Parses one --payload value: image=FILE,type=GUID[,index=N][,version=N]
/// [,instance=N][,vendor=FILE].
PayloadInput
ParsePayloadOption (
  const std::string  &Text
  );

/// Reads a JSON description; relative file names are taken from the
/// description's directory.
CapsuleDescription
ReadDescription (
  const std::string  &Path
  );

//
// inspect: the driver's verdict.
//
enum class Route {
  Dropped,      ///< not a well-formed capsule (or wrapper): nothing is dispatched
  Fmp,          ///< applied as an FMP capsule (FmpCheck tells whether it passes)
  Handler,      ///< handed to the protocol installed under HandlerGuid
  Deferred,     ///< capsule file left for the platform's flash update component
  FileDeleted,  ///< capsule file deleted without dispatch
  FileLeft,     ///< capsule file left in place without dispatch
};

struct PayloadVerdict {
  UINT32                                          Index = 0;     ///< among the payload items
  UINT64                                          Offset = 0;    ///< of the item in the file
  UINT64                                          Size = 0;
  EFI_FIRMWARE_MANAGEMENT_CAPSULE_IMAGE_HEADER    Header {};
  UINT64                                          HardwareInstance = 0;  ///< the one matched (0: any)
  bool                                            Refused = false;
  std::string                                     Reason;
};

struct Verdict {
  Route                          Path = Route::Dropped;
  std::string                    Reason;          ///< why it is dropped, deleted, left or refused
  UINT64                         ReasonOffset = 0;
  bool                           HasReasonOffset = false;
  bool                           Unwrapped = false;
  EFI_GUID                       WrapperGuid {};
  EFI_GUID                       RoutedGuid {};   ///< the GUID dispatched on (after unwrapping)
  UINT64                         RoutedOffset = 0;
  FMP_CAPSULE_CHECK              FmpCheck = FmpCapsuleValid;
  UINT16                         DriverCount = 0;
  std::vector<PayloadVerdict>    Payloads;
  /// Deferred files: the path "FlashUpdateImageName" will hold, and whether
  /// it fits the record.
  std::string                    DeferredPath;
  bool                           DeferredRecorded = false;

  /// TRUE when the driver takes the capsule without refusing any part.
  bool
  Accepted () const;

  /// What follows in firmware: "cold reset", "warm reset" or "".
  std::string
  ResetAfter () const;
};

struct FileContext {
  bool           AsFile = false;  ///< judge as a file in EFI/UpdateCapsule
  std::string    Name;            ///< its name there
};

Verdict
Judge (
  const Bytes        &Data,
  const FileContext  &Context
  );

/// One sentence: what the driver does with the capsule, or why it does not
/// take it.
std::string
VerdictSummary (
  const Verdict  &Result
  );

std::string
FmpCheckName (
  FMP_CAPSULE_CHECK  Check
  );

//
// results
//
struct EfiVariableFile {
  std::string    Path;
  std::string    Name;        ///< the variable name before "-<guid>"
  EFI_GUID       Guid {};
  UINT32         Attributes = 0;
  Bytes          Data;
  std::string    Problem;     ///< non-empty when the file is not a variable
};

/// Reads an efivarfs-style file: four bytes of attributes, then the data.
EfiVariableFile
ReadVariableFile (
  const std::string  &Path
  );

//
// Subcommands. Each prints to Out and Err and returns its exit code.
//
int
RunBuild (
  const Args    &Arguments,
  std::ostream  &Out,
  std::ostream  &Err
  );

int
RunInspect (
  const Args    &Arguments,
  std::ostream  &Out,
  std::ostream  &Err
  );

int
RunStage (
  const Args    &Arguments,
  std::ostream  &Out,
  std::ostream  &Err
  );

int
RunResults (
  const Args    &Arguments,
  std::ostream  &Out,
  std::ostream  &Err
  );

/// The whole command line after the program name.
int
RunTool (
  const Args    &Arguments,
  std::ostream  &Out,
  std::ostream  &Err
  );

}  // namespace CapsuleTool

#endif
