/** @file
  Root include file for every module: processor-bound types, calling
  convention, variable argument lists, return status codes and the small
  helper macros the rest of the headers build on.

  The same header serves three compilers: clang for the x64 (DXE) and IA32
  (PEI) firmware targets, and the host compiler for the simulated platform.
**/
#ifndef BASE_H_
#define BASE_H_

//
// Processor-bound types.
//
#if defined (__x86_64__) || defined (_M_X64)
#define MDE_CPU_X64  1
typedef unsigned long long  UINT64;
typedef long long           INT64;
typedef unsigned int        UINT32;
typedef int                 INT32;
typedef unsigned short      UINT16;
typedef short               INT16;
typedef unsigned char       UINT8;
typedef signed char         INT8;
typedef unsigned char       BOOLEAN;
typedef char                CHAR8;
typedef unsigned short      CHAR16;
typedef UINT64              UINTN;
typedef INT64               INTN;
#define MAX_BIT      0x8000000000000000ULL
#define MAX_UINTN    0xFFFFFFFFFFFFFFFFULL
#define MAX_INTN     0x7FFFFFFFFFFFFFFFLL
#elif defined (__i386__) || defined (_M_IX86)
#define MDE_CPU_IA32  1
typedef unsigned long long  UINT64;
typedef long long           INT64;
typedef unsigned int        UINT32;
typedef int                 INT32;
typedef unsigned short      UINT16;
typedef short               INT16;
typedef unsigned char       UINT8;
typedef signed char         INT8;
typedef unsigned char       BOOLEAN;
typedef char                CHAR8;
typedef unsigned short      CHAR16;
typedef UINT32              UINTN;
typedef INT32               INTN;
#define MAX_BIT      0x80000000U
#define MAX_UINTN    0xFFFFFFFFU
#define MAX_INTN     0x7FFFFFFF
#else
#error Unsupported processor
#endif

#define MAX_UINT8   0xFF
#define MAX_UINT16  0xFFFF
#define MAX_UINT32  0xFFFFFFFFU
#define MAX_UINT64  0xFFFFFFFFFFFFFFFFULL

//
// Calling convention. Firmware services use the Microsoft x64 convention on
// X64; the *-windows targets use it by default, a Linux host needs it spelled.
//
#if defined (MDE_CPU_X64) && !defined (_WIN32)
#define EFIAPI  __attribute__ ((ms_abi))
#else
#define EFIAPI
#endif

#define VOID      void
#define CONST     const
#define STATIC    static
#define IN
#define OUT
#define OPTIONAL
#define TRUE   ((BOOLEAN)(1 == 1))
#define FALSE  ((BOOLEAN)(0 == 1))

#ifndef NULL
#ifdef __cplusplus
#define NULL  nullptr
#else
#define NULL  ((VOID *) 0)
#endif
#endif

//
// Variable argument lists. On a Linux x86-64 host an EFIAPI variadic function
// has the Microsoft layout, so the builtins for that layout must be used.
//
#if defined (MDE_CPU_X64) && !defined (_WIN32)
typedef __builtin_ms_va_list  VA_LIST;
#define VA_START(Marker, Parameter)  __builtin_ms_va_start (Marker, Parameter)
#define VA_ARG(Marker, TYPE)         ((sizeof (TYPE) < sizeof (UINTN)) ? (TYPE)(__builtin_va_arg (Marker, UINTN)) : (TYPE)(__builtin_va_arg (Marker, TYPE)))
#define VA_END(Marker)               __builtin_ms_va_end (Marker)
#define VA_COPY(Dest, Start)         __builtin_ms_va_copy (Dest, Start)
#else
typedef __builtin_va_list  VA_LIST;
#define VA_START(Marker, Parameter)  __builtin_va_start (Marker, Parameter)
#define VA_ARG(Marker, TYPE)         ((sizeof (TYPE) < sizeof (UINTN)) ? (TYPE)(__builtin_va_arg (Marker, UINTN)) : (TYPE)(__builtin_va_arg (Marker, TYPE)))
#define VA_END(Marker)               __builtin_va_end (Marker)
#define VA_COPY(Dest, Start)         __builtin_va_copy (Dest, Start)
#endif

//
// Compile-time checks and layout helpers.
//
#ifdef __cplusplus
#define STATIC_ASSERT  static_assert
#else
#define STATIC_ASSERT  _Static_assert
#endif
#define OFFSET_OF(TYPE, Field)  ((UINTN) __builtin_offsetof (TYPE, Field))
#define ARRAY_SIZE(Array)       (sizeof (Array) / sizeof ((Array)[0]))
#define BIT0   0x00000001
#define BIT1   0x00000002
#define BIT2   0x00000004
#define BIT7   0x00000080
#define BIT8   0x00000100
#define BASE_4KB  0x00001000

