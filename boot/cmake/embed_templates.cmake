# Turns the assembled boot programs into templates.cpp.
# Run with -DRESIDENT_CHS -DRESIDENT_EXT -DSTANDARD (binaries), -DLAYOUT_INC, -DOUTPUT.
#
# The two resident variants must agree outside the boot step; the extended
# variant contributes only its boot-step bytes.

file(STRINGS "${LAYOUT_INC}" defines REGEX "^%define ")
foreach(line IN LISTS defines)
  if(line MATCHES "^%define ([A-Z0-9_]+) (.+)$")
    math(EXPR "${CMAKE_MATCH_1}" "${CMAKE_MATCH_2}")
  endif()
endforeach()

function(read_hex var file size)
  file(SIZE "${file}" actual)
  if(NOT actual EQUAL size)
    message(FATAL_ERROR "${file} is ${actual} bytes, expected ${size}")
  endif()
  file(READ "${file}" hex HEX)
  set(${var} "${hex}" PARENT_SCOPE)
endfunction()

function(to_array var hex)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
  set(${var} "    ${bytes}" PARENT_SCOPE)
endfunction()

read_hex(chs "${RESIDENT_CHS}" ${TEMPLATE_SIZE})
read_hex(ext "${RESIDENT_EXT}" ${TEMPLATE_SIZE})
read_hex(std "${STANDARD}" ${TEMPLATE_SIZE})

math(EXPR step_hex "2 * ${BOOT_STEP}")
math(EXPR step_len "2 * ${BOOT_STEP_SIZE}")
math(EXPR rest_hex "${step_hex} + ${step_len}")
string(SUBSTRING "${chs}" 0 ${step_hex} chs_head)
string(SUBSTRING "${ext}" 0 ${step_hex} ext_head)
string(SUBSTRING "${chs}" ${rest_hex} -1 chs_tail)
string(SUBSTRING "${ext}" ${rest_hex} -1 ext_tail)
if(NOT chs_head STREQUAL ext_head OR NOT chs_tail STREQUAL ext_tail)
  message(FATAL_ERROR "resident variants differ outside the boot step")
endif()
string(SUBSTRING "${ext}" ${step_hex} ${step_len} step)

to_array(chs_bytes "${chs}")
to_array(step_bytes "${step}")
to_array(std_bytes "${std}")

file(WRITE "${OUTPUT}" "// Generated from boot/*.asm. Do not edit.
#include \"boot/templates.h\"

namespace vornboot::boot {

const std::uint8_t kResidentTemplate[446] = {
${chs_bytes}
};

const std::uint8_t kExtendedReadStep[20] = {
${step_bytes}
};

const std::uint8_t kStandardTemplate[446] = {
${std_bytes}
};

}  // namespace vornboot::boot
")
