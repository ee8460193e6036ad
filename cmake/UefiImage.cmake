# Builds a firmware image from C and C++ sources with clang-14 and lld-link-14
# (freestanding, Microsoft ABI, PE/COFF output).
#
#   add_uefi_image(<name> ARCH X64|IA32 SUBSYSTEM <lld subsystem> ENTRY <symbol>
#                  SOURCES <files...> [INCLUDES <dirs...>] [DEFINES <defs...>])
#
# The image lands in ${CMAKE_BINARY_DIR}/images/<name>.efi; the variable
# <name>_IMAGE is set to that path in the caller's scope.

find_program(UEFI_CLANG NAMES clang-14 REQUIRED)
find_program(UEFI_LLD_LINK NAMES lld-link-14 REQUIRED)

function(add_uefi_image NAME)
  cmake_parse_arguments(IMG "" "ARCH;SUBSYSTEM;ENTRY" "SOURCES;INCLUDES;DEFINES" ${ARGN})
  if(IMG_ARCH STREQUAL "X64")
    set(triple x86_64-unknown-windows)
    set(archflags "")
    set(machine x64)
  elseif(IMG_ARCH STREQUAL "IA32")
    set(triple i686-unknown-windows)
    set(archflags -mno-sse -mno-mmx -msoft-float)
    set(machine x86)
  else()
    message(FATAL_ERROR "add_uefi_image: unknown ARCH ${IMG_ARCH}")
  endif()

  set(objdir ${CMAKE_BINARY_DIR}/images/obj/${NAME})
  set(common
    --target=${triple} ${archflags}
    -Os -ffreestanding -nostdlibinc -fno-stack-protector -mno-stack-arg-probe
    -fno-unwind-tables -fno-asynchronous-unwind-tables -ffunction-sections -fdata-sections
    -Wall -Wextra -Werror -Wno-unused-parameter)
  foreach(inc IN LISTS IMG_INCLUDES)
    list(APPEND common -I${inc})
  endforeach()
  foreach(def IN LISTS IMG_DEFINES)
    list(APPEND common -D${def})
  endforeach()

  set(objs "")
  foreach(src IN LISTS IMG_SOURCES)
    file(RELATIVE_PATH rel ${CMAKE_SOURCE_DIR} ${src})
    string(REPLACE "/" "_" flat ${rel})
    string(REPLACE ".." "up" flat ${flat})
    set(obj ${objdir}/${flat}.obj)
    if(src MATCHES "\\.cpp$")
      set(lang -x c++ -std=c++17 -fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-use-cxa-atexit)
    else()
      set(lang -x c -std=c11)
    endif()
    add_custom_command(
      OUTPUT ${obj}
      COMMAND ${UEFI_CLANG} ${common} ${lang} -MD -MF ${obj}.d -c ${src} -o ${obj}
      DEPENDS ${src}
      DEPFILE ${obj}.d
      COMMENT "[${IMG_ARCH}] ${rel}"
      VERBATIM)
    list(APPEND objs ${obj})
  endforeach()

  set(out ${CMAKE_BINARY_DIR}/images/${NAME}.efi)
  add_custom_command(
    OUTPUT ${out}
    COMMAND ${UEFI_LLD_LINK} /nologo /nodefaultlib /machine:${machine}
            /subsystem:${IMG_SUBSYSTEM} /entry:${IMG_ENTRY}
            /align:32 /filealign:32 /opt:ref /out:${out} ${objs}
    DEPENDS ${objs}
    COMMENT "[${IMG_ARCH}] linking ${NAME}.efi"
    VERBATIM)
  add_custom_target(${NAME}Image ALL DEPENDS ${out})
  set(${NAME}_IMAGE ${out} PARENT_SCOPE)
endfunction()