typedef struct {
  UINT32    Data1;
  UINT16    Data2;
  UINT16    Data3;
  UINT8     Data4[8];
} GUID;

typedef UINT64 PHYSICAL_ADDRESS;

//
// Return status codes shared by every phase. Errors have the top bit set.
//
typedef UINTN RETURN_STATUS;

#define ENCODE_ERROR(StatusCode)    ((RETURN_STATUS)(MAX_BIT | (StatusCode)))
#define ENCODE_WARNING(StatusCode)  ((RETURN_STATUS)(StatusCode))
#define RETURN_ERROR(StatusCode)    (((INTN)(RETURN_STATUS)(StatusCode)) < 0)

#define RETURN_SUCCESS               0
#define RETURN_LOAD_ERROR            ENCODE_ERROR (1)
#define RETURN_INVALID_PARAMETER     ENCODE_ERROR (2)
#define RETURN_UNSUPPORTED           ENCODE_ERROR (3)
#define RETURN_BAD_BUFFER_SIZE       ENCODE_ERROR (4)
#define RETURN_BUFFER_TOO_SMALL      ENCODE_ERROR (5)
#define RETURN_NOT_READY             ENCODE_ERROR (6)
#define RETURN_DEVICE_ERROR          ENCODE_ERROR (7)
#define RETURN_WRITE_PROTECTED       ENCODE_ERROR (8)
#define RETURN_OUT_OF_RESOURCES      ENCODE_ERROR (9)
#define RETURN_VOLUME_CORRUPTED      ENCODE_ERROR (10)
#define RETURN_VOLUME_FULL           ENCODE_ERROR (11)
#define RETURN_NO_MEDIA              ENCODE_ERROR (12)
#define RETURN_MEDIA_CHANGED         ENCODE_ERROR (13)
#define RETURN_NOT_FOUND             ENCODE_ERROR (14)
#define RETURN_ACCESS_DENIED         ENCODE_ERROR (15)
#define RETURN_NO_RESPONSE           ENCODE_ERROR (16)
#define RETURN_NO_MAPPING            ENCODE_ERROR (17)
#define RETURN_TIMEOUT               ENCODE_ERROR (18)
#define RETURN_NOT_STARTED           ENCODE_ERROR (19)
#define RETURN_ALREADY_STARTED       ENCODE_ERROR (20)
#define RETURN_ABORTED               ENCODE_ERROR (21)
#define RETURN_ICMP_ERROR            ENCODE_ERROR (22)
#define RETURN_TFTP_ERROR            ENCODE_ERROR (23)
#define RETURN_PROTOCOL_ERROR        ENCODE_ERROR (24)
#define RETURN_INCOMPATIBLE_VERSION  ENCODE_ERROR (25)
#define RETURN_SECURITY_VIOLATION    ENCODE_ERROR (26)
#define RETURN_CRC_ERROR             ENCODE_ERROR (27)
#define RETURN_END_OF_MEDIA          ENCODE_ERROR (28)
#define RETURN_END_OF_FILE           ENCODE_ERROR (31)
#define RETURN_INVALID_LANGUAGE      ENCODE_ERROR (32)
#define RETURN_COMPROMISED_DATA      ENCODE_ERROR (33)

#define RETURN_WARN_UNKNOWN_GLYPH    ENCODE_WARNING (1)
#define RETURN_WARN_DELETE_FAILURE   ENCODE_WARNING (2)
#define RETURN_WARN_WRITE_FAILURE    ENCODE_WARNING (3)
#define RETURN_WARN_BUFFER_TOO_SMALL ENCODE_WARNING (4)
#define RETURN_WARN_STALE_DATA       ENCODE_WARNING (5)

STATIC_ASSERT (sizeof (UINT8) == 1, "UINT8");
STATIC_ASSERT (sizeof (UINT16) == 2, "UINT16");
STATIC_ASSERT (sizeof (UINT32) == 4, "UINT32");
STATIC_ASSERT (sizeof (UINT64) == 8, "UINT64");
STATIC_ASSERT (sizeof (CHAR16) == 2, "CHAR16");
STATIC_ASSERT (sizeof (UINTN) == sizeof (VOID *), "UINTN");
STATIC_ASSERT (sizeof (GUID) == 16, "GUID");

#endif
